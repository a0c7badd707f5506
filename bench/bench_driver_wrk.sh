#!/usr/bin/env bash
# Requests per second under lighttpd (mod_cgi) with wrk, 2 threads, 8
# connections: hwendle.exe (embedded SQLite default) against the minimal C
# program that opens the same database and prints the same redirect, under
# the same server. Short wrk runs (DURATION, default 3s) alternate project and
# peer, RUNS pairs (default 5, at least 5); cost per request = 1 / requests
# per second, so the ratio is the peer's requests/s over ours (no goal, for
# information; bench/abab.bash). Every response must be the exact redirect.
#   bash bench/run.sh driver_wrk      (or bench/bench_driver_wrk.sh [BUILD_DIR])
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export QZ_SOURCE_DIR=$ROOT QZ_BINARY_DIR=${1:-${QZ_BUILD_DIR:-$ROOT/build/release}}
[ -x "$QZ_BINARY_DIR/hwendle.exe" ] || cmake --build "$QZ_BINARY_DIR" --target hwendle driver_redirect_cookie driver_page_form
. "$ROOT/tests/servers/driver_lib.bash"
. "$ROOT/bench/abab.bash"
set +u
DURATION=${DURATION:-3s}
RUNS=${RUNS:-5}
[ "$RUNS" -ge 5 ] || RUNS=5
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
curl -s -o /dev/null "$URL/minimal.exe?5,6,7,abc"
write_wrk_check "$RUN/check.lua" "https://www.example.com/main/Hwendle.aspx?5,6,7,abc"

# One wrk run of PROGRAM; appends its cost per request (µs) to array VAR.
measure() {  # VAR PATH
  abab_wrk_cost "$1" "$RUN/check.lua" "$URL/$2?5,6,7,abc"
}

ours=() theirs=()
for _ in $(seq "$RUNS"); do
  measure ours hwendle.exe
  measure theirs minimal.exe
done
abab_report "hwendle.exe mod_cgi cost/request, wrk -t2 -c8 -d$DURATION" "minimal C + SQLite under mod_cgi" 0 "${ours[*]}" "${theirs[*]}"
