#!/usr/bin/env bash
# The programs behind Apache's mod_proxy_fcgi (started by spawn-fcgi),
# compared with the same programs under Apache's mod_cgi on the same port:
# the driver's answers and trace lines are the same, and the driver's CGI
# checks pass.
set -u
. "$(dirname "$0")/driver_lib.bash"
. "$(dirname "$0")/fastcgi_lib.bash"
command -v apache2 >/dev/null && command -v spawn-fcgi >/dev/null || { echo "apache2 or spawn-fcgi is not installed"; exit 1; }
[ -f /usr/lib/apache2/modules/mod_proxy_fcgi.so ] || { echo "mod_proxy_fcgi is missing"; exit 1; }

RUN=$(mktemp -d /tmp/qz_fastcgi_apache.XXXXXX)
trap 'stop_apache "$RUN"; stop_spawned "$RUN"; rm -rf "$RUN"' EXIT
PORT=$(free_port)
PREFIX="http://127.0.0.1:$PORT/main/"
QZ_TRACE=1 make_site "$RUN" "$PREFIX"
rm -f "$RUN/www/cgi-bin/landing.html"  # everything in Apache's script folder runs as CGI
BASE="http://127.0.0.1:$PORT"
TRACE=$RUN/log/trace.log

start_apache "$RUN" "$PORT" || { cat "$RUN/log/apache-error.log"; exit 1; }
ACROSS_SERVERS=1 driver_requests "$BASE" > "$RUN/answers.cgi"
stop_apache "$RUN"
mv "$TRACE" "$RUN/trace.cgi"

# The same server with the programs behind mod_proxy_fcgi instead of mod_cgi.
proxies=""
for program in hwendle redirect_cookie page_form; do
  spawn_fcgi "$RUN" "$program.exe" || { echo "spawn-fcgi failed for $program.exe"; exit 1; }
  # (each backend a name of its own: Apache shares the connections of one name)
  proxies+="ProxyPass \"/cgi-bin/$program.exe\" \"unix:$RUN/sock/$program.exe.sock|fcgi://${program//_/-}/\"
"
done
sed -i -e 's|^LoadModule cgi_module .*|LoadModule proxy_module /usr/lib/apache2/modules/mod_proxy.so\nLoadModule proxy_fcgi_module /usr/lib/apache2/modules/mod_proxy_fcgi.so|' \
  -e 's|^ScriptAlias .*||' "$RUN/apache/apache2.conf"
printf '%s' "$proxies" >> "$RUN/apache/apache2.conf"
apache2 -f "$RUN/apache/apache2.conf" -k start || { cat "$RUN/log/apache-error.log"; exit 1; }
wait_port "$PORT" || exit 1

ACROSS_SERVERS=1 driver_requests "$BASE" > "$RUN/answers.fcgi"
same_as_cgi "mod_proxy_fcgi" "$RUN/answers.fcgi"
# landing.html is no script here: it lives beside the programs for the cookie redirect.
cp "$RUN/www/main/landing.html" "$RUN/www/cgi-bin/landing.html"
check_cgi_answers "$BASE" "$PREFIX" apache-fastcgi

[ "$FAILURES" = 0 ] && echo "all apache mod_proxy_fcgi checks passed"
[ "$FAILURES" = 0 ]
