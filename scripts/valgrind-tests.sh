#!/usr/bin/env bash
# Runs the pure in-process test programs under valgrind's memcheck; any error fails the run.
# (Programs that start servers or many child processes are left to the sanitizer build.)
set -euo pipefail
build=$1
status=0
shopt -s nullglob
for t in "$build"/tests/test_core_* "$build"/tests/test_conv_* "$build"/tests/test_url_* \
         "$build"/tests/test_auth_* "$build"/tests/test_xmldict_* "$build"/tests/test_dates_calendar \
         "$build"/tests/test_dates_parse "$build"/tests/test_cgi_cookie*; do
  [ -x "$t" ] || continue
  log=$(mktemp)
  if valgrind -q --error-exitcode=9 --suppressions="$(dirname "$0")/valgrind.supp" --leak-check=full --errors-for-leak-kinds=definite "$t" >"$log" 2>&1; then
    echo "valgrind clean: $(basename "$t")"
  else
    echo "valgrind FAILED: $(basename "$t")"; tail -40 "$log"; status=1
  fi
  rm -f "$log"
done
exit $status
