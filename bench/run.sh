#!/usr/bin/env bash
# Runs every benchmark of the project side by side with its named peer and prints the ratios.
#   bash bench/run.sh            # all of them
#   bash bench/run.sh strings    # only those whose name contains "strings"
# Benchmarks are built with -DQZ_BENCH=ON (scripts/test.sh does so in build/release).
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${QZ_BUILD_DIR:-$ROOT/build/release}
FILTER=${1:-}
if [ ! -d "$BUILD/bench" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_BENCH=ON
fi
cmake --build "$BUILD" -j"${JOBS:-2}" >/dev/null
status=0
for exe in "$BUILD"/bench/bench_*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  [[ -z "$FILTER" || "$name" == *"$FILTER"* ]] || continue
  echo "== $name =="
  "$exe" || status=1
done
for script in "$ROOT"/bench/bench_*.sh; do
  [ -f "$script" ] || continue
  name=$(basename "$script" .sh)
  [[ -z "$FILTER" || "$name" == *"$FILTER"* ]] || continue
  echo "== $name =="
  QZ_BUILD_DIR=$BUILD bash "$script" || status=1
done
exit $status
