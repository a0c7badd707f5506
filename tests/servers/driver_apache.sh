#!/usr/bin/env bash
# hwendle.exe under Apache's mod_cgi (own configuration, free loopback port):
# the same answers as under lighttpd.
set -u
. "$(dirname "$0")/driver_lib.bash"
command -v apache2 >/dev/null || { echo "apache2 is not installed"; exit 1; }

RUN=$(mktemp -d /tmp/qz_driver_apache.XXXXXX)
trap 'stop_apache "$RUN"; rm -rf "$RUN"' EXIT
PORT=$(free_port)
PREFIX="http://127.0.0.1:$PORT/main/"
make_site "$RUN" "$PREFIX"
rm -f "$RUN/www/cgi-bin/landing.html"  # everything in Apache's script folder runs as CGI
start_apache "$RUN" "$PORT" || { cat "$RUN/log/apache-error.log"; exit 1; }

check_cgi_answers "http://127.0.0.1:$PORT" "$PREFIX" apache
out=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$PORT/main/Hwendle.aspx?5,6,7,abc")
check "apache: the redirect target is served" 200 "$out"

[ "$FAILURES" = 0 ] && echo "all apache checks passed"
[ "$FAILURES" = 0 ]
