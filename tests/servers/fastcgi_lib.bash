# Helpers of the FastCGI tests (sourced after driver_lib.bash): a program
# started as a FastCGI application on a local socket, and requests sent to it
# and to the same program run as CGI, so that both answers can be compared
# byte for byte.

command -v cgi-fcgi >/dev/null || { echo "cgi-fcgi (libfcgi-bin) is not installed"; exit 1; }
FCGI_CLIENT="$QZ_SOURCE_DIR/tests/servers/fastcgi_client.py"

# fcgi_folder DIR CONFIG: DIR with the programs and that qzcfg.ini.
fcgi_folder() {
  mkdir -p "$1"
  cp "$QZ_BINARY_DIR/hwendle.exe" "$QZ_BINARY_DIR/programs/fastcgi_request_echo" "$1/"
  printf '%b' "$2" > "$1/qzcfg.ini"
}

# fcgi_start DIR PROGRAM: PROGRAM --fastcgi DIR/PROGRAM.sock in DIR; the
# supervisor's pid goes to DIR/PROGRAM.pid.
fcgi_start() {
  local dir=$1 program=$2
  rm -f "$dir/$program.sock"
  (cd "$dir" && exec "./$program" --fastcgi "$dir/$program.sock" 2>>"$dir/stderr.log") &
  echo $! > "$dir/$program.pid"
  for _ in $(seq 100); do [ -S "$dir/$program.sock" ] && return 0; sleep 0.05; done
  echo "$program did not start listening" >&2
  return 1
}

fcgi_stop() {  # DIR PROGRAM
  local pid
  pid=$(cat "$1/$2.pid" 2>/dev/null) || return 0
  kill "$pid" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.05; done
  kill -9 "$pid" 2>/dev/null
}

fcgi_workers() {  # DIR PROGRAM: the pids of the supervisor's workers
  pgrep -P "$(cat "$1/$2.pid")" | sort | tr '\n' ' '
}

# as_cgi DIR PROGRAM BODYFILE VAR=VALUE...: the CGI run's output.
as_cgi() {
  local dir=$1 program=$2 body=$3; shift 3
  (cd "$dir" && env -i "$@" "./$program" < "$body")
}

# as_fcgi DIR PROGRAM BODYFILE VAR=VALUE...: the same request to the FastCGI process.
as_fcgi() {
  local dir=$1 program=$2 body=$3; shift 3
  env -i "$@" cgi-fcgi -bind -connect "$dir/$program.sock" < "$body"
}

# same_answer NAME PROGRAM BODYFILE VAR=VALUE...: both modes answer the same
# bytes. Uses $CGI_DIR and $FCGI_DIR.
same_answer() {
  local name=$1 program=$2 body=$3; shift 3
  as_cgi "$CGI_DIR" "$program" "$body" "$@" > "$CGI_DIR/answer" 2>/dev/null
  as_fcgi "$FCGI_DIR" "$program" "$body" "$@" > "$FCGI_DIR/answer" 2>/dev/null
  if cmp -s "$CGI_DIR/answer" "$FCGI_DIR/answer" && [ -s "$CGI_DIR/answer" ]; then
    echo "ok   $name"
  else
    echo "FAIL $name"
    diff <(od -c "$CGI_DIR/answer") <(od -c "$FCGI_DIR/answer") | head -10
    FAILURES=$((FAILURES + 1))
  fi
}

# The trace lines of a trace file without the process ids, the headers and
# the addresses of records (which differ from one process to the next). The
# lines of a database being opened are left out too: the persistent mode
# opens it once per process, which is the point of the mode.
trace_lines() {
  sed -E '/^=========== /d; s/^[0-9]{11} //; s/0x[0-9a-f]+/ADDRESS/g
          /^(SQLite database .* opened|ODBC data source .* connected, .*)$/d' "$1"
}

# start_lighttpd_fastcgi DIR PORT [PROCS]: serves DIR/www like start_lighttpd,
# but every program under /cgi-bin/ is a FastCGI application that lighttpd
# starts itself (PROCS processes each, default 2) on a socket in DIR/sock.
start_lighttpd_fastcgi() {
  local dir=$1 port=$2 procs=${3:-2} users="" apps="" program
  [ "$(id -u)" = 0 ] && users='server.username = "www-data"
server.groupname = "www-data"'
  mkdir -p "$dir/sock"
  [ "$(id -u)" = 0 ] && chown www-data:www-data "$dir/sock"
  for program in "$dir"/www/cgi-bin/*.exe; do
    program=$(basename "$program")
    apps+="  \"/cgi-bin/$program\" => (( \"socket\" => \"$dir/sock/$program.sock\",
      \"bin-path\" => \"$dir/www/cgi-bin/$program\", \"check-local\" => \"disable\",
      \"max-procs\" => $procs, \"bin-environment\" => ( \"QZCFG\" => \"$dir/www/cgi-bin\" ) )),
"
  done
  cat > "$dir/lighttpd.conf" <<CONF
server.modules = ("mod_fastcgi")
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$dir/www"
server.errorlog = "$dir/log/lighttpd-error.log"
server.pid-file = "$dir/lighttpd.pid"
server.max-connections = 64
$users
mimetype.assign = (".html" => "text/html", ".aspx" => "text/html")
fastcgi.server = (
$apps)
CONF
  [ "$(id -u)" = 0 ] && chown www-data:www-data "$dir/lighttpd.conf"
  touch "$dir/lighttpd.pid" && [ "$(id -u)" = 0 ] && chown www-data "$dir/lighttpd.pid"
  lighttpd -f "$dir/lighttpd.conf" || return 1
  wait_port "$port"
}

# The HTTP answer to one request as the client sees it, without what a web
# server adds of its own (date, server name, connection handling, byte
# ranges, the reason phrase of the status, the length of an empty body), with
# header names in lower case and the headers sorted, so that answers through
# different servers and modes can be compared. With ACROSS_SERVERS=1 the
# Content-Length is left out too (lighttpd adds one to every answer it
# buffers), and so are the body and content type of a redirect (Apache's
# mod_cgi writes a page of its own for one).
http_answer() {  # curl arguments...
  curl -s -i "$@" | python3 -c '
import os, sys
data = sys.stdin.buffer.read().replace(b"\r\n", b"\n")
head, _, body = data.partition(b"\n\n")
lines = head.split(b"\n")
status = b" ".join(lines[0].split(b" ")[:2])
drop = {b"date", b"server", b"connection", b"keep-alive", b"transfer-encoding", b"x-powered-by", b"accept-ranges"}
headers = []
for line in lines[1:]:
    name, _, value = line.partition(b":")
    name = name.lower()
    if name in drop or (name == b"content-length" and (os.environ.get("ACROSS_SERVERS") == "1" or value.strip() == b"0")):
        continue
    headers.append(name + b":" + value)
if os.environ.get("ACROSS_SERVERS") == "1" and status.split(b" ")[-1].startswith(b"3"):
    headers = [h for h in headers if not h.startswith(b"content-type:")]
    body = b""
sys.stdout.buffer.write(b"\n".join([status] + sorted(headers)) + b"\n\n" + body + b"\n")'
}

# The driver's requests every server and mode is compared on (base URL;
# prints one block per request).
driver_requests() {
  local base=$1
  echo "== GET"; http_answer "$base/cgi-bin/hwendle.exe?5,6,7,abc"
  echo "== parameters"; http_answer "$base/cgi-bin/hwendle.exe?-2.7,1e99,x,a%20b%2Cc"
  echo "== POST"; http_answer --data 'sCallerURL=http%3A%2F%2Fcaller%2F&field=1' "$base/cgi-bin/hwendle.exe?5,6,7,abc"
  echo "== empty POST"; http_answer --data-binary @/dev/null "$base/cgi-bin/hwendle.exe?1,2,3,post"
  echo "== cookies"; http_answer -b 'a=1; b=2' "$base/cgi-bin/hwendle.exe?5,6,7,abc"
  echo "== cookie redirect"; http_answer "$base/cgi-bin/redirect_cookie.exe"
  echo "== rendered page"; http_answer "$base/cgi-bin/page_form.exe?1,2,3,form%20text"
}

# The driver's requests and the echo program's (which shows the server's own
# variables too, so only answers of the same web server compare).
compare_requests() {
  local base=$1
  driver_requests "$base"
  echo "== echo A"; http_answer -A 'Mozilla/5.0 (X11)' -H 'Accept: text/vnd.wap.wml' -e http://ref/ -b 'a=1; b=x%20y' \
      --data 'Name=J%F6rg+Smith&name=X&v=%0D%0Aline' "$base/cgi-bin/echo.exe?dump,12,abc%20def"
  echo "== echo B"; http_answer -A 'Opera/9.80' -b 'sid=s2' "$base/cgi-bin/echo.exe?dump,-2.7,+x"
  echo "== echo leak"; http_answer "$base/cgi-bin/echo.exe?leak,1"
  echo "== echo after leak"; http_answer "$base/cgi-bin/echo.exe?dump,2"
  echo "== echo cached"; http_answer --data 'a=1' "$base/cgi-bin/echo.exe?cached"
  echo "== echo xml"; http_answer "$base/cgi-bin/echo.exe?xml,q"
  echo "== echo status"; http_answer "$base/cgi-bin/echo.exe?status"
  echo "== echo abort"; http_answer "$base/cgi-bin/echo.exe?abort"
  echo "== echo after abort"; http_answer "$base/cgi-bin/echo.exe?dump,3"
}

# spawn_fcgi DIR PROGRAM: DIR/www/cgi-bin/PROGRAM started by spawn-fcgi on
# DIR/sock/PROGRAM.sock (the web server's user may connect), its pid in
# DIR/sock/PROGRAM.pid.
spawn_fcgi() {
  local dir=$1 program=$2 users=()
  mkdir -p "$dir/sock"
  [ "$(id -u)" = 0 ] && users=(-u www-data -g www-data) && chown www-data:www-data "$dir/sock"
  spawn-fcgi -s "$dir/sock/$program.sock" -M 0666 -P "$dir/sock/$program.pid" -d "$dir/www/cgi-bin" \
    "${users[@]}" -- "$dir/www/cgi-bin/$program" > /dev/null || return 1
}

stop_spawned() {  # DIR: every program spawn_fcgi started there
  local pidfile pid
  for pidfile in "$1"/sock/*.pid; do
    [ -s "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
}

# same_as_cgi LABEL ANSWERS [CGI_TRACE_FILTER]: a persistent run's answers and trace lines
# ($TRACE) against those the CGI run left in $RUN/answers.cgi and $RUN/trace.cgi.
same_as_cgi() {
  local label=$1 answers=$2 filter=${3:-trace_lines}
  if diff "$RUN/answers.cgi" "$answers" > "$RUN/answers.diff"; then
    echo "ok   $label answers as mod_cgi ($(grep -c '^== ' "$RUN/answers.cgi") requests)"
  else
    echo "FAIL $label answers as mod_cgi"; head -20 "$RUN/answers.diff"; FAILURES=$((FAILURES + 1))
  fi
  if diff <("$filter" "$RUN/trace.cgi") <(trace_lines "$TRACE") > "$RUN/trace.diff"; then
    echo "ok   trace lines as under mod_cgi ($(trace_lines "$TRACE" | wc -l) lines)"
  else
    echo "FAIL trace lines as under mod_cgi"; head -20 "$RUN/trace.diff"; FAILURES=$((FAILURES + 1))
  fi
}
