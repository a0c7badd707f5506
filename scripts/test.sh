#!/usr/bin/env bash
# The project's test command: installs what it needs, builds with g++ (normal) and with
# clang (AddressSanitizer + UndefinedBehaviorSanitizer), runs every test in both, proves the
# installed library builds a C program, makes, installs, serves and removes the Debian
# packages, and runs every fuzz target over its corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-2}

bash scripts/install-deps.sh

echo "== release build (g++) =="
# In the Debian layout (/usr, lib/x86_64-linux-gnu, lib/cgi-bin), so that the packages
# are made from this very build (scripts/check-packages.sh).
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_TESTS=ON \
  -DCMAKE_INSTALL_PREFIX=/usr -DHWENDLE_INSTALL_DIR=lib/cgi-bin \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DQZ_BENCH=ON
cmake --build build/release -j"$JOBS"
ctest --test-dir build/release --output-on-failure -j"$JOBS"

echo "== valgrind over the core, conversion, URL and authentication tests =="
bash scripts/valgrind-tests.sh build/release

echo "== installed library builds a C program =="
rm -rf build/stage
cmake --install build/release --prefix "$ROOT/build/stage" >/dev/null
bash scripts/check-install.sh "$ROOT/build/stage"

echo "== Debian packages =="
bash scripts/check-packages.sh

echo "== sanitizer build (clang, address + undefined) =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQZ_SANITIZE=ON \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
cmake --build build/asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j"$JOBS"

echo "== fuzz targets over their corpora (clang, libFuzzer) =="
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQZ_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
cmake --build build/fuzz -j"$JOBS"
ctest --test-dir build/fuzz --output-on-failure -j"$JOBS"
