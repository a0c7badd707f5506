#!/usr/bin/env bash
# Proves that an installed copy of the runtime serves every kind of consumer:
#  - C programs built with pkg-config only, linked with the shared and with the static library,
#    one of them calling expat's XML_ functions itself, another reading an http document
#    with the XML reader alone;
#  - a CMake project that finds the package with find_package(qzrt) and links qz::qzrt_shared
#    and qz::qzrt_static;
#  - the shared library exports exactly the names the installed headers declare, and a
#    dlopen/dlclose cycle unloads it.
#   check-install.sh <prefix>
set -euo pipefail
prefix=$(cd "$1" && pwd)
src="$(cd "$(dirname "$0")/.." && pwd)/tests/install"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
libdir=
for candidate in "$prefix/lib" "$prefix"/lib/*-linux-gnu; do
  [ -e "$candidate/libqzrt.so" ] && { libdir=$candidate; break; }
done
[ -n "$libdir" ] || { echo "check-install: no libqzrt.so under $prefix/lib" >&2; exit 1; }
export PKG_CONFIG_PATH="$libdir/pkgconfig"
CFLAGS=(-std=c11 -Wall -Wextra -Werror)

# The static form names the archive itself: with both present, -lqzrt would pick the .so.
static_link() {
  echo "$libdir/libqzrt.a" $(pkg-config --static --libs-only-L --libs-only-l qzrt | sed 's/-lqzrt\b//')
}
no_shared_runtime() {
  if readelf -d "$1" | grep -q 'NEEDED.*libqzrt'; then
    echo "check-install: $1 needs libqzrt.so although it was linked statically" >&2
    exit 1
  fi
}

for prog in prog prog_expat prog_reader; do
  echo "-- $prog.c, pkg-config, shared"
  cc "${CFLAGS[@]}" -o "$out/$prog" "$src/$prog.c" $(pkg-config --cflags --libs qzrt)
  LD_LIBRARY_PATH="$libdir" "$out/$prog"
  echo "-- $prog.c, pkg-config --static"
  cc "${CFLAGS[@]}" -o "$out/${prog}_static" "$src/$prog.c" $(pkg-config --static --cflags qzrt) $(static_link)
  no_shared_runtime "$out/${prog}_static"
  "$out/${prog}_static"
done

# Twice: a C project (the link is driven by the C compiler) and a C and C++ project.
for cxx in OFF ON; do
  echo "-- CMake consumer, find_package(qzrt), C++ $cxx"
  build="$out/consumer-$cxx"
  { cmake -S "$src/consumer" -B "$build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
      -DCONSUMER_CXX=$cxx && cmake --build "$build"; } >"$out/consumer.log" 2>&1 ||
    { cat "$out/consumer.log" >&2; exit 1; }
  programs=(consumer_shared consumer_static)
  [ "$cxx" = ON ] && programs+=(consumer_cxx_shared consumer_cxx_static)
  for program in "${programs[@]}"; do
    [[ "$program" == *_static ]] && no_shared_runtime "$build/$program"
    "$build/$program"
  done
done

echo "-- dlopen and dlclose"
cc "${CFLAGS[@]}" -I"$prefix/include" -o "$out/unload" "$src/unload.c" -ldl
"$out/unload" "$libdir/libqzrt.so"

echo "-- exported names"
bash "$src/check-exports.sh" "$prefix"

echo "check-install: ok"
