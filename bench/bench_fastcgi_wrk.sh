#!/usr/bin/env bash
# The persistent mode's figures, under one lighttpd with wrk (-t2 -c8, DURATION
# each, default 10s), project and peer alternating, RUNS pairs (default 5);
# cost per request = 1 / requests per second:
#   1. hwendle.exe under mod_fastcgi against hwendle.exe under mod_cgi (SQLite
#      default): goal at least 20x the requests/s, a cost ratio of at most 0.05;
#   2. hwendle.exe under mod_fastcgi against the minimal C libfcgi program
#      answering the same redirect (2 processes each): goal at least 0.8x,
#      a cost ratio of at most 1.25;
#   3. the minimal C libfcgi program under mod_fastcgi against hwendle.exe
#      under mod_cgi, no goal: the ceiling any FastCGI program reaches over
#      mod_cgi on this machine, beside line 1;
#   4. with ODBC against a PostgreSQL server on loopback: mod_fastcgi against
#      mod_cgi, goal at least 20x (skipped when PostgreSQL is not installed).
# Every response of every run must be the exact redirect.
#   bash bench/run.sh fastcgi      (or bench/bench_fastcgi_wrk.sh [BUILD_DIR])
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export QZ_SOURCE_DIR=$ROOT QZ_BINARY_DIR=${1:-${QZ_BUILD_DIR:-$ROOT/build/release}}
[ -x "$QZ_BINARY_DIR/hwendle.exe" ] || cmake --build "$QZ_BINARY_DIR" --target hwendle driver_redirect_cookie driver_page_form
. "$ROOT/tests/servers/driver_lib.bash"
. "$ROOT/bench/abab.bash"
set +u
DURATION=${DURATION:-10s}
RUNS=${RUNS:-5}
RUN=$(mktemp -d /tmp/qz_bench_fastcgi.XXXXXX)
PGBIN=/usr/lib/postgresql/15/bin
PGDATA=$RUN/pgdata
as_pg() { if [ "$(id -u)" = 0 ]; then su postgres -s /bin/sh -c "$1"; else sh -c "$1"; fi; }
cleanup() {
  stop_lighttpd "$RUN"
  [ -f "$PGDATA/postmaster.pid" ] && as_pg "$PGBIN/pg_ctl -D '$PGDATA' -m fast -w stop" >/dev/null 2>&1
  rm -rf "$RUN"
}
trap cleanup EXIT
PORT=$(free_port)
make_site "$RUN"
CGI=$RUN/www/cgi-bin
cc -O2 -o "$CGI/minimal.exe" "$ROOT/bench/fastcgi_minimal_redirect.c" -lfcgi

# The ODBC site: the same program with the PostgreSQL data store.
WITH_PG=0
if [ -x "$PGBIN/initdb" ] && [ -f /usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so ]; then
  WITH_PG=1
  mkdir -p "$PGDATA" "$RUN/pgsock" "$RUN/www/pg"
  chmod 700 "$PGDATA"
  [ "$(id -u)" = 0 ] && chown -R postgres:postgres "$PGDATA" "$RUN/pgsock" && chmod 755 "$RUN"
  PGPORT=$(free_port)
  as_pg "$PGBIN/initdb -D '$PGDATA' -U postgres -E UTF8 --locale=C.UTF-8 --auth-local=peer --auth-host=scram-sha-256" >/dev/null
  as_pg "$PGBIN/pg_ctl -D '$PGDATA' -w -l '$PGDATA/server.log' -o \"-c listen_addresses=127.0.0.1 -c port=$PGPORT -c unix_socket_directories=$RUN/pgsock -c max_connections=200\" start" >/dev/null
  as_pg "psql -h '$RUN/pgsock' -p $PGPORT -U postgres -q -c \"CREATE ROLE valdlocal LOGIN PASSWORD 'mervoslan'\" -c 'CREATE DATABASE valdrun OWNER valdlocal'"
  cp "$CGI/hwendle.exe" "$RUN/www/pg/hwendle.exe"
  printf '[DataStore.Default]\nBackend=odbc\n' > "$RUN/www/pg/qzcfg.ini"
  printf '[PostgreSQL]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so\n' > "$RUN/www/pg/odbcinst.ini"
  printf '[valdlocal]\nDriver=PostgreSQL\nServername=127.0.0.1\nPort=%s\n' "$PGPORT" > "$RUN/www/pg/odbc.ini"
fi
[ "$(id -u)" = 0 ] && chown -R www-data:www-data "$RUN/www" "$RUN/data"
mkdir -p "$RUN/sock"
[ "$(id -u)" = 0 ] && chown www-data:www-data "$RUN/sock"

users=""
[ "$(id -u)" = 0 ] && users='server.username = "www-data"
server.groupname = "www-data"'
app() {  # URL program [environment]
  echo "  \"$1\" => (( \"socket\" => \"$RUN/sock/$(basename "$1").sock\", \"bin-path\" => \"$2\",
    \"check-local\" => \"disable\", \"max-procs\" => 2, \"bin-environment\" => ( \"QZCFG\" => \"$(dirname "$2")\" $3 ) )),"
}
ODBCENV="\"ODBCSYSINI\" => \"$RUN/www/pg\", \"ODBCINI\" => \"$RUN/www/pg/odbc.ini\""
cat > "$RUN/lighttpd.conf" <<CONF
server.modules = ("mod_setenv", "mod_cgi", "mod_fastcgi")
server.bind = "127.0.0.1"
server.port = $PORT
server.document-root = "$RUN/www"
server.errorlog = "$RUN/log/lighttpd-error.log"
server.pid-file = "$RUN/lighttpd.pid"
server.max-connections = 64
$users
mimetype.assign = (".html" => "text/html")
\$HTTP["url"] =~ "^/(cgi-bin|pg)/" {
  cgi.assign = (".exe" => "")
  setenv.add-environment = ( $ODBCENV )
}
fastcgi.server = (
$(app /fcgi/hwendle "$CGI/hwendle.exe")
$(app /fcgi/minimal "$CGI/minimal.exe")
$( [ $WITH_PG = 1 ] && app /fcgi/pg "$RUN/www/pg/hwendle.exe" ", $ODBCENV")
)
CONF
[ "$(id -u)" = 0 ] && chown www-data:www-data "$RUN/lighttpd.conf"
touch "$RUN/lighttpd.pid" && [ "$(id -u)" = 0 ] && chown www-data "$RUN/lighttpd.pid"
lighttpd -f "$RUN/lighttpd.conf"
wait_port "$PORT"
BASE="http://127.0.0.1:$PORT"
write_wrk_check "$RUN/check.lua" "https://www.example.com/main/Hwendle.aspx?5,6,7,abc"
for path in cgi-bin/hwendle.exe fcgi/hwendle fcgi/minimal; do curl -s -o /dev/null "$BASE/$path?5,6,7,abc"; done

# One wrk run of PROGRAM; appends its cost per request (µs) to array VAR.
measure() {  # VAR PATH
  abab_wrk_cost "$1" "$RUN/check.lua" "$BASE/$2?5,6,7,abc"
}

compare() {  # WHAT PEER GOAL OURS_PATH PEER_PATH
  local ours=() theirs=() i
  for i in $(seq "$RUNS"); do
    measure ours "$4"
    measure theirs "$5"
  done
  abab_report "$1" "$2" "$3" "${ours[*]}" "${theirs[*]}"
}

compare "hwendle.exe FastCGI, cost per request (SQLite)" "hwendle.exe under mod_cgi" 0.05 fcgi/hwendle cgi-bin/hwendle.exe
compare "hwendle.exe FastCGI, cost per request" "minimal C libfcgi redirect" 1.25 fcgi/hwendle fcgi/minimal
compare "minimal C libfcgi FastCGI, cost per request" "hwendle.exe under mod_cgi" 0 fcgi/minimal cgi-bin/hwendle.exe
if [ $WITH_PG = 1 ]; then
  for path in pg/hwendle.exe fcgi/pg; do curl -s -o /dev/null "$BASE/$path?5,6,7,abc"; done
  compare "hwendle.exe FastCGI, cost per request (ODBC, PostgreSQL)" "hwendle.exe CGI, ODBC, PostgreSQL" 0.05 fcgi/pg pg/hwendle.exe
fi
