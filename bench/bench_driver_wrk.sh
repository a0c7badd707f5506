#!/usr/bin/env bash
# Requests per second under lighttpd (mod_cgi) with wrk, 2 threads, 8
# connections, 10 s each: hwendle.exe (embedded SQLite default) against the
# minimal C program that opens the same database and prints the same
# redirect, one after the other in one run under the same server. Every
# response must be the exact redirect; prints the ratio.
#   bench/bench_driver_wrk.sh [BUILD_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export QZ_SOURCE_DIR=$ROOT QZ_BINARY_DIR=${1:-$ROOT/build/release}
[ -x "$QZ_BINARY_DIR/hwendle.exe" ] || cmake --build "$QZ_BINARY_DIR" --target hwendle driver_redirect_cookie driver_page_form
. "$ROOT/tests/servers/driver_lib.bash"
set +u
RUN=$(mktemp -d /tmp/qz_bench_wrk.XXXXXX)
trap 'stop_lighttpd "$RUN"; rm -rf "$RUN"' EXIT
PORT=$(free_port)
make_site "$RUN"
cc -O2 -DWITH_DATABASE -o "$RUN/www/cgi-bin/minimal.exe" "$ROOT/bench/driver_minimal_redirect.c" -lsqlite3
# The peer opens valdrun.db in its working folder (the CGI folder): a link
# there names the database file of hwendle.exe.
ln -s "$RUN/data/valdrun.db" "$RUN/www/cgi-bin/valdrun.db"
[ "$(id -u)" = 0 ] && chown -R www-data:www-data "$RUN/www" "$RUN/data"
start_lighttpd "$RUN" "$PORT"
URL="http://127.0.0.1:$PORT/cgi-bin"
curl -s -o /dev/null "$URL/hwendle.exe?5,6,7,abc"  # creates the database
write_wrk_check "$RUN/check.lua" "https://www.example.com/main/Hwendle.aspx?5,6,7,abc"
DURATION=${DURATION:-10s}
declare -A RPS
for name in hwendle minimal; do
  out=$(wrk -t2 -c8 -d"$DURATION" -s "$RUN/check.lua" "$URL/$name.exe?5,6,7,abc")
  echo "== $name.exe"; echo "$out"
  grep -q '^wrong responses: 0$' <<<"$out" || { echo "$name.exe: wrong responses under load" >&2; exit 1; }
  grep -q '^wrk: [0-9]* requests, 0 errors$' <<<"$out" || { echo "$name.exe: errors under load" >&2; exit 1; }
  RPS[$name]=$(sed -n 's/^Requests\/sec: *//p' <<<"$out")
done
python3 -c "h, m = ${RPS[hwendle]}, ${RPS[minimal]}; print(f'requests/s hwendle.exe {h:.0f} vs minimal C {m:.0f}: {h / m:.2f}x')"
