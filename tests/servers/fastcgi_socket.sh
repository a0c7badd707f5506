#!/usr/bin/env bash
# The programs started as FastCGI applications on a local socket, without a
# web server: every request is answered byte for byte as the same program
# answers it under CGI (requests that differ in every field, alternating;
# one that leaves allocations behind; cookies, cached output, XML, the
# abort report, a crash), the trace lines are the CGI run's, the process
# keeps serving after hostile requests, and a CGI run maps no libfcgi.
set -u
. "$(dirname "$0")/driver_lib.bash"
. "$(dirname "$0")/fastcgi_lib.bash"

RUN=$(mktemp -d /tmp/qz_fastcgi_socket.XXXXXX)
CGI_DIR=$RUN/cgi FCGI_DIR=$RUN/fcgi
trap 'fcgi_stop "$FCGI_DIR" fastcgi_request_echo; fcgi_stop "$FCGI_DIR" hwendle.exe; rm -rf "$RUN"' EXIT
for mode in cgi fcgi; do
  fcgi_folder "$RUN/$mode" "[DataStore.Default]\nDatabase=$RUN/valdrun.db\n[Trace]\nTrace=1\nTraceLevel=5\nTraceFile=$RUN/$mode/trace.log\n[FastCGI]\nProcesses=1\n"
done
fcgi_start "$FCGI_DIR" fastcgi_request_echo || exit 1
fcgi_start "$FCGI_DIR" hwendle.exe || exit 1
: > "$RUN/empty"

# Two requests that differ in every field the request reads.
printf 'Name=J%%F6rg+Smith&name=X&sCallerURL=http%%3A%%2F%%2Fcaller%%2F&v=%%0D%%0Aline' > "$RUN/body_a"
head -c 3000 /dev/urandom | base64 -w0 | sed 's/^/blob=/' > "$RUN/body_b"
A=(GATEWAY_INTERFACE=CGI/1.1 SERVER_SOFTWARE=lighttpd/1.4 SERVER_NAME=srv-a SERVER_PROTOCOL=HTTP/1.1
   REQUEST_METHOD=POST PATH_INFO=/extra/a SCRIPT_NAME=/cgi-bin/echo.exe "QUERY_STRING=dump,12,abc%20def"
   REMOTE_HOST=host-a REMOTE_ADDR=10.0.0.1 HTTP_X_UP_SUBNO=111 CONTENT_TYPE=application/x-www-form-urlencoded
   HTTP_REFERER=http://ref-a/ HTTP_ACCEPT=text/vnd.wap.wml "HTTP_USER_AGENT=Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)"
   SERVER_PORT=81 HTTPS=on "HTTP_COOKIE=a=1; b=x%20y" CONTENT_LENGTH=$(stat -c %s "$RUN/body_a"))
B=(GATEWAY_INTERFACE=CGI/1.0 SERVER_SOFTWARE=nginx SERVER_NAME=srv-b SERVER_PROTOCOL=HTTP/1.0
   REQUEST_METHOD=post SCRIPT_NAME=/b/echo "QUERY_STRING=dump,-2.7,+x"
   REMOTE_ADDR=::1 CONTENT_TYPE=text/plain HTTP_ACCEPT=text/html "HTTP_USER_AGENT=Opera/9.80 (X11)"
   SERVER_PORT_SECURE=0 "HTTP_COOKIE=sid=s2;qzvisit=1+1==2" CONTENT_LENGTH=$(stat -c %s "$RUN/body_b"))
C=(REQUEST_METHOD=GET QUERY_STRING=dump)
for round in 1 2 3; do
  same_answer "round $round: request A" fastcgi_request_echo "$RUN/body_a" "${A[@]}"
  same_answer "round $round: request B" fastcgi_request_echo "$RUN/body_b" "${B[@]}"
  same_answer "round $round: a request with almost nothing" fastcgi_request_echo "$RUN/empty" "${C[@]}"
  same_answer "round $round: one that leaves allocations behind" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=leak,1
  same_answer "round $round: after it the pool starts empty" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=dump,2
done
same_answer "cookie redirect page" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=cookie SERVER_NAME=srv SERVER_PORT=81 SCRIPT_NAME=/cgi-bin/echo.exe
same_answer "cached output with Content-Length" fastcgi_request_echo "$RUN/body_a" "${A[@]/QUERY_STRING=dump,12,abc%20def/QUERY_STRING=cached}"
same_answer "XML response through the writer" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=xml,q
same_answer "status and added headers" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=status
for q in 5,6,7,abc "-2.7,1e99,x,a%20b%2Cc" "" 1,2,3; do
  same_answer "hwendle.exe GET '$q'" hwendle.exe "$RUN/empty" GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET "QUERY_STRING=$q" SCRIPT_NAME=/cgi-bin/hwendle.exe
done
same_answer "hwendle.exe POST" hwendle.exe "$RUN/body_a" "${A[@]/QUERY_STRING=dump,12,abc%20def/QUERY_STRING=5,6,7,abc}"

# The CGI hostile set: a body far shorter than its length, twenty thousand
# variables, a megabyte of query string and cookies, a binary body.
printf 'a=1&b=2' > "$RUN/short"
same_answer "claimed length far above what arrives" fastcgi_request_echo "$RUN/short" REQUEST_METHOD=POST QUERY_STRING=dump CONTENT_LENGTH=100000000
seq 20000 | sed 's/^/v/; s/$/=1/' | paste -sd'&' > "$RUN/many"
same_answer "twenty thousand variables" fastcgi_request_echo "$RUN/many" REQUEST_METHOD=POST QUERY_STRING=dump CONTENT_LENGTH=$(stat -c %s "$RUN/many")
# (an environment variable holds at most 128 KiB: 120 KB each is what CGI can get)
big=$(head -c 120000 /dev/zero | tr '\0' 'q')
same_answer "a long query string and cookie header" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET "QUERY_STRING=dump,$big" "HTTP_COOKIE=a=$big"
head -c 4096 /dev/urandom > "$RUN/binary"
same_answer "binary body" fastcgi_request_echo "$RUN/binary" REQUEST_METHOD=PUT QUERY_STRING=dump CONTENT_LENGTH=4096

# The trace of the FastCGI process holds the CGI runs' lines, in the same order.
if diff <(trace_lines "$CGI_DIR/trace.log") <(trace_lines "$FCGI_DIR/trace.log") > "$RUN/trace.diff"; then
  echo "ok   trace lines as under CGI"
else
  echo "FAIL trace lines as under CGI"; head -10 "$RUN/trace.diff"; FAILURES=$((FAILURES + 1))
fi
check "one trace header for each FastCGI process" 2 "$(grep -c '^=========== Trace start' "$FCGI_DIR/trace.log")"

# For Apache's mod_proxy_fcgi only: a redirect states its 302, and the
# headers end with CR LF after the CR LF of the Content-type line.
out=$(as_fcgi "$FCGI_DIR" hwendle.exe "$RUN/empty" SERVER_SOFTWARE=Apache/2.4.71 REQUEST_METHOD=GET QUERY_STRING=5,6,7,abc | od -An -c | tr -s ' \n' ' ')
check "Apache: the redirect states its status" "$(printf 'Status: 302 Found\nLocation: https://www.example.com/main/Hwendle.aspx?5,6,7,abc\n\n' | od -An -c | tr -s ' \n' ' ')" "$out"
starts_with() {  # NAME EXPECTED QUERY: the echo program's answer to an Apache request begins so
  local n
  n=$(printf '%b' "$2" | wc -c)
  check "$1" "$(printf '%b' "$2" | od -An -c)" "$(as_fcgi "$FCGI_DIR" fastcgi_request_echo "$RUN/empty" \
    SERVER_SOFTWARE=Apache/2.4.71 REQUEST_METHOD=GET "QUERY_STRING=$3" | head -c "$n" | od -An -c)"
}
starts_with "Apache: the headers end with CR LF CR LF" 'Status: 200 OK\nContent-type: text/xml\r\n\r\n<?xml' xml
starts_with "Apache: a blank LF after an LF line stays" 'Status: 200 OK\nContent-type: text/html\r\nSet-Cookie: seen=dump;\n\npool' dump


# The abort report and a crash: the answer as under CGI (the CGI run ends
# with exit code 255), then a new worker serves the next request.
workers=$(fcgi_workers "$FCGI_DIR" fastcgi_request_echo)
same_answer "abort report" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=abort
as_cgi "$CGI_DIR" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=abort > /dev/null
check "abort: the CGI exit code" 255 "$?"
sleep 0.3
[ "$workers" != "$(fcgi_workers "$FCGI_DIR" fastcgi_request_echo)" ]
check "abort: the worker ended and a new one serves" 0 "$?"
same_answer "after the abort" fastcgi_request_echo "$RUN/body_a" "${A[@]}"
same_answer "crash (SIGSEGV)" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=crash
same_answer "after the crash" fastcgi_request_echo "$RUN/body_b" "${B[@]}"

# Hostile FastCGI: oversize parameters and records, a client that closes in
# the middle of the body. Each ends that request only.
SOCK=$FCGI_DIR/fastcgi_request_echo.sock
check "a 2 GiB parameter name is refused" closed "$(python3 "$FCGI_CLIENT" "$SOCK" oversize-params)"
check "a record longer than what is sent is refused" closed "$(python3 "$FCGI_CLIENT" "$SOCK" oversize-record)"
# libfcgi ends the worker on a name and value whose lengths add up past
# 2 GiB (its allocation assertion): the supervisor starts another at once
# and says so.
check "lengths that add up past 2 GiB are refused" closed "$(python3 "$FCGI_CLIENT" "$SOCK" huge-lengths)"
sleep 0.3
grep -q 'worker [0-9]* ended by signal 6; a new one starts' "$FCGI_DIR/stderr.log"
check "the supervisor reports the worker that libfcgi ended" 0 "$?"
python3 "$FCGI_CLIENT" "$SOCK" close-mid-body REQUEST_METHOD=POST QUERY_STRING=dump CONTENT_LENGTH=5000 > /dev/null
same_answer "serving after the hostile requests" fastcgi_request_echo "$RUN/body_a" "${A[@]}"
out=$(python3 "$FCGI_CLIENT" "$SOCK" request REQUEST_METHOD=GET QUERY_STRING=dump,raw < /dev/null | head -3 | tr -d '\r')
check "our own client gets the answer" "$(printf 'Status: 200 OK\nContent-type: text/html\nSet-Cookie: seen=dump;')" "$out"

# A CGI run maps nothing for the FastCGI mode; a FastCGI worker maps libfcgi.
loaded=$(cd "$CGI_DIR" && env -i LD_DEBUG=files REQUEST_METHOD=GET QUERY_STRING=5,6,7,abc ./hwendle.exe 2>&1 >/dev/null | grep -c 'file=libfcgi')
check "CGI run: libfcgi is not loaded" 0 "$loaded"
worker=$(fcgi_workers "$FCGI_DIR" hwendle.exe)
check "FastCGI worker: libfcgi is mapped" yes "$(grep -q libfcgi "/proc/${worker// /}/maps" && echo yes)"

# [FastCGI] MaxRequests: a worker ends after that many requests.
fcgi_stop "$FCGI_DIR" hwendle.exe
printf '[FastCGI]\nMaxRequests=3\n' > "$FCGI_DIR/qzcfg.ini"
fcgi_start "$FCGI_DIR" hwendle.exe || exit 1
first=$(fcgi_workers "$FCGI_DIR" hwendle.exe)
for _ in 1 2 3; do as_fcgi "$FCGI_DIR" hwendle.exe "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=1,2,3,x > /dev/null; done
sleep 0.3
second=$(fcgi_workers "$FCGI_DIR" hwendle.exe)
[ -n "$second" ] && [ "$first" != "$second" ]
check "MaxRequests=3: a new worker after three requests" 0 "$?"

# SIGTERM ends a worker after the request in flight; without a supervisor
# (Processes=0) the process itself ends with exit code 0.
fcgi_stop "$FCGI_DIR" fastcgi_request_echo
printf '[FastCGI]\nProcesses=0\n' > "$FCGI_DIR/qzcfg.ini"
fcgi_start "$FCGI_DIR" fastcgi_request_echo || exit 1
pid=$(cat "$FCGI_DIR/fastcgi_request_echo.pid")
as_fcgi "$FCGI_DIR" fastcgi_request_echo "$RUN/empty" REQUEST_METHOD=GET QUERY_STRING=sleep > "$RUN/inflight" &
client=$!
sleep 0.4
kill -TERM "$pid"
wait "$client"
check "SIGTERM: the request in flight is answered" "pool blocks at start=0" "$(grep '^pool blocks' "$RUN/inflight")"
wait "$pid"
check "SIGTERM: then the process ends with exit code 0" 0 "$?"

[ "$FAILURES" = 0 ] && echo "all FastCGI socket checks passed"
[ "$FAILURES" = 0 ]
