#!/usr/bin/env bash
# Serves hwendle.exe on this machine: builds it when needed (build/release),
# writes a lighttpd configuration into a fresh run folder, and runs lighttpd in
# the foreground on 127.0.0.1:8080 until Ctrl-C. The page's data store is the
# embedded SQLite default; its database file lives in the run folder.
#
#   scripts/serve.sh            # CGI (mod_cgi): one process per request; open the URL it prints
#   scripts/serve.sh --fastcgi  # FastCGI (mod_fastcgi): lighttpd starts the program once,
#                               # and it serves many requests per process
#   PORT=8181 scripts/serve.sh  # another port
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${QZ_BUILD_DIR:-$ROOT/build/release}
PORT=${PORT:-8080}
HOST=127.0.0.1
MODE=cgi
case "${1:-}" in
  "") ;;
  --fastcgi) MODE=fastcgi ;;
  *) echo "usage: $0 [--fastcgi]" >&2; exit 2 ;;
esac

# A fresh machine gets its packages first (as root; idempotent, quick when all are there).
if [ "$(id -u)" = 0 ]; then
  bash "$ROOT/scripts/install-deps.sh"
fi
command -v lighttpd >/dev/null || { echo "lighttpd is not installed (run scripts/install-deps.sh as root)" >&2; exit 1; }
if [ ! -f "$BUILD/build.ninja" ] && [ ! -f "$BUILD/Makefile" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD" --target hwendle

RUN=$(mktemp -d /tmp/hwendle-serve.XXXXXX)
cleanup() { rm -rf "$RUN"; }
trap cleanup EXIT
mkdir -p "$RUN/www/cgi-bin" "$RUN/data" "$RUN/log" "$RUN/sock"
# A copy, so that the server's user needs no access to the build folder.
cp "$BUILD/hwendle.exe" "$RUN/www/cgi-bin/hwendle.exe"
# The CGI program runs in its own folder and finds its configuration there.
cat > "$RUN/www/index.html" <<HTML
<html><body><a href="/cgi-bin/hwendle.exe?5,6,7,abc">hwendle.exe?5,6,7,abc</a></body></html>
HTML
cat > "$RUN/www/cgi-bin/qzcfg.ini" <<INI
[DataStore.Default]
Backend=sqlite
Database=$RUN/data/valdrun.db
INI

USER_LINES=""
if [ "$(id -u)" = 0 ]; then
  # lighttpd started as root needs a user to switch to, owning what it writes.
  USER_LINES='server.username = "www-data"
server.groupname = "www-data"'
  chown -R www-data:www-data "$RUN"
  chmod 755 "$RUN"
fi
if [ "$MODE" = fastcgi ]; then
  # lighttpd starts the program with the listening socket as its standard
  # input; the program's supervisor keeps one worker serving it.
  HANDLER='fastcgi.server = ( "/cgi-bin/hwendle.exe" => ((
  "socket" => "'"$RUN"'/sock/hwendle.sock", "bin-path" => "'"$RUN"'/www/cgi-bin/hwendle.exe",
  "check-local" => "disable", "max-procs" => 2,
  "bin-environment" => ( "QZCFG" => "'"$RUN"'/www/cgi-bin" ) )) )'
  MODULES='"mod_fastcgi"'
else
  HANDLER='$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = (".exe" => "")
}'
  MODULES='"mod_cgi"'
fi
cat > "$RUN/lighttpd.conf" <<CONF
server.modules = ($MODULES)
server.bind = "$HOST"
server.port = $PORT
server.document-root = "$RUN/www"
server.errorlog = "$RUN/log/error.log"
$USER_LINES
mimetype.assign = (".html" => "text/html")
$HANDLER
CONF
lighttpd -tt -f "$RUN/lighttpd.conf" >/dev/null

echo "hwendle.exe is served ($MODE) at:"
echo "  http://$HOST:$PORT/cgi-bin/hwendle.exe?5,6,7,abc"
echo "(the database is $RUN/data/valdrun.db; Ctrl-C stops the server)"
lighttpd -D -f "$RUN/lighttpd.conf"
