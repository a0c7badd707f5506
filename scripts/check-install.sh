#!/usr/bin/env bash
# Builds tests/install/prog.c against an installed copy of the runtime, with pkg-config only.
set -euo pipefail
prefix=$1
src="$(cd "$(dirname "$0")/.." && pwd)/tests/install/prog.c"
out=$(mktemp -d)
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/x86_64-linux-gnu/pkgconfig"
cc -std=c11 -Wall -Wextra -Werror -o "$out/prog" "$src" $(pkg-config --cflags --libs qzrt)
LD_LIBRARY_PATH="$prefix/lib:$prefix/lib/x86_64-linux-gnu" "$out/prog"
cc -std=c11 -Wall -Wextra -Werror -o "$out/prog_static" "$src" $(pkg-config --static --cflags qzrt) \
  "$(pkg-config --variable=libdir qzrt)/libqzrt.a" $(pkg-config --static --libs-only-l qzrt | sed 's/-lqzrt//')
"$out/prog_static"
rm -rf "$out"
echo "check-install: ok"
