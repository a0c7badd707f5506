#!/usr/bin/env bash
# Runs every benchmark of the project side by side with its named peer and prints the ratios,
# then one table of every comparison (median ratio of alternating runs, lowest and highest).
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
results=$(mktemp /tmp/qz-bench-results.XXXXXX)
trap 'rm -f "$results"' EXIT
for exe in "$BUILD"/bench/bench_*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  [[ -z "$FILTER" || "$name" == *"$FILTER"* ]] || continue
  echo "== $name =="
  "$exe" | tee -a "$results" || status=1
done
for script in "$ROOT"/bench/bench_*.sh; do
  [ -f "$script" ] || continue
  name=$(basename "$script" .sh)
  [[ -z "$FILTER" || "$name" == *"$FILTER"* ]] || continue
  echo "== $name =="
  QZ_BUILD_DIR=$BUILD bash "$script" | tee -a "$results" || status=1
done
echo
echo "== all comparisons (cost ratio project/peer: median of alternating runs, lowest-highest) =="
grep '^RESULT|' "$results" | awk -F'|' '
  BEGIN { printf "%-58s %-34s %8s %15s %5s %6s\n", "what", "peer", "ratio", "spread", "runs", "goal" }
  { goal = $10 > 0 ? sprintf("%.2f", $10) : "-"
    mark = ($10 > 0 && $6 > $10) ? "  MISSED" : ""
    printf "%-58s %-34s %7.2fx %7.2f-%-7.2f %5d %6s%s\n", $2, $3, $6, $7, $8, $9, goal, mark }'
exit $status
