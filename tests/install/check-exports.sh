#!/usr/bin/env bash
# The shared runtime exports exactly what the installed public headers declare: no internal
# C++ symbol, no template instance of the standard library, no unique object (which would keep
# the library loaded for good), and nothing declared that the library lacks.
#   check-exports.sh <prefix>
set -euo pipefail
prefix=$1
here=$(cd "$(dirname "$0")" && pwd)
lib=
for candidate in "$prefix"/lib/libqzrt.so "$prefix"/lib/*/libqzrt.so; do
  [ -e "$candidate" ] && { lib=$candidate; break; }
done
[ -n "$lib" ] || { echo "check-exports: no libqzrt.so under $prefix/lib" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$here/declared-names.sh" "$prefix" >"$work/declared"
nm -D --defined-only "$lib" | awk '{ print $NF }' | sed 's/@.*//' | sort -u >"$work/exported"
if [ "$(wc -l <"$work/declared")" -lt 100 ]; then
  echo "check-exports: only $(wc -l <"$work/declared") names found in the headers" >&2
  exit 1
fi
if ! diff -u "$work/declared" "$work/exported" >"$work/diff"; then
  echo "check-exports: $lib exports other names than the headers declare" >&2
  echo "  (- declared, not exported; + exported, not declared)" >&2
  grep '^[-+][^-+]' "$work/diff" | head -n 100 >&2
  exit 1
fi
echo "check-exports: $(wc -l <"$work/declared") names, as declared"
