#!/usr/bin/env bash
# Headless Chromium against hwendle.exe under lighttpd. The site prefix points
# at the same lighttpd, so the browser can follow the redirect to its target.
set -u
. "$(dirname "$0")/driver_lib.bash"
NODE_DIR="$QZ_SOURCE_DIR/tests/node"
[ -x /usr/bin/chromium ] && [ -d "$NODE_DIR/node_modules/playwright-core" ] || { echo "chromium or playwright-core missing"; exit 1; }

RUN=$(mktemp -d /tmp/qz_driver_browser.XXXXXX)
trap 'stop_lighttpd "$RUN"; rm -rf "$RUN"' EXIT
PORT=$(free_port)
PREFIX="http://127.0.0.1:$PORT/main/"
make_site "$RUN" "$PREFIX"
start_lighttpd "$RUN" "$PORT" || exit 1
cd "$NODE_DIR" && timeout 120 node driver_browser.mjs "http://127.0.0.1:$PORT" "$PREFIX"
