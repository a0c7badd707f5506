#!/usr/bin/env bash
# Downloading a 50 MB body from lighttpd on loopback: QZ_HTTP_ClientExecute
# and QZ_HTTP_ClientToFile (programs/httpclient_fetch) against `curl -o`,
# paired in one run (alternating, medians).  Goal: at most 1.5x curl.
#   QZ_BINARY_DIR=<build> bash bench/bench_httpclient.sh [runs]
set -euo pipefail
BIN="${QZ_BINARY_DIR:?}/programs/httpclient_fetch"
RUNS=${1:-9}
WORK=$(mktemp -d /tmp/qz-httpbench.XXXXXX)
chmod 755 "$WORK"
LPID=""
cleanup() { [ -n "$LPID" ] && kill "$LPID" 2>/dev/null || true; rm -rf "$WORK"; }
trap cleanup EXIT
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
mkdir -p "$WORK/root" "$WORK/logs"
# Text without zero bytes: the client's body is text.
head -c 52428800 /dev/zero | tr '\0' 'x' > "$WORK/root/big.txt"
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
mimetype.assign = (".txt" => "text/plain")
CONF
lighttpd -f "$WORK/lighttpd.conf"
for _ in $(seq 50); do [ -s "$WORK/logs/lighttpd.pid" ] && break; sleep 0.1; done
LPID=$(cat "$WORK/logs/lighttpd.pid")
for _ in $(seq 50); do (echo > /dev/tcp/127.0.0.1/$PORT) 2>/dev/null && break; sleep 0.1; done
cd "$WORK"
now() { date +%s%N; }
ours=() theirs=()
for i in $(seq "$RUNS"); do
  t0=$(now); "$BIN" -o ours.out 127.0.0.1 "$PORT" /big.txt > /dev/null; t1=$(now)
  curl -s -o curl.out "http://127.0.0.1:$PORT/big.txt"; t2=$(now)
  ours+=($(( (t1 - t0) / 1000 ))); theirs+=($(( (t2 - t1) / 1000 )))
done
cmp -s ours.out curl.out || { echo "bodies differ"; exit 1; }
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
m1=$(median "${ours[@]}"); m2=$(median "${theirs[@]}")
awk -v a="$m1" -v b="$m2" -v n="$RUNS" 'BEGIN {
  printf "50 MB download, %d paired runs, medians: QZ_HTTP_Client %.1f ms, curl -o %.1f ms, ratio %.2fx (goal <= 1.5x)\n", n, a/1000, b/1000, a/b }'
