#!/usr/bin/env bash
# The programs behind nginx (fastcgi_pass to programs started by spawn-fcgi),
# compared with the same programs under lighttpd's mod_cgi on the same port:
# the driver's answers (status, headers, body) and its trace lines are the
# same, and the driver's CGI checks pass through nginx. nginx has no CGI of
# its own: this is how the program is served by it.
set -u
. "$(dirname "$0")/driver_lib.bash"
. "$(dirname "$0")/fastcgi_lib.bash"
command -v nginx >/dev/null && command -v spawn-fcgi >/dev/null || { echo "nginx or spawn-fcgi is not installed"; exit 1; }

RUN=$(mktemp -d /tmp/qz_fastcgi_nginx.XXXXXX)
trap 'stop_lighttpd "$RUN"; [ -s "$RUN/nginx.pid" ] && kill "$(cat "$RUN/nginx.pid")"; stop_spawned "$RUN"; rm -rf "$RUN"' EXIT
PORT=$(free_port)
PREFIX="http://127.0.0.1:$PORT/main/"
QZ_TRACE=1 make_site "$RUN" "$PREFIX"
BASE="http://127.0.0.1:$PORT"
TRACE=$RUN/log/trace.log

start_lighttpd "$RUN" "$PORT" || exit 1
ACROSS_SERVERS=1 driver_requests "$BASE" > "$RUN/answers.cgi"
stop_lighttpd "$RUN"
mv "$TRACE" "$RUN/trace.cgi"

users=""
[ "$(id -u)" = 0 ] && users="user www-data www-data;"
mkdir -p "$RUN/nginx"
locations=""
for program in hwendle redirect_cookie page_form; do
  spawn_fcgi "$RUN" "$program.exe" || { echo "spawn-fcgi failed for $program.exe"; exit 1; }
  locations+="    location = /cgi-bin/$program.exe {
      include /etc/nginx/fastcgi_params;
      fastcgi_pass unix:$RUN/sock/$program.exe.sock;
    }
"
done
cat > "$RUN/nginx.conf" <<CONF
$users
worker_processes 1;
pid $RUN/nginx.pid;
error_log $RUN/log/nginx-error.log;
events { worker_connections 256; }
http {
  access_log off;
  default_type text/html;
  client_body_temp_path $RUN/nginx/body;
  fastcgi_temp_path $RUN/nginx/fastcgi;
  proxy_temp_path $RUN/nginx/proxy;
  uwsgi_temp_path $RUN/nginx/uwsgi;
  scgi_temp_path $RUN/nginx/scgi;
  server {
    listen 127.0.0.1:$PORT;
    server_name 127.0.0.1;
    root $RUN/www;
$locations  }
}
CONF
[ "$(id -u)" = 0 ] && chown -R www-data:www-data "$RUN/nginx"
nginx -c "$RUN/nginx.conf" -p "$RUN" || { cat "$RUN/log/nginx-error.log"; exit 1; }
wait_port "$PORT" || exit 1

ACROSS_SERVERS=1 driver_requests "$BASE" > "$RUN/answers.nginx"
same_as_cgi "nginx + FastCGI" "$RUN/answers.nginx"
check_cgi_answers "$BASE" "$PREFIX" nginx

if ! command -v wrk >/dev/null; then
  echo "FAIL nginx load: wrk is not installed (scripts/install-deps.sh installs it)"
  FAILURES=$((FAILURES + 1))
else
  write_wrk_check "$RUN/check.lua" "${PREFIX}Hwendle.aspx?5,6,7,abc"
  out=$(wrk -t2 -c8 -d2s -s "$RUN/check.lua" "$BASE/cgi-bin/hwendle.exe?5,6,7,abc" 2>&1)
  check "nginx load: no wrong response" "wrong responses: 0" "$(grep '^wrong responses' <<<"$out")"
  check "nginx load: no socket or status error" 0 "$(sed -n 's/^wrk: [0-9]* requests, \([0-9]*\) errors$/\1/p' <<<"$out")"
fi

[ "$FAILURES" = 0 ] && echo "all nginx checks passed"
[ "$FAILURES" = 0 ]
