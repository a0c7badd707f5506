#!/usr/bin/env bash
# The HTTP client receiving a 50 MB random binary body from lighttpd on
# loopback, side by side with curl, alternating project and peer
# (bench/abab.bash):
#   - in memory: QZ_HTTP_ClientExecute alone (programs/httpclient_fetch -n, the
#     body kept in the client) against `curl -o /dev/null`, and against
#     libcurl keeping the body in memory as well (bench_httpclient_curl_peer.c,
#     the same work: /dev/null never makes curl touch 50 MB of fresh memory),
#     and against the floor of that work, a bare recv() loop into a growing
#     block (bench_httpclient_recv_peer.c);
#   - to a file: QZ_HTTP_ClientExecute and QZ_HTTP_ClientToFile against
#     `curl -o FILE`, both files then compared byte for byte.
# All are whole processes (start, connect, receive, exit), as a CGI program
# making the request would be.
#   bash bench/bench_httpclient.sh [runs]      (or bash bench/run.sh httpclient)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${QZ_BUILD_DIR:-${QZ_BINARY_DIR:-$ROOT/build/release}}
BIN="$BUILD/programs/httpclient_fetch"
[ -x "$BIN" ] || cmake --build "$BUILD" --target httpclient_fetch >/dev/null
RUNS=${1:-${RUNS:-9}}
[ "$RUNS" -ge 5 ] || RUNS=5
source "$ROOT/bench/abab.bash"

WORK=$(mktemp -d /tmp/qz-httpbench.XXXXXX)
chmod 755 "$WORK"
LPID=""
cleanup() { [ -n "$LPID" ] && kill "$LPID" 2>/dev/null || true; rm -rf "$WORK"; }
trap cleanup EXIT
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
mkdir -p "$WORK/root" "$WORK/logs"
# Random bytes, zero bytes included: what a binary download carries.
head -c 52428800 /dev/urandom > "$WORK/root/big.bin"
chown -R www-data:www-data "$WORK/logs" 2>/dev/null || true
chmod -R a+rX "$WORK"
cat > "$WORK/lighttpd.conf" <<CONF
server.bind = "127.0.0.1"
server.port = $PORT
server.document-root = "$WORK/root"
server.errorlog = "$WORK/logs/error.log"
server.pid-file = "$WORK/logs/lighttpd.pid"
server.username = "www-data"
server.groupname = "www-data"
mimetype.assign = ("" => "application/octet-stream")
CONF
lighttpd -f "$WORK/lighttpd.conf"
for _ in $(seq 50); do [ -s "$WORK/logs/lighttpd.pid" ] && break; sleep 0.1; done
LPID=$(cat "$WORK/logs/lighttpd.pid")
for _ in $(seq 50); do (echo > /dev/tcp/127.0.0.1/$PORT) 2>/dev/null && break; sleep 0.1; done
cc -O2 -o "$WORK/curl_peer" "$ROOT/bench/bench_httpclient_curl_peer.c" -lcurl
cc -O2 -o "$WORK/recv_peer" "$ROOT/bench/bench_httpclient_recv_peer.c"
cd "$WORK"
URL="http://127.0.0.1:$PORT/big.bin"

ours_memory() { "$BIN" -n 127.0.0.1 "$PORT" /big.bin > /dev/null; }
curl_null() { curl -s -o /dev/null "$URL"; }
curl_memory() { ./curl_peer "$URL" > /dev/null; }
recv_memory() { ./recv_peer "$PORT" /big.bin > /dev/null; }
ours_file() { "$BIN" -o ours.out 127.0.0.1 "$PORT" /big.bin > /dev/null; }
curl_file() { curl -s -o curl.out "$URL"; }

# One of each first: the file is in the page cache and both programs are loaded.
ours_memory; curl_null; curl_memory
[ "$(./curl_peer "$URL")" == 52428800 ] || { echo "the libcurl peer got a different body" >&2; exit 1; }
[ "$(./recv_peer "$PORT" /big.bin)" == 52428800 ] || { echo "the recv peer got a different body" >&2; exit 1; }
mem_ours=() mem_curl=() mem_ours2=() mem_libcurl=() mem_ours3=() mem_recv=() mem_floor=() file_ours=() file_curl=()
for _ in $(seq "$RUNS"); do
  abab_time mem_ours ours_memory
  abab_time mem_curl curl_null
  abab_time mem_floor recv_memory
done
for _ in $(seq "$RUNS"); do
  abab_time mem_ours2 ours_memory
  abab_time mem_libcurl curl_memory
done
for _ in $(seq "$RUNS"); do
  abab_time mem_ours3 ours_memory
  abab_time mem_recv recv_memory
done
for _ in $(seq "$RUNS"); do
  abab_time file_ours ours_file
  abab_time file_curl curl_file
done
cmp -s ours.out root/big.bin || { echo "the client's file differs from the body" >&2; exit 1; }
cmp -s curl.out root/big.bin || { echo "curl's file differs from the body" >&2; exit 1; }

abab_report "HTTP client 50 MB random body, in memory" "curl -o /dev/null" 1.25 "${mem_ours[*]}" "${mem_curl[*]}"
abab_report "HTTP client 50 MB random body, in memory" "libcurl, body in memory" 1.25 "${mem_ours2[*]}" "${mem_libcurl[*]}"
abab_report "HTTP client 50 MB random body, in memory" "bare recv loop, body in memory" 0 "${mem_ours3[*]}" "${mem_recv[*]}"
# How far the goal against curl -o /dev/null lies below what keeping the body
# costs at all: the floor's own ratio to curl in the same alternation.
abab_report "bare recv loop, 50 MB body in memory" "curl -o /dev/null" 0 "${mem_floor[*]}" "${mem_curl[*]}"
abab_report "HTTP client 50 MB random body, to a file" "curl -o FILE" 0 "${file_ours[*]}" "${file_curl[*]}"
