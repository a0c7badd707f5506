#!/usr/bin/env bash
# hwendle.exe with its data store on a real PostgreSQL server through ODBC
# (unixODBC + psqlODBC): the connect and the disconnect of the page's login
# show in the server's log, and a refused login ends the run with the fatal
# report, byte for byte.
set -u
. "$(dirname "$0")/driver_lib.bash"
PGBIN=/usr/lib/postgresql/15/bin
DRIVER=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so
[ -x "$PGBIN/initdb" ] && [ -f "$DRIVER" ] || { echo "postgresql 15 or odbc-postgresql is not installed"; exit 1; }

RUN=$(mktemp -d /tmp/qz_driver_pg.XXXXXX)
PGDATA="$RUN/pgdata"
as_pg() { if [ "$(id -u)" = 0 ]; then su postgres -s /bin/sh -c "$1"; else sh -c "$1"; fi; }
stop_pg() { [ -f "$PGDATA/postmaster.pid" ] && as_pg "$PGBIN/pg_ctl -D '$PGDATA' -m fast -w stop" >/dev/null 2>&1; }
trap 'stop_pg; rm -rf "$RUN"' EXIT
mkdir -p "$PGDATA" "$RUN/sock" "$RUN/cgi"
chmod 700 "$PGDATA"
[ "$(id -u)" = 0 ] && chown -R postgres:postgres "$PGDATA" "$RUN/sock" && chmod 755 "$RUN"
PORT=$(free_port)
as_pg "$PGBIN/initdb -D '$PGDATA' -U postgres -E UTF8 --locale=C.UTF-8 --auth-local=peer --auth-host=scram-sha-256" >/dev/null || exit 1
as_pg "$PGBIN/pg_ctl -D '$PGDATA' -w -l '$PGDATA/server.log' -o \"-c listen_addresses=127.0.0.1 -c port=$PORT -c unix_socket_directories=$RUN/sock -c log_connections=on -c log_disconnections=on\" start" >/dev/null || exit 1
as_pg "psql -h '$RUN/sock' -p $PORT -U postgres -q -c \"CREATE ROLE valdlocal LOGIN PASSWORD 'mervoslan'\" -c 'CREATE DATABASE valdrun OWNER valdlocal'" || exit 1

# The ODBC configuration of the test, and the data store's section.
cat > "$RUN/cgi/odbcinst.ini" <<INI
[PostgreSQL]
Driver=$DRIVER
INI
cat > "$RUN/cgi/odbc.ini" <<INI
[valdlocal]
Driver=PostgreSQL
Servername=127.0.0.1
Port=$PORT
INI
printf '[DataStore.Default]\nBackend=odbc\n' > "$RUN/cgi/qzcfg.ini"
cp "$QZ_BINARY_DIR/hwendle.exe" "$RUN/cgi/"
run_cgi() {
  (cd "$RUN/cgi" && env -i GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET QUERY_STRING=5,6,7,abc \
    ODBCSYSINI="$RUN/cgi" ODBCINI="$RUN/cgi/odbc.ini" ./hwendle.exe < /dev/null; echo "|$?")
}

out=$(run_cgi)
check "postgres: the page connects and redirects" \
  "$(printf 'Location: https://www.example.com/main/Hwendle.aspx?5,6,7,abc\n\n|0')" "$out"
sleep 0.5  # the disconnection line is written when the backend ends
log=$(cat "$PGDATA/server.log")
grep -q 'connection authorized: user=valdlocal database=valdrun' <<<"$log"
check "postgres: login as valdlocal to valdrun" 0 "$?"
grep -q 'disconnection: session time: .* user=valdlocal database=valdrun' <<<"$log"
check "postgres: the page disconnected" 0 "$?"

# A refused login: the connection never comes up, so its DBMS cannot be
# told and the check ends the run with that report.
as_pg "psql -h '$RUN/sock' -p $PORT -U postgres -q -c \"ALTER ROLE valdlocal PASSWORD 'changed'\"" || exit 1
out=$(run_cgi)
check "postgres: refused login ends with the fatal report" \
  "$(printf '\n\n<BR>---- Runtime program error report.<BR>Last Error: connection to server at "127.0.0.1", port %s failed: FATAL:  password authentication failed for user "valdlocal"\n<BR> Fatal Error: DBMS for connection 1 is unknown <BR>.<BR><BR>Program '"''"'hwendle'"''"' aborted at line 176. Exit code: -1.<BR>---- End error report.|255' "$PORT")" \
  "$out"

[ "$FAILURES" = 0 ] && echo "all postgres checks passed"
[ "$FAILURES" = 0 ]
