#!/usr/bin/env bash
# Makes a fresh Debian 12 machine ready to build, test and benchmark the project.
# Idempotent: packages already present are not asked for again.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config git ca-certificates curl
  g++-12 clang-14 libclang-rt-14-dev libfuzzer-14-dev valgrind
  libgtest-dev libgmock-dev libbenchmark-dev
  libexpat1-dev libcurl4-openssl-dev libsqlite3-dev sqlite3
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql postgresql libpq-dev
  lighttpd lighttpd-mod-openssl apache2 tinyproxy openssl
  libxml2-dev libxml2-utils wrk hyperfine
  chromium procps psmisc iproute2 strace
)

# Node.js and npm run the browser tests; a machine that already has them (from any source)
# keeps them, since Debian's packages would conflict with another installation.
command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || PACKAGES+=(nodejs npm)

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
if [ -f tests/node/package.json ] && [ ! -d tests/node/node_modules ]; then
  (cd tests/node && npm install --no-package-lock --no-audit --no-fund --loglevel=error)
fi
