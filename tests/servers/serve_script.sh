#!/usr/bin/env bash
# scripts/serve.sh as a newcomer runs it, in both modes: "/" is the index page (it was
# refused with 403 when the configuration named no index file), the page links the example
# request and names the trace and the database, the example request is the redirect, the
# configuration beside the program is not served, and the run folder goes with the server.
set -u
. "$(dirname "$0")/driver_lib.bash"

OUT=$(mktemp -d /tmp/qz_serve_script.XXXXXX)
SERVER=
stop_server() {
  [ -n "$SERVER" ] || return 0
  kill -- "-$SERVER" 2>/dev/null
  wait "$SERVER" 2>/dev/null
  SERVER=
}
trap 'stop_server; rm -rf "$OUT"' EXIT

for mode in cgi fastcgi; do
  PORT=$(free_port)
  args=()
  [ "$mode" = fastcgi ] && args=(--fastcgi)
  # Its own process group, so that stopping it stops its lighttpd (and the FastCGI workers).
  PORT=$PORT QZ_BUILD_DIR=$QZ_BINARY_DIR setsid bash "$QZ_SOURCE_DIR/scripts/serve.sh" "${args[@]}" \
    >"$OUT/serve.log" 2>&1 &
  SERVER=$!
  wait_port "$PORT" || { cat "$OUT/serve.log"; exit 1; }
  BASE="http://127.0.0.1:$PORT"
  run=$(sed -n 's|^(the database is \(/tmp/hwendle-serve\.[^/]*\)/data/valdrun\.db.*|\1|p' "$OUT/serve.log")

  check "$mode: / answers" "200 text/html; charset=utf-8" \
    "$(curl -s -o "$OUT/index" -w '%{http_code} %{content_type}' "$BASE/")"
  for text in '<a href="/cgi-bin/hwendle.exe?5,6,7,abc">' "Hwendle.aspx?5,6,7,abc" \
      "trace: $run/log/hwendle.trace" "database (SQLite): $run/data/valdrun.db" "($mode)"; do
    check "$mode: the index page says $text" 1 "$(grep -cF "$text" "$OUT/index")"
  done
  check "$mode: the example request" "302 https://www.example.com/main/Hwendle.aspx?5,6,7,abc" \
    "$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' "$BASE/cgi-bin/hwendle.exe?5,6,7,abc")"
  check "$mode: the request is traced where the page says" 1 \
    "$(grep -c 'Redirecting to:https://www.example.com/main/Hwendle.aspx?5,6,7,abc$' "$run/log/hwendle.trace")"
  check "$mode: qzcfg.ini is not served" 403 \
    "$(curl -s -o /dev/null -w '%{http_code}' "$BASE/cgi-bin/qzcfg.ini")"
  stop_server
  check "$mode: the run folder is removed" no "$([ -e "$run" ] && echo yes || echo no)"
done

[ "$FAILURES" = 0 ] && echo "all serve.sh checks passed"
[ "$FAILURES" = 0 ]
