#!/bin/sh
# 16 slots on eight stereo bundles of one JACK server recording MP3 at 128 kbit/s, or 16 rotter instances on
# the same ports. Both record what the server's capture ports deliver (the dummy driver's silence).
#
#   bench/jack_bench.sh compare [SECONDS] [BUILD]  both, one after the other, on a private server; prints the
#                                                 CPU seconds per hour of audio per slot of each (/usr/bin/time)
#   bench/jack_bench.sh server NAME               a private dummy server with 16 capture ports (foreground)
#   JACK_DEFAULT_SERVER=NAME bench/jack_bench.sh tapevault [SECONDS] [BUILD]   default 60 s, build/release
#   JACK_DEFAULT_SERVER=NAME bench/jack_bench.sh rotter [SECONDS]
#
# Each recorder runs for SECONDS and is then ended with SIGTERM; time the whole command (for example with
# /usr/bin/time -v) to get the CPU of the recorder and of its encoder processes.
set -eu
mode=${1:?mode: server, tapevault or rotter}
export JACK_NO_START_SERVER=1
case $mode in
compare)
  seconds=${2:-60}
  name=tapevault-bench-$$
  "$0" server "$name" >/dev/null 2>&1 &
  server=$!
  trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT INT TERM
  tries=0
  until JACK_DEFAULT_SERVER=$name jack_lsp 2>/dev/null | grep -q capture_16; do
    tries=$((tries + 1))
    [ $tries -gt 100 ] && { echo "jackd did not start" >&2; exit 1; }
    sleep 0.1
  done
  for recorder in tapevault rotter; do
    cpu=$(JACK_DEFAULT_SERVER=$name /usr/bin/time -f '%U %S' "$0" $recorder "$seconds" ${3:-build/release} 2>&1 >/dev/null |
      tail -1)
    echo "$cpu" | awk -v r=$recorder -v s="$seconds" \
      '{ printf "%-9s CPU %.2f s in %d s of 16 slots: %.2f s per hour of audio per slot\n", r, $1 + $2, s, ($1 + $2) * 3600 / s / 16 }'
  done
  ;;
server)
  exec env JACK_NO_AUDIO_RESERVATION=1 jackd -n "${2:?server name}" -d dummy -r 48000 -p 1024 -C 16 -P 2
  ;;
tapevault)
  seconds=${2:-60}
  build=${3:-build/release}
  dir=$(mktemp -d)
  trap '[ -n "${KEEP:-}" ] || rm -rf "$dir"' EXIT
  {
    printf '[General]\nSlotCount=16\n'
    for slot in $(seq 0 15); do
      printf '[Slot%d]\nSource=Soundcard\nDevice=JACK:0:%d:2\nFormat=mp3\nBitrate=128\nSamplerate=48000\n' \
        "$slot" $((slot / 2 * 2))
      printf 'Mode=stereo\nTimeSlotAlign=off\nFolder=%s/rec%d\n' "$dir" "$slot"
    done
  } >"$dir/Tapevault.ini"
  "$build/src/ui/tapevault" -headless -rootfolder "$dir" >"$dir/log" 2>&1 &
  pid=$!
  sleep "$seconds"
  kill -TERM $pid
  wait $pid
  ;;
rotter)
  seconds=${2:-60}
  dir=$(mktemp -d)
  trap '[ -n "${KEEP:-}" ] || rm -rf "$dir"' EXIT
  pids=
  for n in $(seq 0 15); do
    mkdir -p "$dir/r$n"
    rotter -j -q -f mp3 -b 128 -n "rotter$n" -L flat "$dir/r$n" &
    pids="$pids $!"
  done
  tries=0
  until [ "$(jack_lsp | grep -c '^rotter[0-9]*:left$')" -eq 16 ]; do
    tries=$((tries + 1))
    [ $tries -gt 100 ] && { echo "rotter did not start" >&2; exit 1; }
    sleep 0.1
  done
  for n in $(seq 0 15); do
    pair=$((n / 2 * 2 + 1))
    jack_connect "system:capture_$pair" "rotter$n:left"
    jack_connect "system:capture_$((pair + 1))" "rotter$n:right"
  done
  sleep "$seconds"
  kill -TERM $pids
  wait $pids || true
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac
