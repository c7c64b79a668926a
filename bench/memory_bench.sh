#!/bin/bash
# Memory of the program recording MP3 from a private PulseAudio server: its RSS (and that of encoder programs,
# if any) after it ran for a while with one slot and with SLOTS slots; the difference gives the cost of a slot.
#
#   cmake --build build/release -j2 --target tapevault
#   bench/memory_bench.sh [build/release/src/ui/tapevault] [slots, default 16] [seconds, default 20]

set -u
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../build/release/src/ui/tapevault}
slots=${2:-16}
seconds=${3:-20}
[ -x "$program" ] || { echo "no program $program (build the target tapevault)" >&2; exit 2; }
tone_seconds=$((2 * seconds + 30))
. "$here/service_tone.sh"

# RSS in KiB of the service and its children.
rss_of_service() {
  local total=0 pid
  for pid in $service $(pgrep -P "$service"); do
    total=$((total + $(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)))
  done
  echo "$total"
}

declare -A rss
for count in 1 "$slots"; do
  write_slots "$count" ''
  start_service
  sleep "$seconds"
  rss[$count]=$(rss_of_service)
  stop_service
  rm -rf "$dir"/rec*
done
awk -v one="${rss[1]}" -v many="${rss[$slots]}" -v slots="$slots" 'BEGIN {
  per = (many - one) / (slots - 1)
  printf "RSS: 1 slot %.1f MiB, %d slots %.1f MiB: %.2f MiB per slot, %.1f MiB without slots\n",
    one / 1024, slots, many / 1024, per / 1024, (one - per) / 1024
}'
