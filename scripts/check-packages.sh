#!/usr/bin/env bash
# Proves the Debian packages made from a build, on this machine, and leaves it as it was:
#  - makes libqzrt1, libqzrt-dev and hwendle from the build (cpack) and has lintian check
#    them (errors fail; the tags are summed up), and the manual pages render without a
#    groff warning and name every configuration key of the README;
#  - installs them with apt-get, builds a C program with pkg-config and a CMake project with
#    find_package(qzrt) against the installed libqzrt-dev, and the example of
#    docs/getting-started.md;
#  - serves the installed hwendle.exe and the example under lighttpd (with the installed
#    conf-available snippet) on a free loopback port and checks their answers;
#  - purges the packages again, with whatever apt-get installed for them.
#   check-packages.sh [BUILD]      as root; BUILD defaults to build/release
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
PACKAGES=(libqzrt1 libqzrt-dev hwendle)
EXAMPLE=/usr/lib/cgi-bin/hello.exe
export DEBIAN_FRONTEND=noninteractive

fail() { echo "check-packages: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || fail "run as root: it installs and removes packages"
# The check ends by purging the packages: it must not take away an installation of someone's.
for p in "${PACKAGES[@]}"; do
  ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -Eq "installed|config-files" ||
    fail "$p is installed already; remove it first"
done
[ ! -e "$EXAMPLE" ] || fail "$EXAMPLE exists already"

work=$(mktemp -d /tmp/qz-packages.XXXXXX)
chmod 755 "$work"  # apt's download user reads the .deb files from here
installed=0
purge() {
  apt-get remove --purge -y -q "${PACKAGES[@]}" >"$work/remove.log" 2>&1 ||
    { cat "$work/remove.log" >&2; return 1; }
  # Whatever apt-get brought in for them goes too (nothing, on a machine set up by install-deps.sh).
  dpkg-query -W -f='${Package}\n' | sort >"$work/after"
  local added
  added=$(comm -13 "$work/before" "$work/after")
  if [ -n "$added" ]; then apt-get remove --purge -y -q $added >>"$work/remove.log" 2>&1; fi
  installed=0
}
cleanup() {
  if [ -f "$work/run/lighttpd.pid" ]; then
    local pid
    pid=$(cat "$work/run/lighttpd.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$EXAMPLE"
  [ "$installed" = 0 ] || purge || echo "check-packages: the packages could not be removed" >&2
  rm -rf "$work"
}
trap cleanup EXIT
quiet() {  # runs a command, showing its output only when it fails
  "$@" >"$work/step.log" 2>&1 || { cat "$work/step.log" >&2; fail "failed: $*"; }
}

echo "-- packages from $BUILD"
# The Debian layout; scripts/test.sh configures build/release the same way, so this changes nothing there.
quiet cmake -S "$ROOT" -B "$BUILD" -DCMAKE_INSTALL_PREFIX=/usr -DHWENDLE_INSTALL_DIR=lib/cgi-bin
quiet cmake --build "$BUILD" --target hwendle qzrt_shared qzrt_static qz_package_files
(cd "$BUILD" && quiet cpack -G DEB -B "$work/debs")
debs=("$work"/debs/*.deb)
[ ${#debs[@]} = 3 ] || fail "cpack made ${#debs[@]} packages, not 3"
for deb in "${debs[@]}"; do
  echo "   $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done

echo "-- lintian"
lintian --fail-on error "${debs[@]}" >"$work/lintian.txt" 2>&1 ||
  { grep -v '^running with root' "$work/lintian.txt" >&2; fail "lintian reports errors"; }
tags=$(grep -E '^[EWI]: ' "$work/lintian.txt" || true)
echo "   errors $(grep -c '^E' <<<"$tags" || true), warnings $(grep -c '^W' <<<"$tags" || true)"
grep -E '^[EW]: ' <<<"$tags" | sed 's/^/   /' || true

echo "-- manual pages"
for page in "$ROOT"/man/*.[1-8]; do
  warnings=$(groff -ww -man -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $(basename "$page"): $warnings"
done
# qzcfg.ini(5) names every section and key of the README's configuration table.
while IFS='|' read -r _ section keys _; do
  section=$(tr -d '` ' <<<"$section")
  grep -qF "[$section]" "$ROOT/man/qzcfg.ini.5" || fail "qzcfg.ini.5 lacks section [$section]"
  for key in $(grep -o '`[^`]*`' <<<"$keys" | tr -d '`'); do
    grep -qF "$key" "$ROOT/man/qzcfg.ini.5" || fail "qzcfg.ini.5 lacks key $key of [$section]"
  done
done < <(sed -n '/^## Configuration/,/^## /p' "$ROOT/README.md" | grep -E '^\| `')

echo "-- apt-get install"
dpkg-query -W -f='${Package}\n' | sort >"$work/before"
installed=1
quiet apt-get install -y -q --no-install-recommends "${debs[@]}"
for file in /usr/lib/x86_64-linux-gnu/libqzrt.so.1 /usr/lib/x86_64-linux-gnu/libqzrt.so \
    /usr/lib/x86_64-linux-gnu/libqzrt.a /usr/lib/x86_64-linux-gnu/pkgconfig/qzrt.pc \
    /usr/lib/x86_64-linux-gnu/cmake/qzrt/qzrtConfig.cmake /usr/include/qz/qz.h \
    /usr/lib/cgi-bin/hwendle.exe /etc/hwendle/qzcfg.ini /etc/lighttpd/conf-available/10-hwendle.conf; do
  [ -e "$file" ] || fail "$file is not installed"
done
[ "$(stat -c %U /var/lib/hwendle)" = www-data ] || fail "/var/lib/hwendle does not belong to www-data"
# The manual pages are in the package; a machine whose dpkg leaves out /usr/share/man has no copy.
dpkg-deb -c "$work"/debs/hwendle_*.deb >"$work/hwendle.files"
for page in man8/hwendle.exe.8.gz man5/qzcfg.ini.5.gz; do
  grep -q " ./usr/share/man/$page\$" "$work/hwendle.files" || fail "the package lacks $page"
done
if [ -e /usr/share/man/man8/hwendle.exe.8.gz ]; then
  [ "$(man -w 8 hwendle.exe)" = /usr/share/man/man8/hwendle.exe.8.gz ] || fail "man does not find hwendle.exe(8)"
fi

echo "-- programs against the installed libqzrt-dev"
# The system folders are the compiler's own: pkg-config hands out the libraries only.
flags=$(pkg-config --cflags --libs qzrt | sed 's/ *$//')
[ "$flags" = "-lqzrt -lexpat" ] || fail "pkg-config --cflags --libs qzrt gives '$flags'"
# No search path is given: the ldconfig trigger and the standard folders must do.
cc -std=c11 -Wall -Wextra -Werror -o "$work/prog" "$ROOT/tests/install/prog.c" $(pkg-config --cflags --libs qzrt)
cc -std=c11 -Wall -Wextra -Werror -o "$work/prog_expat" "$ROOT/tests/install/prog_expat.c" $(pkg-config --cflags --libs qzrt)
"$work/prog" >/dev/null && "$work/prog_expat" >/dev/null
quiet cmake -S "$ROOT/tests/install/consumer" -B "$work/consumer" -DCMAKE_BUILD_TYPE=Release -DCONSUMER_CXX=ON
quiet cmake --build "$work/consumer"
for program in consumer_shared consumer_static consumer_cxx_shared consumer_cxx_static; do
  "$work/consumer/$program" >/dev/null || fail "$program failed"
done
cc -std=c11 -Wall -Wextra -Werror -o "$work/hello.exe" "$ROOT/examples/hello.c" $(pkg-config --cflags --libs qzrt)
install -m 755 "$work/hello.exe" "$EXAMPLE"

echo "-- the example's trace"
mkdir "$work/cfg"
printf '[Trace]\nTrace=1\nTraceFile=%s\n' "$work/hello.trace" >"$work/cfg/qzcfg.ini"
(cd "$work" && printf 'name=Ada' | env -i GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=POST \
  CONTENT_TYPE=application/x-www-form-urlencoded CONTENT_LENGTH=8 QZCFG="$work/cfg" "$EXAMPLE" >/dev/null)
grep -q '^[0-9]\{11\} hello: greeting Ada$' "$work/hello.trace" || fail "the example traced no greeting"

echo "-- lighttpd with /etc/lighttpd/conf-available/10-hwendle.conf"
mkdir -p "$work/www" "$work/run" "$work/log"
chown www-data:www-data "$work/run" "$work/log"
port=
for _ in $(seq 20); do
  candidate=$((20000 + RANDOM % 40000))
  # Nothing answers there: free (lighttpd's own bind is the final word).
  (: <"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null && continue
  cat >"$work/lighttpd.conf" <<CONF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $candidate
server.pid-file = "$work/run/lighttpd.pid"
server.errorlog = "$work/log/error.log"
server.username = "www-data"
server.groupname = "www-data"
mimetype.assign = ( ".html" => "text/html" )
include "/etc/lighttpd/conf-available/10-hwendle.conf"
CONF
  if lighttpd -f "$work/lighttpd.conf" 2>"$work/lighttpd.err"; then port=$candidate; break; fi
done
[ -n "$port" ] || { cat "$work/lighttpd.err" >&2; fail "lighttpd did not start"; }
base=http://127.0.0.1:$port
for _ in $(seq 50); do curl -s -o /dev/null "$base/" && break; sleep 0.1; done

answer=$(curl -s -o "$work/body" -w '%{http_code} %{redirect_url}' "$base/cgi-bin/hwendle.exe?5,6,7,abc")
[ "$answer" = "302 https://www.example.com/main/Hwendle.aspx?5,6,7,abc" ] || fail "hwendle.exe answered: $answer"
[ ! -s "$work/body" ] || fail "hwendle.exe's redirect has a body"
# The configuration came from /etc/hwendle (the snippet's QZCFG): the database is where it says.
[ "$(stat -c %U /var/lib/hwendle/valdrun.db 2>/dev/null)" = www-data ] || fail "no database in /var/lib/hwendle"
echo "   hwendle.exe: $answer"

answer=$(curl -s -o "$work/body" -w '%{http_code} %{content_type}' --data name=Ada "$base/cgi-bin/hello.exe")
[ "$answer" = "200 text/xml" ] || fail "hello.exe answered: $answer"
printf '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<greeting lang="en">\n\t<to>Ada</to>\n</greeting>\n' >"$work/expected"
cmp -s "$work/expected" "$work/body" || { diff "$work/expected" "$work/body" >&2; fail "hello.exe's document differs"; }
echo "   hello.exe: $answer, the document as expected"

echo "-- apt-get remove --purge"
kill "$(cat "$work/run/lighttpd.pid")"
rm -f "$EXAMPLE"
purge || fail "the packages could not be removed"
for path in /usr/lib/cgi-bin/hwendle.exe /etc/hwendle /var/lib/hwendle /var/log/hwendle /usr/include/qz \
    /usr/lib/x86_64-linux-gnu/libqzrt.so.1; do
  [ ! -e "$path" ] || fail "$path is left after the purge"
done
echo "check-packages: ok (${SECONDS} s)"
