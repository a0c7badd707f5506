#!/usr/bin/env bash
# A longer fuzzing session: scripts/fuzz.sh with ten minutes per target, two
# targets at a time unless FUZZ_PARALLEL says otherwise.
#   bash scripts/fuzz-long.sh [seconds per target = 600] [filter]
FUZZ_PARALLEL=${FUZZ_PARALLEL:-2} exec bash "$(dirname "$0")/fuzz.sh" "${1:-600}" "${2:-}"
