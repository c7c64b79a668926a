#!/bin/sh
# Cost of open browser monitors: the CPU the web server process spends with N listeners on /ws/events (the
# monitor's event stream, ten events a second over 16 slots) against the same time without any.
#   bench/monitor_bench.sh [listeners, default 50] [seconds per run, default 30]
# Listeners come from several loopback addresses, since the server allows 32 connections per address.
set -eu
cd "$(dirname "$0")/.."
LISTENERS=${1:-50}
DURATION=${2:-30}
. bench/web_fixture.sh
CLIENTS=""
trap 'kill $SERVER $CLIENTS 2>/dev/null; wait $SERVER 2>/dev/null' EXIT

# Clock ticks the server has spent (user + system).
ticks() { awk '{print $14 + $15}' "/proc/$SERVER/stat"; }
measure() {
  before=$(ticks)
  sleep "$DURATION"
  after=$(ticks)
  echo "$before $after" | awk -v hz="$(getconf CLK_TCK)" -v s="$DURATION" '{printf "%.2f", ($2 - $1) / hz / s * 100}'
}

idle=$(measure)
for i in $(seq "$LISTENERS"); do
  curl -sN --interface "127.0.0.$((2 + i / 30))" "http://127.0.0.1:$PORT/ws/events" >/dev/null &
  CLIENTS="$CLIENTS $!"
done
sleep 2
busy=$(measure)
echo "server CPU, % of one core over ${DURATION} s: idle $idle, with $LISTENERS monitors $busy"
echo "$idle $busy" | awk -v n="$LISTENERS" '{printf "monitors cost %.2f %% of a core (%d listeners)\n", $2 - $1, n}'
