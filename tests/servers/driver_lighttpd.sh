#!/usr/bin/env bash
# hwendle.exe under a real lighttpd (mod_cgi) on a free loopback port: the
# redirect, POST bodies, cookies, the exit codes of direct runs, and a short
# bounded load after which every response was the exact redirect and every
# trace line is whole.
set -u
. "$(dirname "$0")/driver_lib.bash"

RUN=$(mktemp -d /tmp/qz_driver_lighttpd.XXXXXX)
trap 'stop_lighttpd "$RUN"; rm -rf "$RUN"' EXIT
PORT=$(free_port)
PREFIX="http://127.0.0.1:$PORT/main/"
QZ_TRACE=1 make_site "$RUN" "$PREFIX"
start_lighttpd "$RUN" "$PORT" || exit 1
BASE="http://127.0.0.1:$PORT"

check_cgi_answers "$BASE" "$PREFIX" lighttpd

# A request with cookies traces each of them, then the redirect: its own lines
# are those the trace file gained during it.
before=$(wc -l < "$RUN/log/trace.log")
out=$(curl -s -b 'a=1; b=2' -o /dev/null -w '%{http_code}' "$BASE/cgi-bin/hwendle.exe?5,6,7,abc")
check "cookie request: status" 302 "$out"
out=$(tail -n +$((before + 1)) "$RUN/log/trace.log" | grep -v '^===========' | sed -E 's/^[0-9]{11} //')
check "cookie request: its Cookie: trace lines" \
  "$(printf 'Cookie: a=1\nCookie: b=2\nProgram parameter: 5\nProgram parameter: 6\nProgram parameter: 7\nProgram parameter: abc\nRedirecting to:%sHwendle.aspx?5,6,7,abc' "$PREFIX")" \
  "$out"

# The program's own output, byte for byte, and its exit codes.
CGI="$RUN/www/cgi-bin"
run_cgi() {  # query, in the CGI folder, as the server runs it
  (cd "$CGI" && env -i GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET QUERY_STRING="$1" \
    SCRIPT_NAME=/cgi-bin/hwendle.exe ./hwendle.exe < /dev/null)
}
out=$(run_cgi 5,6,7,abc | od -An -c | tr -s ' \n' ' ')
check "direct run: exact bytes" "$(printf 'Location: %sHwendle.aspx?5,6,7,abc\n\n' "$PREFIX" | od -An -c | tr -s ' \n' ' ')" "$out"
run_cgi 5,6,7,abc > /dev/null
check "direct run: exit code" 0 "$?"

# A database that cannot be opened: the fatal report, exit code -1 (255),
# and through the server the report as the body.
BROKEN="$RUN/www/broken"
mkdir -p "$BROKEN"
cp "$CGI/hwendle.exe" "$BROKEN/hwendle.exe"
printf '[DataStore.Default]\nDatabase=/nonexistent-dir/valdrun.db\n[Web]\nSitePrefix=%s\n' "$PREFIX" > "$BROKEN/qzcfg.ini"
[ "$(id -u)" = 0 ] && chown -R www-data:www-data "$BROKEN"
out=$(cd "$BROKEN" && env -i GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET QUERY_STRING=5,6,7,abc ./hwendle.exe < /dev/null; echo "|$?")
check "broken database: report and exit code" \
  "$(printf '\n\n<BR>---- Runtime program error report.<BR>DBMS error code 14. SqlState 08001<BR>[SQLite]unable to open database file (/nonexistent-dir/valdrun.db).<BR><BR>Program '"''"'hwendle'"''"' aborted at line 176. Exit code: -1.<BR>---- End error report.|255')" \
  "$out"

# Load: wrk for a few seconds; every response must be the exact redirect.
# Without wrk the load check cannot run, and that is a failure, not a pass.
if ! command -v wrk >/dev/null; then
  echo "FAIL load: wrk is not installed (scripts/install-deps.sh installs it)"
  FAILURES=$((FAILURES + 1))
else
  write_wrk_check "$RUN/check.lua" "${PREFIX}Hwendle.aspx?5,6,7,abc"
  out=$(wrk -t2 -c8 -d3s -s "$RUN/check.lua" "$BASE/cgi-bin/hwendle.exe?5,6,7,abc" 2>&1)
  echo "$out" | sed 's/^/     /'
  check "load: no wrong response" "wrong responses: 0" "$(echo "$out" | grep '^wrong responses')"
  check "load: no socket or status error" "0" "$(echo "$out" | sed -n 's/^wrk: [0-9]* requests, \([0-9]*\) errors$/\1/p')"
  # Every trace line is whole: a header line, or the process id, a blank and a complete message.
  whole='^(=========== .*|[0-9]{11} (Program parameter: .*|Cookie: [ab]=[12]|Redirecting with COOKIES to:landing\.html|Redirecting to:http://127\.0\.0\.1:[0-9]+/main/Hwendle\.aspx\?[-0-9a-zA-Z+%,]*))$'
  bad=$(grep -cvE "$whole" "$RUN/log/trace.log")
  check "load: every trace line whole" 0 "$bad"
  [ "$bad" = 0 ] || grep -vnE "$whole" "$RUN/log/trace.log" | head -5
  redirects=$(grep -cxE '[0-9]{11} Redirecting to:'"${PREFIX//./\\.}"'Hwendle\.aspx\?5,6,7,abc' "$RUN/log/trace.log")
  [ "$redirects" -gt 100 ] || { echo "FAIL too few traced redirects: $redirects"; FAILURES=$((FAILURES + 1)); }
fi

[ "$FAILURES" = 0 ] && echo "all lighttpd checks passed"
[ "$FAILURES" = 0 ]
