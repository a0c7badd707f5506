#!/usr/bin/env bash
# Whole-process time of the GET redirect: hwendle.exe (embedded SQLite
# default) against the minimal C program that opens the same database and
# prints the same redirect (goal: at most 1.25x), and, for information,
# against the same program without the database. Each run starts one side
# BATCH times in a row (default 200) with the same CGI environment, standard
# input and output on /dev/null, through one small launcher
# (bench/spawn_batch.c, no shell in between); runs alternate hwendle.exe,
# minimal with SQLite, minimal without (ABC ABC ...), RUNS of each (default 7,
# at least 5), and each report is the median of the per-run ratios with their
# spread (bench/abab.bash).
#   bash bench/run.sh driver_process    (or bench/bench_driver_process.sh [BUILD_DIR])
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-${QZ_BUILD_DIR:-$ROOT/build/release}}
[ -x "$BUILD/hwendle.exe" ] || cmake --build "$BUILD" --target hwendle
RUNS=${RUNS:-7}
[ "$RUNS" -ge 5 ] || RUNS=5
BATCH=${BATCH:-200}
source "$ROOT/bench/abab.bash"
RUN=$(mktemp -d /tmp/qz_bench_driver.XXXXXX)
trap 'rm -rf "$RUN"' EXIT
cc -O2 -DWITH_DATABASE -o "$RUN/minimal_db" "$ROOT/bench/driver_minimal_redirect.c" -lsqlite3
cc -O2 -o "$RUN/minimal" "$ROOT/bench/driver_minimal_redirect.c"
cc -O2 -o "$RUN/spawn_batch" "$ROOT/bench/spawn_batch.c"
cp "$BUILD/hwendle.exe" "$RUN/"
printf '[DataStore.Default]\nDatabase=%s/valdrun.db\n' "$RUN" > "$RUN/qzcfg.ini"
cd "$RUN"
export GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET QUERY_STRING=5,6,7,abc QZ_BENCH_DATABASE="$RUN/valdrun.db"
# The three answers are the same bytes (the first run also creates the database).
expected=$(printf 'Location: https://www.example.com/main/Hwendle.aspx?5,6,7,abc\n\n' | od -c)
for p in ./hwendle.exe ./minimal_db ./minimal; do
  [ "$($p < /dev/null | od -c)" == "$expected" ] || { echo "$p answers differently" >&2; exit 1; }
done
# One batch of each first: the programs and libraries are in the page cache.
for p in ./hwendle.exe ./minimal_db ./minimal; do ./spawn_batch "$BATCH" "$p"; done

ours=() with_db=() without_db=()
for _ in $(seq "$RUNS"); do
  abab_time ours ./spawn_batch "$BATCH" ./hwendle.exe
  abab_time with_db ./spawn_batch "$BATCH" ./minimal_db
  abab_time without_db ./spawn_batch "$BATCH" ./minimal
done
abab_report "hwendle.exe GET redirect, $BATCH process starts" "minimal C + SQLite redirect" 1.25 "${ours[*]}" "${with_db[*]}"
abab_report "hwendle.exe GET redirect, $BATCH process starts" "minimal C redirect, no database" 0 "${ours[*]}" "${without_db[*]}"
