#!/usr/bin/env bash
# Runs every libFuzzer target (address + undefined sanitizers, invariant checks)
# for real, each over a scratch copy of its checked-in corpus, one at a time
# (FUZZ_PARALLEL=N for N at a time), and prints one line per target: whether it
# ended clean, its runs and coverage. Exits non-zero when any target found a
# crash, an invariant failure, a leak, a time-out or ran out of memory.
#   bash scripts/fuzz.sh [seconds per target = 60] [filter]
# The fuzz build is made in build/fuzz when it is missing. Each target's log,
# and the input that failed it, are left under build/fuzz-runs/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_EACH=${1:-60}
FILTER=${2:-}
PARALLEL=${FUZZ_PARALLEL:-1}
BUILD=$ROOT/build/fuzz
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQZ_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null || exit 1
fi
cmake --build "$BUILD" -j"${JOBS:-2}" >/dev/null || { echo "the fuzz build failed" >&2; exit 1; }
OUT=$ROOT/build/fuzz-runs
rm -rf "$OUT" && mkdir -p "$OUT"

run_one() {
  local name=$1 dir=$OUT/$1
  mkdir -p "$dir/corpus"
  cp -r "$ROOT/fuzz/corpus/$name/." "$dir/corpus/" 2>/dev/null
  # The outer limit only catches a target that does not stop by itself.
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    timeout -k 10 $((SECONDS_EACH + 120)) "$BUILD/fuzz/$name" -max_total_time="$SECONDS_EACH" \
    -timeout=30 -rss_limit_mb=2048 -artifact_prefix="$dir/" corpus > "$dir/log" 2>&1)
  local rc=$?
  local last; last=$(grep -E '^#[0-9]+' "$dir/log" | tail -1 | tr '\t' ' ')
  if [ $rc -eq 0 ]; then
    echo "clean  $name  ${SECONDS_EACH}s  ${last}"
  else
    local why; why=$(grep -m1 -E 'invariant failed|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' "$dir/log")
    [ $rc -eq 124 ] && why="did not stop after $((SECONDS_EACH + 120)) s"
    local input; input=$(ls "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-* 2>/dev/null | head -1)
    echo "FAILED $name  exit $rc: ${why:-see the log}  input ${input:-none}  log $dir/log  ${last}"
  fi
}

targets=()
for exe in "$BUILD"/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  [ -d "$ROOT/fuzz/corpus/$name" ] || continue  # a target whose source is gone
  [[ -z "$FILTER" || "$name" == *"$FILTER"* ]] && targets+=("$name")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz target matches '${FILTER}'" >&2
  exit 1
fi
echo "== ${#targets[@]} fuzz targets, ${SECONDS_EACH} s each, ${PARALLEL} at a time, started $(date -u '+%F %T') UTC"
for ((i = 0; i < ${#targets[@]}; i += PARALLEL)); do
  round=("${targets[@]:i:PARALLEL}")
  for name in "${round[@]}"; do run_one "$name" > "$OUT/$name.result" & done
  wait
  for name in "${round[@]}"; do cat "$OUT/$name.result"; done
done
failed=$(cat "$OUT"/*.result | grep -c '^FAILED')
echo "== ${#targets[@]} targets, ${failed} failed, ended $(date -u '+%F %T') UTC"
[ "$failed" -eq 0 ]
