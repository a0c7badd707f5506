# Helpers of the driver's server tests (sourced, not run on its own): free
# loopback ports, a CGI folder with the programs, and lighttpd / Apache
# instances that each test starts and stops itself.

QZ_BINARY_DIR=${QZ_BINARY_DIR:?QZ_BINARY_DIR must name the build folder}
QZ_SOURCE_DIR=${QZ_SOURCE_DIR:?QZ_SOURCE_DIR must name the source folder}
FAILURES=0

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_port() {  # port: until something listens there (at most 10 s)
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  return 1
}

check() {  # name expected actual
  if [ "$2" == "$3" ]; then
    echo "ok   $1"
  else
    echo "FAIL $1"
    echo "     expected: $(printf '%q' "$2")"
    echo "     actual:   $(printf '%q' "$3")"
    FAILURES=$((FAILURES + 1))
  fi
}

# make_site DIR [SITE_PREFIX]: DIR/www with the CGI programs under cgi-bin,
# their qzcfg.ini (SQLite database in DIR/data, trace in DIR/log) and a
# landing page standing in for the public site under /main/.
make_site() {
  local dir=$1 prefix=${2:-}
  mkdir -p "$dir/www/cgi-bin" "$dir/www/main" "$dir/data" "$dir/log"
  cp "$QZ_BINARY_DIR/hwendle.exe" "$dir/www/cgi-bin/hwendle.exe"
  cp "$QZ_BINARY_DIR/programs/driver_redirect_cookie" "$dir/www/cgi-bin/redirect_cookie.exe"
  cp "$QZ_BINARY_DIR/programs/driver_page_form" "$dir/www/cgi-bin/page_form.exe"
  {
    echo "[DataStore.Default]"
    echo "Database=$dir/data/valdrun.db"
    echo "[Trace]"
    echo "Trace=${QZ_TRACE:-0}"
    echo "TraceLevel=1"
    echo "TraceFile=$dir/log/trace.log"
    if [ -n "$prefix" ]; then echo "[Web]"; echo "SitePrefix=$prefix"; fi
  } > "$dir/www/cgi-bin/qzcfg.ini"
  echo '<html><head><title>landing</title></head><body>landed</body></html>' > "$dir/www/main/landing.html"
  cp "$dir/www/main/landing.html" "$dir/www/main/Hwendle.aspx"
  cp "$dir/www/main/landing.html" "$dir/www/cgi-bin/landing.html"
  if [ "$(id -u)" = 0 ]; then
    chown -R www-data:www-data "$dir"
    chmod 755 "$dir"
  fi
}

# start_lighttpd DIR PORT: serves DIR/www, .exe files under /cgi-bin/ as CGI.
start_lighttpd() {
  local dir=$1 port=$2 users=""
  [ "$(id -u)" = 0 ] && users='server.username = "www-data"
server.groupname = "www-data"'
  cat > "$dir/lighttpd.conf" <<CONF
server.modules = ("mod_cgi")
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$dir/www"
server.errorlog = "$dir/log/lighttpd-error.log"
server.pid-file = "$dir/lighttpd.pid"
server.max-connections = 64
$users
mimetype.assign = (".html" => "text/html", ".aspx" => "text/html")
\$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = (".exe" => "")
}
CONF
  [ "$(id -u)" = 0 ] && chown www-data:www-data "$dir/lighttpd.conf"
  touch "$dir/lighttpd.pid" && [ "$(id -u)" = 0 ] && chown www-data "$dir/lighttpd.pid"
  lighttpd -f "$dir/lighttpd.conf"
  wait_port "$port"
}

stop_lighttpd() {
  local dir=$1 pid
  # lighttpd removes its pid file as it ends: read it once, then wait on the process.
  pid=$(cat "$dir/lighttpd.pid" 2>/dev/null) || return 0
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
}

# start_apache DIR PORT: Apache with mod_cgi, its own configuration.
start_apache() {
  local dir=$1 port=$2 mods=/usr/lib/apache2/modules users=""
  [ "$(id -u)" = 0 ] && users="User www-data
Group www-data"
  mkdir -p "$dir/apache"
  cat > "$dir/apache/apache2.conf" <<CONF
ServerRoot "$dir/apache"
ServerName 127.0.0.1
Listen 127.0.0.1:$port
PidFile "$dir/apache/apache2.pid"
DefaultRuntimeDir "$dir/apache"
ErrorLog "$dir/log/apache-error.log"
LogLevel warn
$users
LoadModule mpm_prefork_module $mods/mod_mpm_prefork.so
LoadModule authz_core_module $mods/mod_authz_core.so
LoadModule alias_module $mods/mod_alias.so
LoadModule mime_module $mods/mod_mime.so
LoadModule cgi_module $mods/mod_cgi.so
TypesConfig /etc/mime.types
AddType text/html .aspx
StartServers 2
MaxRequestWorkers 16
DocumentRoot "$dir/www"
<Directory "$dir/www">
  Require all granted
</Directory>
ScriptAlias /cgi-bin/ "$dir/www/cgi-bin/"
<Directory "$dir/www/cgi-bin">
  Options +ExecCGI
  Require all granted
</Directory>
CONF
  apache2 -f "$dir/apache/apache2.conf" -k start
  wait_port "$port"
}

stop_apache() {
  local dir=$1
  [ -s "$dir/apache/apache2.pid" ] || return 0
  local pid
  pid=$(cat "$dir/apache/apache2.pid")
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
}

# The CGI checks every server must pass: base URL, site prefix.
check_cgi_answers() {
  local base=$1 prefix=$2 name=$3 out
  out=$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' "$base/cgi-bin/hwendle.exe?5,6,7,abc")
  check "$name: GET is the redirect" "302 ${prefix}Hwendle.aspx?5,6,7,abc" "$out"
  out=$(curl -s -D - -o /dev/null "$base/cgi-bin/hwendle.exe?5,6,7,abc" | tr -d '\r' | grep -i '^Location:')
  check "$name: Location header byte for byte" "Location: ${prefix}Hwendle.aspx?5,6,7,abc" "$out"
  out=$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' "$base/cgi-bin/hwendle.exe?-2.7,1e99,x,a%20b%2Cc")
  check "$name: parameters converted and encoded" "302 ${prefix}Hwendle.aspx?-2,2147483647,0,a+b%2Cc" "$out"
  out=$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' \
    --data 'sCallerURL=http%3A%2F%2Fcaller%2F&field=1' "$base/cgi-bin/hwendle.exe?5,6,7,abc")
  check "$name: POST with a form body" "302 ${prefix}Hwendle.aspx?5,6,7,abc" "$out"
  out=$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' --data-binary @/dev/null \
    "$base/cgi-bin/hwendle.exe?1,2,3,post")
  check "$name: POST with an empty body" "302 ${prefix}Hwendle.aspx?1,2,3,post" "$out"
  out=$(curl -s -D - "$base/cgi-bin/redirect_cookie.exe" | tr -d '\r' | grep -i '^Set-Cookie:\|^HTTP/')
  check "$name: cookie redirect status and cookie" "$(printf 'HTTP/1.1 200 OK\nSet-Cookie: qzvisit=redirected; path=/;')" "$out"
  out=$(curl -s "$base/cgi-bin/redirect_cookie.exe")
  check "$name: cookie redirect page" "$(printf '%s\n%s' "<head><title>Redirect w/cookies</title></head>" \
    "<body onLoad=\"location.replace('//127.0.0.1:${base##*:}/cgi-bin/landing.html');\"></body>")" "$out"
  out=$(curl -s -b 'a=1; b=2' -o /dev/null -w '%{http_code}' "$base/cgi-bin/hwendle.exe?5,6,7,abc")
  check "$name: request with cookies" "302" "$out"
}

# write_wrk_check FILE LOCATION: a wrk script that counts every response that
# is not "302" with exactly that Location, and prints the count at the end.
write_wrk_check() {
  cat > "$1" <<LUA
local threads = {}
function setup(thread) table.insert(threads, thread) end
function init(args) wrong = 0 end
function response(status, headers, body)
  if status ~= 302 or headers["Location"] ~= "$2" then wrong = wrong + 1 end
end
function done(summary, latency, requests)
  local total = 0
  for _, t in ipairs(threads) do total = total + t:get("wrong") end
  local e = summary.errors
  io.write(string.format("wrk: %d requests, %d errors\\n", summary.requests,
    e.connect + e.read + e.write + e.status + e.timeout))
  io.write(string.format("wrong responses: %d\\n", total))
end
LUA
}
