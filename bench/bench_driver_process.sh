#!/usr/bin/env bash
# Whole-process time of the GET redirect: hwendle.exe (embedded SQLite
# default) against the minimal C program that opens the same database and
# prints the same redirect, and against the same program without the
# database; paired in one hyperfine run. Prints the ratios.
#   bench/bench_driver_process.sh [BUILD_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
[ -x "$BUILD/hwendle.exe" ] || cmake --build "$BUILD" --target hwendle
RUN=$(mktemp -d /tmp/qz_bench_driver.XXXXXX)
trap 'rm -rf "$RUN"' EXIT
cc -O2 -DWITH_DATABASE -o "$RUN/minimal_db" "$ROOT/bench/driver_minimal_redirect.c" -lsqlite3
cc -O2 -o "$RUN/minimal" "$ROOT/bench/driver_minimal_redirect.c"
cp "$BUILD/hwendle.exe" "$RUN/"
printf '[DataStore.Default]\nDatabase=%s/valdrun.db\n' "$RUN" > "$RUN/qzcfg.ini"
cd "$RUN"
export GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET QUERY_STRING=5,6,7,abc QZ_BENCH_DATABASE="$RUN/valdrun.db"
# The three answers are the same bytes.
for p in ./hwendle.exe ./minimal_db ./minimal; do
  cmp <(./hwendle.exe < /dev/null) <($p < /dev/null) || { echo "$p answers differently" >&2; exit 1; }
done
hyperfine -N --warmup 100 --runs "${RUNS:-2000}" --export-json bench.json \
  -n hwendle ./hwendle.exe -n minimal_sqlite ./minimal_db -n minimal_nodb ./minimal
python3 - <<'PY'
import json
r = {x["command"]: x for x in json.load(open("bench.json"))["results"]}
h = r["hwendle"]["median"]
for peer in ("minimal_sqlite", "minimal_nodb"):
    print(f"hwendle.exe / {peer}: {h / r[peer]['median']:.2f}x (medians {h*1e3:.3f} ms vs {r[peer]['median']*1e3:.3f} ms)")
PY
