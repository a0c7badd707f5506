#!/usr/bin/env bash
# hwendle.exe as a FastCGI application with its data store on a real
# PostgreSQL server through ODBC: the login is made once per process and the
# connection kept from one request to the next; after PostgreSQL restarts
# between two requests, the next request connects again and is answered.
set -u
. "$(dirname "$0")/driver_lib.bash"
. "$(dirname "$0")/fastcgi_lib.bash"
PGBIN=/usr/lib/postgresql/15/bin
DRIVER=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so
[ -x "$PGBIN/initdb" ] && [ -f "$DRIVER" ] || { echo "postgresql 15 or odbc-postgresql is not installed"; exit 1; }

RUN=$(mktemp -d /tmp/qz_fastcgi_pg.XXXXXX)
PGDATA="$RUN/pgdata"
as_pg() { if [ "$(id -u)" = 0 ]; then su postgres -s /bin/sh -c "$1"; else sh -c "$1"; fi; }
stop_pg() { [ -f "$PGDATA/postmaster.pid" ] && as_pg "$PGBIN/pg_ctl -D '$PGDATA' -m fast -w stop" >/dev/null 2>&1; }
trap 'fcgi_stop "$RUN/app" hwendle.exe; stop_pg; rm -rf "$RUN"' EXIT
mkdir -p "$PGDATA" "$RUN/sock"
chmod 700 "$PGDATA"
[ "$(id -u)" = 0 ] && chown -R postgres:postgres "$PGDATA" "$RUN/sock" && chmod 755 "$RUN"
PORT=$(free_port)
PGOPTS="-c listen_addresses=127.0.0.1 -c port=$PORT -c unix_socket_directories=$RUN/sock -c log_connections=on"
as_pg "$PGBIN/initdb -D '$PGDATA' -U postgres -E UTF8 --locale=C.UTF-8 --auth-local=peer --auth-host=scram-sha-256" >/dev/null || exit 1
as_pg "$PGBIN/pg_ctl -D '$PGDATA' -w -l '$PGDATA/server.log' -o \"$PGOPTS\" start" >/dev/null || exit 1
as_pg "psql -h '$RUN/sock' -p $PORT -U postgres -q -c \"CREATE ROLE valdlocal LOGIN PASSWORD 'mervoslan'\" -c 'CREATE DATABASE valdrun OWNER valdlocal'" || exit 1

fcgi_folder "$RUN/app" "[DataStore.Default]\nBackend=odbc\n[FastCGI]\nProcesses=1\n"
printf '[PostgreSQL]\nDriver=%s\n' "$DRIVER" > "$RUN/app/odbcinst.ini"
printf '[valdlocal]\nDriver=PostgreSQL\nServername=127.0.0.1\nPort=%s\n' "$PORT" > "$RUN/app/odbc.ini"
export ODBCSYSINI="$RUN/app" ODBCINI="$RUN/app/odbc.ini"
fcgi_start "$RUN/app" hwendle.exe || exit 1
: > "$RUN/empty"
logins() { grep -c 'connection authorized: user=valdlocal database=valdrun' "$PGDATA/server.log"; }
answer() { as_fcgi "$RUN/app" hwendle.exe "$RUN/empty" REQUEST_METHOD=GET "QUERY_STRING=$1"; }
expected() { printf 'Location: https://www.example.com/main/Hwendle.aspx?%s\n\n' "$1"; }

for q in 5,6,7,abc 1,2,3,x 9,8,7,y; do
  check "postgres: request $q is answered" "$(expected "$q")" "$(answer "$q")"
done
check "postgres: one login for three requests" 1 "$(logins)"
cgi=$(cd "$RUN/app" && env -i ODBCSYSINI="$ODBCSYSINI" ODBCINI="$ODBCINI" REQUEST_METHOD=GET QUERY_STRING=5,6,7,abc ./hwendle.exe)
check "postgres: the CGI run answers the same" "$(expected 5,6,7,abc)" "$cgi"
check "postgres: the CGI run logs in itself" 2 "$(logins)"

# PostgreSQL restarts between two requests: the kept connection is gone.
as_pg "$PGBIN/pg_ctl -D '$PGDATA' -m fast -w -l '$PGDATA/server.log' -o \"$PGOPTS\" restart" >/dev/null || exit 1
check "postgres: after the restart the request is answered" "$(expected 4,5,6,z)" "$(answer 4,5,6,z)"
check "postgres: it connected once more" 3 "$(logins)"
check "postgres: and keeps that connection" "$(expected 7,7,7,w)" "$(answer 7,7,7,w)"
check "postgres: no further login" 3 "$(logins)"

[ "$FAILURES" = 0 ] && echo "all FastCGI postgres checks passed"
[ "$FAILURES" = 0 ]
