#!/bin/bash
# Sixteen MP3 slots rotating at the same minute: how long after each boundary every new file starts (the start
# time its row stores). Goal: every file within 50 ms of the boundary.
#
#   cmake --build build/release -j2 --target tapevault
#   bench/rotation_bench.sh [build/release/src/ui/tapevault] [slots] [boundaries] [more slot keys]
# e.g. 'EncoderFilename=lame\n' as the last argument for slots that run the encoder program.

set -u
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../build/release/src/ui/tapevault}
slots=${2:-16}
boundaries=${3:-2}
keys=${4:-}
[ -x "$program" ] || { echo "no program $program (build the target tapevault)" >&2; exit 2; }
tone_seconds=$((boundaries * 60 + 120))
. "$here/service_tone.sh"

write_slots "$slots" "TimeSlotLength=1\n$keys"
start_service
# Until the wanted number of boundaries has passed since the first files.
sleep $(((60 - 10#$(date +%S)) + (boundaries - 1) * 60 + 5))
stop_service

# Milliseconds past the minute of every file after the first of each slot.
for i in $(seq 0 $((slots - 1))); do
  sqlite3 "$dir/rec$i/Tapevault.db" "SELECT starttime FROM recordings ORDER BY id LIMIT -1 OFFSET 1" |
    awk -v slot="$i" '{ split($2, t, ":"); printf "%d %.0f\n", slot, t[3] * 1000 }'
done | awk -v slots="$slots" '
  { n++; if ($2 > max) max = $2; sum += $2; if ($2 > 50) late++ }
  END {
    printf "%d slots, %d file changes: start after the boundary mean %.1f ms, max %d ms, %d later than 50 ms\n",
      slots, n, n ? sum / n : 0, max, late
    exit (n == 0 || late > 0)
  }'
