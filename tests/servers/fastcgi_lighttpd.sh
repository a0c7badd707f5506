#!/usr/bin/env bash
# The programs under lighttpd's mod_fastcgi (lighttpd starts them itself),
# compared with the same programs under mod_cgi on the same port: every
# answer (status, headers, body) and every trace line is the same, except the
# process ids. Then the driver's CGI checks through mod_fastcgi, and a soak:
# SOAK_REQUESTS (default 200,000; 20,000 in the sanitizer build) requests mixing GET, POST, cookies, requests
# that leave allocations behind and requests that end in the abort report;
# no wrong answer, no torn trace line, and the long-lived workers' resident
# memory grows less than 1 MiB once they have served their first requests.
set -u
. "$(dirname "$0")/driver_lib.bash"
. "$(dirname "$0")/fastcgi_lib.bash"

RUN=$(mktemp -d /tmp/qz_fastcgi_lighttpd.XXXXXX)
trap 'stop_lighttpd "$RUN"; rm -rf "$RUN"' EXIT
PORT=$(free_port)
PREFIX="http://127.0.0.1:$PORT/main/"
QZ_TRACE=1 make_site "$RUN" "$PREFIX"
cp "$QZ_BINARY_DIR/programs/fastcgi_request_echo" "$RUN/www/cgi-bin/echo.exe"
printf '[FastCGI]\nProcesses=1\n' >> "$RUN/www/cgi-bin/qzcfg.ini"
[ "$(id -u)" = 0 ] && chown -R www-data:www-data "$RUN/www"
BASE="http://127.0.0.1:$PORT"
TRACE=$RUN/log/trace.log

start_lighttpd "$RUN" "$PORT" || exit 1
compare_requests "$BASE" > "$RUN/answers.cgi"
stop_lighttpd "$RUN"
mv "$TRACE" "$RUN/trace.cgi"

start_lighttpd_fastcgi "$RUN" "$PORT" || { cat "$RUN/log/lighttpd-error.log"; exit 1; }
compare_requests "$BASE" > "$RUN/answers.fcgi"
# mod_cgi ends a CGI program with SIGTERM as soon as it has a response of
# the length its Content-Length said (cached mode), which may come before
# the program's own end: the signal report such a run may trace is not part
# of the comparison.
cgi_trace_lines() {
  trace_lines "$1" | grep -vxE 'Software termination signal from kill \(SIGTERM\)\.|Application aborted\.|Please check trace files for diagnostic information'
}
same_as_cgi "mod_fastcgi" "$RUN/answers.fcgi" cgi_trace_lines
check_cgi_answers "$BASE" "$PREFIX" lighttpd-fastcgi

# The soak. The trace is checked line by line afterwards. Without wrk it cannot
# run, and that is a failure.
if ! command -v wrk >/dev/null; then
  echo "FAIL soak: wrk is not installed (scripts/install-deps.sh installs it)"
  FAILURES=$((FAILURES + 1))
else
  : > "$TRACE"
  workers() { for p in $(pgrep -f "$RUN/www/cgi-bin/(hwendle|redirect_cookie).exe"); do
    [ "$(ps -o ppid= -p "$p" | tr -d ' ')" != 1 ] && pgrep -P "$p" >/dev/null || echo "$p"; done | sort; }
  rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null; }
  # Every worker serves its first requests before its memory is taken.
  wrk -t2 -c8 -d2s "$BASE/cgi-bin/hwendle.exe?5,6,7,abc" > /dev/null
  wrk -t2 -c8 -d1s "$BASE/cgi-bin/redirect_cookie.exe" > /dev/null
  declare -A before
  for p in $(workers); do before[$p]=$(rss "$p"); done
  # The sanitizer build's programs are several times slower: a tenth of the soak there.
  # Its memory is not the program's either (AddressSanitizer keeps freed
  # blocks in quarantine), so the growth is shown there but not checked.
  DEFAULT_REQUESTS=200000 SANITIZED=0
  grep -q '^QZ_SANITIZE:BOOL=ON' "$QZ_BINARY_DIR/CMakeCache.txt" 2>/dev/null && DEFAULT_REQUESTS=20000 SANITIZED=1
  REQUESTS=${SOAK_REQUESTS:-$DEFAULT_REQUESTS}
  # One request in 2,000 aborts (more often in a short run, so that some do).
  ABORT_EVERY=$((REQUESTS / 100 < 2000 ? REQUESTS / 100 + 1 : 2000))
  SOAK_PREFIX=$PREFIX SOAK_REQUESTS=$REQUESTS SOAK_THREADS=2 SOAK_DONE=$RUN/soak.done SOAK_ABORT_EVERY=$ABORT_EVERY \
    wrk -t2 -c8 -d900s -s "$QZ_SOURCE_DIR/tests/servers/fastcgi_soak.lua" "$BASE" > "$RUN/soak.out" 2>&1 &
  soak=$!
  # wrk waits for its whole duration: once both threads are done it is told to stop.
  while kill -0 "$soak" 2>/dev/null && ! { [ -e "$RUN/soak.done.0" ] && [ -e "$RUN/soak.done.1" ]; }; do sleep 0.5; done
  kill -INT "$soak" 2>/dev/null
  wait "$soak"
  out=$(cat "$RUN/soak.out")
  echo "$out" | sed 's/^/     /'
  served=$(sed -n 's/^wrk: \([0-9]*\) requests.*/\1/p' <<<"$out")
  [ "${served:-0}" -ge $((REQUESTS * 99 / 100)) ]
  check "soak: $REQUESTS requests served" 0 "$?"
  check "soak: no wrong response" "wrong responses: 0" "$(grep '^wrong responses' <<<"$out")"
  check "soak: no socket or status error" 0 "$(sed -n 's/^wrk: [0-9]* requests, \([0-9]*\) errors$/\1/p' <<<"$out")"
  [ "$(sed -n 's/^aborting requests: //p' <<<"$out")" -gt 0 ]
  check "soak: aborting requests were among them" 0 "$?"
  grown=0 measured=0
  for p in "${!before[@]}"; do
    now=$(rss "$p")
    [ -n "$now" ] || continue
    measured=$((measured + 1))
    echo "     worker $p: VmRSS ${before[$p]} kB -> $now kB"
    [ $((now - before[$p])) -lt 1024 ] || grown=$((grown + 1))
  done
  [ "$measured" -ge 2 ]
  check "soak: long-lived workers measured" 0 "$?"
  [ "$SANITIZED" = 1 ] || check "soak: no worker grew by 1 MiB or more" 0 "$grown"
  # The abort report's first piece holds line feeds of its own: its trace
  # message goes over three lines, the last two without a process id.
  whole='^(=========== .*|[0-9]{11} (Program parameter: .*|Cookie: [ab]=(1|x y)|Redirecting with COOKIES to:landing\.html|Redirecting to:http://127\.0\.0\.1:[0-9]+/main/Hwendle\.aspx\?[-0-9a-zA-Z+%,]*|(\\n\\n)?(<BR>)?(---- Runtime program error report\.<BR>)?|The page asked for the abort\.|<BR><BR>|Program .{2}echo.{2} aborted at line 7\. Exit code: -1\.|<BR>---- End error report\.)|<BR>---- Runtime program error report\.<BR>|)$'
  bad=$(grep -cvE "$whole" "$TRACE")
  check "soak: every trace line whole" 0 "$bad"
  [ "$bad" = 0 ] || grep -vnE "$whole" "$TRACE" | head -5
fi

[ "$FAILURES" = 0 ] && echo "all lighttpd mod_fastcgi checks passed"
[ "$FAILURES" = 0 ]
