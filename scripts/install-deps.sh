#!/usr/bin/env bash
# Makes a fresh Debian 12 machine ready for the project.
#   install-deps.sh          everything: build, tests, servers, benchmarks, packaging, Node packages
#   install-deps.sh --serve  only what building hwendle.exe and serving it under lighttpd need
#                            (scripts/serve.sh), so a first served page waits for no test tool
# Idempotent: packages already present are not asked for again.
set -euo pipefail
cd "$(dirname "$0")/.."
MODE=all
case "${1:-}" in
  "") ;;
  --serve) MODE=serve ;;
  *) echo "usage: $0 [--serve]" >&2; exit 2 ;;
esac

# The build of the runtime and the program (expat, SQLite, and the headers of libcurl and
# libfcgi, which are loaded on demand), lighttpd, and libfcgi itself for the FastCGI mode.
SERVE_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libexpat1-dev libcurl4-openssl-dev libsqlite3-dev libfcgi-dev libfcgi0ldbl
  lighttpd
)
TEST_PACKAGES=(
  git ca-certificates curl
  g++-12 clang-14 libclang-rt-14-dev libfuzzer-14-dev valgrind
  libgtest-dev libgmock-dev libbenchmark-dev
  sqlite3
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql postgresql libpq-dev
  lighttpd-mod-openssl apache2 tinyproxy openssl
  libfcgi-bin spawn-fcgi nginx
  libxml2-dev libxml2-utils wrk hyperfine
  chromium procps psmisc iproute2
  linux-perf strace
  # the Debian packages: building, checking, and the manual pages
  dpkg-dev fakeroot file lintian groff man-db
)

PACKAGES=("${SERVE_PACKAGES[@]}")
if [ "$MODE" = all ]; then
  PACKAGES+=("${TEST_PACKAGES[@]}")
  # Node.js and npm run the browser tests; a machine that already has them (from any source)
  # keeps them, since Debian's packages would conflict with another installation.
  command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || PACKAGES+=(nodejs npm)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: run as root to install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Node packages for the browser and conformance tests, kept in the project's own folder.
if [ "$MODE" = all ] && [ -f tests/node/package.json ] && [ ! -d tests/node/node_modules ]; then
  (cd tests/node && npm install --no-package-lock --no-audit --no-fund --loglevel=error)
fi
