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

# A fresh machine gets its packages first (as root; idempotent, quick when all are there):
# the build's and lighttpd's only, none of the tests'.
if [ "$(id -u)" = 0 ]; then
  bash "$ROOT/scripts/install-deps.sh" --serve
fi
command -v lighttpd >/dev/null || { echo "lighttpd is not installed (run scripts/install-deps.sh as root)" >&2; exit 1; }
if [ ! -f "$BUILD/build.ninja" ] && [ ! -f "$BUILD/Makefile" ]; then
  # Without the tests: their libraries are not installed here (scripts/test.sh turns them on).
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_TESTS=OFF
fi
cmake --build "$BUILD" --target hwendle

RUN=$(mktemp -d /tmp/hwendle-serve.XXXXXX)
cleanup() { rm -rf "$RUN"; }
trap cleanup EXIT
mkdir -p "$RUN/www/cgi-bin" "$RUN/data" "$RUN/log" "$RUN/sock"
# A copy, so that the server's user needs no access to the build folder.
cp "$BUILD/hwendle.exe" "$RUN/www/cgi-bin/hwendle.exe"
cat > "$RUN/www/index.html" <<HTML
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>hwendle.exe</title></head>
<body>
<h1>hwendle.exe on this machine ($MODE)</h1>
<p>The example request: <a href="/cgi-bin/hwendle.exe?5,6,7,abc">/cgi-bin/hwendle.exe?5,6,7,abc</a></p>
<p>For each request the program reads its parameters, connects its database and runs its page,
which answers with a redirect to the page's counterpart on the public site
(https://www.example.com/main/Hwendle.aspx?5,6,7,abc): the browser leaves this server.
<code>curl -i http://$HOST:$PORT/cgi-bin/hwendle.exe?5,6,7,abc</code> shows the answer itself.</p>
<ul>
<li>trace: $RUN/log/hwendle.trace</li>
<li>database (SQLite): $RUN/data/valdrun.db</li>
<li>configuration: $RUN/www/cgi-bin/qzcfg.ini</li>
<li>server log: $RUN/log/error.log</li>
</ul>
<p>The run folder $RUN is removed when the server stops.</p>
</body></html>
HTML
# The CGI program runs in its own folder and finds its configuration there.
cat > "$RUN/www/cgi-bin/qzcfg.ini" <<INI
[Trace]
Trace=1
TraceLevel=1
TraceFile=$RUN/log/hwendle.trace
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
  MODULES='"mod_indexfile", "mod_access", "mod_fastcgi"'
else
  HANDLER='$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = (".exe" => "")
}'
  MODULES='"mod_indexfile", "mod_access", "mod_cgi"'
fi
cat > "$RUN/lighttpd.conf" <<CONF
server.modules = ($MODULES)
server.bind = "$HOST"
server.port = $PORT
server.document-root = "$RUN/www"
server.errorlog = "$RUN/log/error.log"
$USER_LINES
# Without an index file "/" would be refused (403): lighttpd lists no folders here.
index-file.names = ( "index.html" )
mimetype.assign = (".html" => "text/html; charset=utf-8")
# The configuration lies next to the program, inside the document root.
url.access-deny = ( ".ini" )
$HANDLER
CONF
lighttpd -tt -f "$RUN/lighttpd.conf" >/dev/null

echo "hwendle.exe is served ($MODE) at:"
echo "  http://$HOST:$PORT/                         (what it does, where its files are)"
echo "  http://$HOST:$PORT/cgi-bin/hwendle.exe?5,6,7,abc"
echo "(the database is $RUN/data/valdrun.db, the trace $RUN/log/hwendle.trace; Ctrl-C stops the server)"
lighttpd -D -f "$RUN/lighttpd.conf"
