#!/bin/sh
# Load test of the web API with wrk: /ws/slots over 16 slots and a week of calendar events among 50,000
# hourly recordings. Builds the release tree, starts the fixture server, runs wrk, stops the server.
#   bench/web_bench.sh [seconds per run, default 10]
set -eu
cd "$(dirname "$0")/.."
DURATION=${1:-10}
cmake -S . -B build/release -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release -DTAPEVAULT_TESTS=OFF >/dev/null
cmake --build build/release --target web_server_bench -j 2 >/dev/null

OUT=$(mktemp)
build/release/bench/web_server_bench --serve 0 >"$OUT" &
SERVER=$!
trap 'kill $SERVER 2>/dev/null; wait $SERVER 2>/dev/null; rm -f "$OUT"' EXIT
for _ in $(seq 100); do
  PORT=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$OUT")
  [ -n "$PORT" ] && break
  sleep 0.1
done
[ -n "$PORT" ] || { echo "server did not start" >&2; exit 1; }

echo "== /ws/slots (16 slots)"
wrk -t 2 -c 16 -d "${DURATION}s" --latency "http://127.0.0.1:$PORT/ws/slots"
CALENDAR="http://127.0.0.1:$PORT/ws/slots/0/calendarevents?start=2024-06-03T00:00:00Z&end=2024-06-10T00:00:00Z"
echo "== one week of /calendarevents (50,000 hourly rows), one client"
wrk -t 1 -c 1 -d "${DURATION}s" --latency "$CALENDAR"
echo "== the same, four clients at once"
wrk -t 2 -c 4 -d "${DURATION}s" --latency "$CALENDAR"
