#!/bin/bash
# Eight MP3 slots recording next to a CPU hog (stress-ng on two cores): audio the encoder queues dropped
# ("Encoder queue full" lines) and how much shorter the files are than their rows. Goal: nothing dropped.
#
#   cmake --build build/release -j2 --target tapevault
#   bench/encoder_load_bench.sh [build/release/src/ui/tapevault] [seconds] [slots]

set -u
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../build/release/src/ui/tapevault}
seconds=${2:-600}
slots=${3:-8}
[ -x "$program" ] || { echo "no program $program (build the target tapevault)" >&2; exit 2; }
command -v stress-ng >/dev/null || { echo "stress-ng is missing (scripts/install-deps)" >&2; exit 2; }
tone_seconds=$((seconds + 120))
. "$here/service_tone.sh"

write_slots "$slots" 'TimeSlotAlign=0\nTimeSlotLength=60\n'
start_service
stress-ng --cpu 2 --timeout "${seconds}s" --quiet &
hog=$!
sleep "$seconds"
wait "$hog"
stop_service

dropped=$(grep -c "Encoder queue full" "$dir/service.log")
grep "Encoder queue full" "$dir/service.log" | head -5
missing=0
for i in $(seq 0 $((slots - 1))); do
  while IFS='|' read -r name duration; do
    frames=$(ffmpeg -v error -i "$dir/rec$i/$name" -f s16le -ac 2 -ar 44100 - | wc -c)
    missing=$(awk -v m="$missing" -v d="$duration" -v f="$frames" 'BEGIN { x = d - f / 4 / 44100; print m + (x > 0.1 ? x : 0) }')
  done < <(sqlite3 "$dir/rec$i/Tapevault.db" "SELECT replace(filename, '\\', '/'), duration FROM recordings")
done
printf '%d slots, %d s next to stress-ng --cpu 2: %d "Encoder queue full" lines, %.2f s missing from files\n' \
  "$slots" "$seconds" "$dropped" "$missing"
[ "$dropped" -eq 0 ]
