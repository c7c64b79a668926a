#!/bin/sh
# Load test of the web API with wrk: /ws/slots over 16 slots and a week of calendar events among 50,000
# hourly recordings. Builds the release tree, starts the fixture server, runs wrk, stops the server.
#   bench/web_bench.sh [seconds per run, default 10]
set -eu
cd "$(dirname "$0")/.."
DURATION=${1:-10}
. bench/web_fixture.sh
trap 'kill $SERVER 2>/dev/null; wait $SERVER 2>/dev/null' EXIT

echo "== /ws/slots (16 slots)"
wrk -t 2 -c 16 -d "${DURATION}s" --latency "http://127.0.0.1:$PORT/ws/slots"
CALENDAR="http://127.0.0.1:$PORT/ws/slots/0/calendarevents?start=2024-06-03T00:00:00Z&end=2024-06-10T00:00:00Z"
echo "== one week of /calendarevents (50,000 hourly rows), one client"
wrk -t 1 -c 1 -d "${DURATION}s" --latency "$CALENDAR"
echo "== the same, four clients at once"
wrk -t 2 -c 4 -d "${DURATION}s" --latency "$CALENDAR"
