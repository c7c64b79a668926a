#!/bin/sh
# Runs bench/slot_bench.cpp against a private PulseAudio server whose null sink plays a tone.
# Usage: bench/slot_bench.sh [build folder, default build/release] [seconds, default 60]
set -eu
build=${1:-build/release}
seconds=${2:-60}
dir=$(mktemp -d)
cat >"$dir/pa.conf" <<CONF
load-module module-null-sink sink_name=bench sink_properties=device.description=bench rate=44100
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
set-default-sink bench
set-default-source bench.monitor
CONF
mkdir -p "$dir/home" "$dir/rt"
HOME="$dir/home" PULSE_RUNTIME_PATH="$dir/rt" pulseaudio -n -F "$dir/pa.conf" --daemonize=no --exit-idle-time=-1 \
  --disallow-exit --use-pid-file=no --log-target=stderr 2>"$dir/pulseaudio.log" &
server=$!
tone=
cleanup() {
  [ -n "$tone" ] && kill "$tone" 2>/dev/null
  kill "$server" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT INT TERM
export PULSE_SERVER="unix:$dir/native"
tries=0
until HOME="$dir/home" pactl info >/dev/null 2>&1; do
  tries=$((tries + 1))
  [ $tries -gt 100 ] && { echo "PulseAudio did not start:" >&2; cat "$dir/pulseaudio.log" >&2; exit 1; }
  sleep 0.1
done
sox -n -r 44100 -c 2 -b 16 "$dir/tone.wav" synth $((seconds + 10)) sine 440 vol 0.5
HOME="$dir/home" paplay -d bench "$dir/tone.wav" &
tone=$!
SLOT_BENCH_SECONDS=$seconds ${SLOT_BENCH_WRAPPER:-} "$build/bench/slot_bench"
