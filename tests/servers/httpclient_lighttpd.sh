#!/usr/bin/env bash
# The HTTP client against real servers: lighttpd verifies our Basic and
# Digest answers, redirects with mod_redirect and serves TLS with a test CA
# made here; tinyproxy carries the proxy path (plain and CONNECT).
set -euo pipefail
BIN="${QZ_BINARY_DIR:?}/programs/httpclient_fetch"
XMLBIN="$QZ_BINARY_DIR/programs/httpclient_xmlfetch"
[ -x "$BIN" ] || { echo "missing $BIN"; exit 1; }
[ -x "$XMLBIN" ] || { echo "missing $XMLBIN"; exit 1; }

WORK=$(mktemp -d /tmp/qz-httpclient.XXXXXX)
chmod 755 "$WORK"
LPID="" TPID="" SPID="" SPSID=""
cleanup() {
  [ -n "$LPID" ] && kill "$LPID" 2>/dev/null || true
  [ -n "$TPID" ] && kill "$TPID" 2>/dev/null || true
  [ -n "$SPID" ] && kill "$SPID" 2>/dev/null || true
  [ -n "$SPSID" ] && kill "$SPSID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'; }
HTTP=$(free_port); HTTPS=$(free_port); PROXY=$(free_port)

SCRIPT="$(dirname "$0")/httpclient_script_server.py"
SP=$(free_port); SPS=$(free_port)

# Documents.
mkdir -p "$WORK/root/plain" "$WORK/root/basic" "$WORK/root/digest" "$WORK/logs"
printf 'hello plain' > "$WORK/root/plain/a.txt"
printf 'hello basic' > "$WORK/root/basic/a.txt"
printf 'hello digest' > "$WORK/root/digest/a.txt"
printf '<?xml version="1.0"?>\n<doc><item>one</item><item>two</item></doc>\n' > "$WORK/root/plain/doc.xml"
printf '<?xml version="1.0"?>\n<doc><item>guarded</item></doc>\n' > "$WORK/root/basic/doc.xml"
# Binary bodies, zero bytes included: 3 MB for the block reads, 50 MB for the downloads.
head -c 3000000 /dev/urandom > "$WORK/root/plain/big.bin"
head -c 52428800 /dev/urandom > "$WORK/root/plain/big50.bin"
# Credentials: one htdigest file serves both schemes.
digest() { printf '%s:%s:%s\n' "$1" "$2" "$(printf '%s:%s:%s' "$1" "$2" "$3" | md5sum | cut -d' ' -f1)"; }
{ digest bob br secret; digest alice dr wonder; } > "$WORK/htdigest"

# Test CA and a server certificate for 127.0.0.1.
(
  cd "$WORK"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=qz test CA" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=127.0.0.1" 2>/dev/null
  printf 'subjectAltName=IP:127.0.0.1\n' > san.ext
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.crt -days 2 -extfile san.ext 2>/dev/null
  cat server.crt server.key > server.pem
)
chown -R www-data:www-data "$WORK/logs" 2>/dev/null || true
chmod -R a+rX "$WORK"

cat > "$WORK/lighttpd.conf" <<CONF
server.modules = ("mod_auth", "mod_authn_file", "mod_redirect", "mod_openssl")
server.bind = "127.0.0.1"
server.port = $HTTP
server.document-root = "$WORK/root"
server.errorlog = "$WORK/logs/error.log"
server.pid-file = "$WORK/logs/lighttpd.pid"
server.username = "www-data"
server.groupname = "www-data"
mimetype.assign = (".txt" => "text/plain", "" => "application/octet-stream")
auth.backend = "htdigest"
auth.backend.htdigest.userfile = "$WORK/htdigest"
auth.require = ( "/basic/" => ("method" => "basic", "realm" => "br", "require" => "valid-user"),
                 "/digest/" => ("method" => "digest", "realm" => "dr", "require" => "valid-user") )
url.redirect = ( "^/old/(.*)\$" => "/plain/\$1", "^/abs/(.*)\$" => "http://127.0.0.1:$HTTP/digest/\$1",
                 "^/tohttps/(.*)\$" => "https://127.0.0.1:$HTTPS/plain/\$1", "^/toftp/(.*)\$" => "ftp://127.0.0.1/\$1",
                 "^/tosp/(.*)\$" => "http://127.0.0.1:$SP/basic/\$1", "^/tosps/(.*)\$" => "https://127.0.0.1:$SPS/basic/\$1" )
\$SERVER["socket"] == "127.0.0.1:$HTTPS" {
  ssl.engine = "enable"
  ssl.pemfile = "$WORK/server.pem"
  url.redirect = ( "^/moved/(.*)\$" => "https://127.0.0.1:$HTTPS/plain/\$1", "^/down/(.*)\$" => "http://127.0.0.1:$HTTP/plain/\$1",
                   "^/tosps/(.*)\$" => "https://127.0.0.1:$SPS/basic/\$1" )
}
CONF
lighttpd -tt -f "$WORK/lighttpd.conf" >/dev/null
lighttpd -f "$WORK/lighttpd.conf"
for _ in $(seq 50); do [ -s "$WORK/logs/lighttpd.pid" ] && break; sleep 0.1; done
LPID=$(cat "$WORK/logs/lighttpd.pid")

cat > "$WORK/tinyproxy.conf" <<CONF
Port $PROXY
Listen 127.0.0.1
Timeout 30
LogLevel Connect
LogFile "$WORK/logs/tinyproxy.log"
PidFile "$WORK/logs/tinyproxy.pid"
MaxClients 10
Allow 127.0.0.1
CONF
chmod 777 "$WORK/logs"
tinyproxy -d -c "$WORK/tinyproxy.conf" & TPID=$!
for _ in $(seq 50); do (echo > /dev/tcp/127.0.0.1/$PROXY) 2>/dev/null && break; sleep 0.1; done
for _ in $(seq 50); do (echo > /dev/tcp/127.0.0.1/$HTTP) 2>/dev/null && break; sleep 0.1; done
# The scripted server, plain and over TLS (the same test CA).
python3 "$SCRIPT" "$SP" "$WORK/logs/script.log" & SPID=$!
python3 "$SCRIPT" "$SPS" "$WORK/logs/script-tls.log" "$WORK/server.pem" & SPSID=$!
for p in $SP $SPS; do for _ in $(seq 50); do (echo > /dev/tcp/127.0.0.1/$p) 2>/dev/null && break; sleep 0.1; done; done

cd "$WORK"   # the programs find qzcfg.ini here
fails=0
NL=$'\n'
expect() {  # expect NAME WANTED-OUTPUT -- program arguments
  local name=$1 want=$2; shift 3
  local got; got=$("$BIN" "$@" 2>&1 || true)
  # A wanted text of one line names only the outcome: error code and status.
  [[ "$want" == *"$NL"* ]] || got=$(printf '%s\n' "$got" | head -1 | cut -d' ' -f1,2)
  if [ "$got" == "$want" ]; then echo "ok   $name"; else
    echo "FAIL $name"; echo "  want: $(printf '%q' "$want")"; echo "  got:  $(printf '%q' "$got")"; fails=$((fails+1)); fi
}

# proxied NAME WANTED -- arguments: the outcome, and tinyproxy's connection log
# holds the request line it was given (so the answer did come through it).
proxied() {
  local name=$1 want=$2 line
  shift 3
  line=${PROXIED_LINE:?}
  : > "$WORK/logs/tinyproxy.log"
  expect "$name" "$want" -- "$@"
  if grep -aqF "): $line" "$WORK/logs/tinyproxy.log"; then echo "ok   $name went through the proxy"; else
    echo "FAIL $name: no \"$line\" in the proxy's log"; sed 's/^/  /' "$WORK/logs/tinyproxy.log"; fails=$((fails+1)); fi
}
# A port where no proxy listens.
DEAD=$(free_port)

printf '[Http]\nCAFile=%s/ca.pem\n' "$WORK" > qzcfg.ini
expect plain            "err=0 status=200 length=11${NL}hello plain" -- 127.0.0.1 $HTTP /plain/a.txt
expect plain-404        "err=3 status=404 length=$(curl -s http://127.0.0.1:$HTTP/plain/none | wc -c)${NL}$(curl -s http://127.0.0.1:$HTTP/plain/none)" -- 127.0.0.1 $HTTP /plain/none
expect redirect         "err=0 status=200 length=11${NL}hello plain" -- 127.0.0.1 $HTTP /old/a.txt
expect basic            "err=0 status=200 length=11${NL}hello basic" -- -b br bob secret 127.0.0.1 $HTTP /basic/a.txt
expect basic-wrong      "err=4 status=401" -- -b br bob nope 127.0.0.1 $HTTP /basic/a.txt
expect basic-none       "err=4 status=401" -- 127.0.0.1 $HTTP /basic/a.txt
expect digest           "err=0 status=200 length=12${NL}hello digest" -- -d dr alice wonder 127.0.0.1 $HTTP /digest/a.txt
# Without its leading "/" the path still makes a Digest uri the server accepts.
expect digest-relative  "err=0 status=200 length=12${NL}hello digest" -- -d dr alice wonder 127.0.0.1 $HTTP digest/a.txt
expect digest-redirect  "err=0 status=200 length=12${NL}hello digest" -- -d dr alice wonder 127.0.0.1 $HTTP /abs/a.txt
expect digest-wrong     "err=4 status=401" -- -d dr alice nope 127.0.0.1 $HTTP /digest/a.txt
PROXIED_LINE="GET http://127.0.0.1:$HTTP/plain/a.txt HTTP/1.0" \
proxied proxy           "err=0 status=200 length=11${NL}hello plain" -- -p 127.0.0.1 $PROXY 127.0.0.1 $HTTP /plain/a.txt
PROXIED_LINE="GET http://127.0.0.1:$HTTP/digest/a.txt HTTP/1.0" \
proxied proxy-digest    "err=0 status=200 length=12${NL}hello digest" -- -p 127.0.0.1 $PROXY -d dr alice wonder 127.0.0.1 $HTTP /digest/a.txt
expect proxy-dead       "err=1 status=0" -- -p 127.0.0.1 $DEAD 127.0.0.1 $HTTP /plain/a.txt

expect tls              "err=0 status=200 length=11${NL}hello plain" -- -s 127.0.0.1 $HTTPS /plain/a.txt
expect tls-404          "err=0 status=404 length=$(curl -s --cacert ca.pem https://127.0.0.1:$HTTPS/none | wc -c)${NL}$(curl -s --cacert ca.pem https://127.0.0.1:$HTTPS/none)" -- -s 127.0.0.1 $HTTPS /none
expect tls-basic        "err=0 status=200 length=11${NL}hello basic" -- -s -b br bob secret 127.0.0.1 $HTTPS /basic/a.txt
expect tls-digest       "err=0 status=200 length=12${NL}hello digest" -- -s -d dr alice wonder 127.0.0.1 $HTTPS digest/a.txt
expect tls-redirect     "err=0 status=200 length=11${NL}hello plain" -- -s 127.0.0.1 $HTTPS /moved/a.txt
# A redirect never leaves TLS: one that would is refused like every redirect
# the client does not follow.
expect tls-downgrade    "err=3 status=301" -- -s 127.0.0.1 $HTTPS /down/a.txt
expect tls-no-creds     "err=4 status=401" -- -s 127.0.0.1 $HTTPS /basic/a.txt
PROXIED_LINE="CONNECT 127.0.0.1:$HTTPS HTTP/1.1" \
proxied tls-proxy       "err=0 status=200 length=11${NL}hello plain" -- -s -p 127.0.0.1 $PROXY 127.0.0.1 $HTTPS /plain/a.txt
expect tls-proxy-dead   "err=1 status=0" -- -s -p 127.0.0.1 $DEAD 127.0.0.1 $HTTPS /plain/a.txt
# The environment's proxy is never taken (under CGI it is the client's "Proxy:" header).
HTTPS_PROXY=http://127.0.0.1:1 https_proxy=http://127.0.0.1:1 HTTP_PROXY=http://127.0.0.1:1 \
expect tls-env-proxy    "err=0 status=200 length=11${NL}hello plain" -- -s 127.0.0.1 $HTTPS /plain/a.txt
HTTP_PROXY=http://127.0.0.1:1 \
expect plain-env-proxy  "err=0 status=200 length=11${NL}hello plain" -- 127.0.0.1 $HTTP /plain/a.txt

# https documents (the XML reader's fetch: QZ_HTTP_Request_Open_Url and block
# reads) go over the secure path, certificates verified, port 443 by default.
expect url-plain        "err=0 status=200${NL}hello plain" -- -u http://127.0.0.1:$HTTP/plain/a.txt
expect url-https        "err=0 status=200${NL}hello plain" -- -u https://127.0.0.1:$HTTPS/plain/a.txt
expect url-https-basic  "err=0 status=200${NL}hello basic" -- -u -b br bob secret https://127.0.0.1:$HTTPS/basic/a.txt
expect url-https-digest "err=0 status=200${NL}hello digest" -- -u -d dr alice wonder https://127.0.0.1:$HTTPS/digest/a.txt
expect url-https-none   "err=4 status=401" -- -u https://127.0.0.1:$HTTPS/basic/a.txt
expect url-https-404    "err=3 status=404" -- -u https://127.0.0.1:$HTTPS/plain/none
PROXIED_LINE="CONNECT 127.0.0.1:$HTTPS HTTP/1.1" \
proxied url-https-proxy "err=0 status=200${NL}hello plain" -- -u -p 127.0.0.1 $PROXY https://127.0.0.1:$HTTPS/plain/a.txt
expect url-proxy-dead   "err=1 status=0" -- -u -p 127.0.0.1 $DEAD https://127.0.0.1:$HTTPS/plain/a.txt
expect url-https-443    "err=1 status=0" -- -u https://127.0.0.1/plain/a.txt
# Every byte arrives, whatever the block size.
want_sum=$(md5sum < root/plain/big.bin)
for k in 1 1000 5119 65536; do
  got=$("$BIN" -u -k $k -o url.out https://127.0.0.1:$HTTPS/plain/big.bin)
  if [ "$got" == "err=0 status=200 length=3000000" ] && [ "$(md5sum < url.out)" == "$want_sum" ]; then
    echo "ok   url-https-blocks-$k"; else echo "FAIL url-https-blocks-$k: $got"; fails=$((fails+1)); fi
done
# The XML reader reads https documents, with its credentials, over TLS.
XML_DOC="<doc>${NL}<item>${NL}text: one${NL}<item>${NL}text: two${NL}error=0"
xml_expect() {  # xml_expect NAME WANTED -- arguments
  local name=$1 want=$2; shift 3
  local got; got=$("$XMLBIN" "$@" 2>&1 || true)
  if [ "$got" == "$want" ]; then echo "ok   $name"; else
    echo "FAIL $name"; echo "  want: $(printf '%q' "$want")"; echo "  got:  $(printf '%q' "$got")"; fails=$((fails+1)); fi
}
xml_expect xml-http          "$XML_DOC" -- http://127.0.0.1:$HTTP/plain/doc.xml
xml_expect xml-https         "$XML_DOC" -- https://127.0.0.1:$HTTPS/plain/doc.xml
xml_expect xml-https-basic   "<doc>${NL}<item>${NL}text: guarded${NL}error=0" -- -b br bob secret https://127.0.0.1:$HTTPS/basic/doc.xml
xml_expect xml-https-refused "error=4" -- https://127.0.0.1:$HTTPS/basic/doc.xml
# A plain http document that redirects to https goes on over TLS.
xml_expect xml-to-https      "$XML_DOC" -- http://127.0.0.1:$HTTP/tohttps/doc.xml

# Redirects: on to https over the secure path; to other schemes refused.
expect redirect-https     "err=0 status=200 length=11${NL}hello plain" -- 127.0.0.1 $HTTP /tohttps/a.txt
expect redirect-https-url "err=0 status=200${NL}hello plain" -- -u http://127.0.0.1:$HTTP/tohttps/a.txt
expect redirect-ftp       "err=3 status=301" -- 127.0.0.1 $HTTP /toftp/a.txt
# Credentials go only to the scheme, host and port they were given for: the
# scripted server logs any that reach it after a redirect.
expect origin-plain        "err=4 status=401" -- -b br bob secret 127.0.0.1 $HTTP /tosp/x
expect origin-plain-to-tls "err=4 status=401" -- -b br bob secret 127.0.0.1 $HTTP /tosps/x
expect origin-tls          "err=4 status=401" -- -s -b br bob secret 127.0.0.1 $HTTPS /tosps/x
expect origin-url-tls      "err=4 status=401" -- -u -b br bob secret https://127.0.0.1:$HTTPS/tosps/x
if grep -h LEAK logs/script.log logs/script-tls.log; then echo "FAIL credentials leaked"; fails=$((fails+1)); else
  echo "ok   no credentials after a redirect to another origin"; fi

# Binary downloads are written whole, by their byte count (50 MB of random bytes).
want_sum=$(md5sum < root/plain/big50.bin)
for path in plain secure; do
  S=""; PORT=$HTTP; [ $path = secure ] && S="-s" && PORT=$HTTPS
  got=$("$BIN" $S -o big.out 127.0.0.1 $PORT /plain/big50.bin | grep -c 'tofile' || true)
  if [ "$got" == "0" ] && [ "$(md5sum < big.out)" == "$want_sum" ]; then echo "ok   binary-download-$path"; else
    echo "FAIL binary-download-$path ($(stat -c %s big.out) bytes)"; fails=$((fails+1)); fi
done
rm -f big.out url.out
# The long body is received without a wait before every block, and not a
# system call per kilobyte (the blocks the traces show stay 1024 bytes).
if ! command -v strace >/dev/null; then
  echo "FAIL receive-system-calls: strace is not installed (scripts/install-deps.sh installs it)"; fails=$((fails+1))
else
  # (LeakSanitizer cannot run under ptrace: a sanitizer build leaves it out here.)
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    strace -f -qq -e trace=poll,ppoll,select,pselect6,recvfrom,recvmsg,read -o sys.txt "$BIN" -n 127.0.0.1 $HTTP /plain/big50.bin > /dev/null || true
  # A wait comes only after a receive found nothing (EAGAIN), besides the
  # one of the connect.
  waits=$(grep -cE '^[0-9]+ +(poll|ppoll|select|pselect6)\(' sys.txt || true)
  recvs=$(grep -cE '^[0-9]+ +(recvfrom|recvmsg)\(' sys.txt || true)
  empty=$(grep -E '^[0-9]+ +(recvfrom|recvmsg)\(' sys.txt | grep -c EAGAIN || true)
  if [ "$waits" -le $((empty + 1)) ] && [ "$recvs" -lt 5000 ]; then
    echo "ok   receive-system-calls ($recvs receives, $empty of them empty, $waits waits)"; else
    echo "FAIL receive-system-calls: $recvs receives ($empty empty), $waits waits for 50 MB"; fails=$((fails+1)); fi
  rm -f sys.txt
fi

# Digest answers checked by the scripted server with hashlib, the way RFC 2617
# computes them: qop auth and auth-int (which hashes the body actually sent),
# GET and POST with a body, on both paths.
D="-d qr carol s3cret"
for path in plain secure; do
  S=""; PORT=$SP; [ $path = secure ] && S="-s" && PORT=$SPS
  expect digest-auth-get-$path  "err=0 status=200 length=19${NL}verified auth GET 0" -- $S $D 127.0.0.1 $PORT /digest/auth/a
  expect digest-auth-post-$path "err=0 status=200 length=20${NL}verified auth POST 7" -- $S -m POST -c 'a=1&b=2' $D 127.0.0.1 $PORT /digest/auth/f
  expect digest-int-get-$path   "err=0 status=200 length=23${NL}verified auth-int GET 0" -- $S $D 127.0.0.1 $PORT /digest/auth-int/a
  expect digest-int-post-$path  "err=0 status=200 length=24${NL}verified auth-int POST 7" -- $S -m POST -c 'a=1&b=2' $D 127.0.0.1 $PORT /digest/auth-int/f
  expect digest-int-long-$path  "err=0 status=200 length=28${NL}verified auth-int POST 20000" -- $S -m POST -c "$(head -c 20000 /dev/zero | tr '\0' 'v')" $D 127.0.0.1 $PORT /digest/auth-int/long
  expect digest-noqop-$path     "err=0 status=200 length=19${NL}verified none GET 0" -- $S $D 127.0.0.1 $PORT /digest/none/a
  expect digest-wrong-$path     "err=$([ $path = plain ] && echo 3 || echo 0) status=403" -- $S -d qr carol nope 127.0.0.1 $PORT /digest/auth-int/a
done

# The configured proxy is every client's default.
printf '[Http]\nCAFile=%s/ca.pem\n[Proxy]\nProxyEnable=1\nProxyServer=127.0.0.1:%s\n' "$WORK" "$PROXY" > qzcfg.ini
PROXIED_LINE="GET http://127.0.0.1:$HTTP/plain/a.txt HTTP/1.0" \
proxied config-proxy    "err=0 status=200 length=11${NL}hello plain" -- 127.0.0.1 $HTTP /plain/a.txt
printf '[Proxy]\nProxyEnable=1\nProxyServer=127.0.0.1:1\n' > qzcfg.ini
expect config-proxy-dead "err=1 status=0" -- 127.0.0.1 $HTTP /plain/a.txt
printf '[Proxy]\nProxyEnable=0\nProxyServer=127.0.0.1:1\n' > qzcfg.ini
expect config-proxy-off "err=0 status=200 length=11${NL}hello plain" -- 127.0.0.1 $HTTP /plain/a.txt

# Certificates are verified: against the system's store the test CA is unknown.
rm -f qzcfg.ini
expect tls-unknown-ca   "err=1 status=0" -- -s 127.0.0.1 $HTTPS /plain/a.txt
expect url-unknown-ca   "err=1 status=0" -- -u https://127.0.0.1:$HTTPS/plain/a.txt
xml_expect xml-unknown-ca "error=4" -- https://127.0.0.1:$HTTPS/plain/doc.xml
expect redirect-unknown-ca "err=1 status=0" -- 127.0.0.1 $HTTP /tohttps/a.txt

# libcurl is loaded on first use, never linked.
if [ -e "$QZ_BINARY_DIR/libqzrt.so" ] && readelf -d "$QZ_BINARY_DIR/libqzrt.so" | grep -q 'NEEDED.*libcurl'; then
  echo "FAIL libqzrt.so links libcurl"; fails=$((fails+1)); else echo "ok   no libcurl in NEEDED"; fi

[ "$fails" -eq 0 ] || { echo "$fails failure(s)"; exit 1; }
echo "all passed"
