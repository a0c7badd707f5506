#!/usr/bin/env bash
# Runs every libFuzzer target (address + undefined sanitizers) for a while, two at a
# time (FUZZ_PARALLEL=N for N at a time), each over a scratch copy of its checked-in corpus, and prints one line per
# target: runs, coverage, and whether it ended clean.
#   bash scripts/fuzz-long.sh [seconds per target = 600] [filter]
# The fuzz build is made in build/fuzz when it is missing. A failing target leaves
# its crash input and log under build/fuzz-long/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_EACH=${1:-600}
FILTER=${2:-}
BUILD=$ROOT/build/fuzz
if [ ! -d "$BUILD" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQZ_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
fi
cmake --build "$BUILD" -j"${JOBS:-2}" >/dev/null || exit 1
OUT=$ROOT/build/fuzz-long
rm -rf "$OUT" && mkdir -p "$OUT"

run_one() {
  local name=$1 dir=$OUT/$1
  mkdir -p "$dir/corpus"
  cp -r "$ROOT/fuzz/corpus/$name/." "$dir/corpus/" 2>/dev/null
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$BUILD/fuzz/$name" -max_total_time="$SECONDS_EACH" -timeout=30 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/" corpus > "$dir/log" 2>&1)
  local rc=$?
  local last; last=$(grep -E '^#[0-9]+' "$dir/log" | tail -1)
  if [ $rc -eq 0 ]; then
    echo "clean  $name  ${SECONDS_EACH}s  ${last}"
  else
    echo "FAILED $name  (exit $rc, see $dir/log)  ${last}"
  fi
}

status=0
targets=()
for exe in "$BUILD"/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  [[ -z "$FILTER" || "$name" == *"$FILTER"* ]] && targets+=("$name")
done
PARALLEL=${FUZZ_PARALLEL:-2}
for ((i = 0; i < ${#targets[@]}; i += PARALLEL)); do
  round=("${targets[@]:i:PARALLEL}")
  for name in "${round[@]}"; do run_one "$name" > "$OUT/$name.result" & done
  wait
  for name in "${round[@]}"; do cat "$OUT/$name.result"; done
done
grep -q '^FAILED' "$OUT"/*.result && status=1
exit $status
