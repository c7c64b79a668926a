#!/bin/bash
# Runs slots64_bench against a private PulseAudio server: a null sink with a 440 Hz tone playing into it, the
# slots recording its monitor. Reports the benchmark's figures and the server's own CPU time, exits with the
# benchmark's code. Nothing of the user's sound setup is touched; the server is stopped by its PID.
#
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAPEVAULT_TESTS=OFF
#   cmake --build build/release -j2 --target slots64_bench
#   bench/slots64_bench.sh [build/release/bench/slots64_bench] [seconds] [more benchmark arguments]

set -u
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../build/release/bench/slots64_bench}
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))
[ -x "$bench" ] || { echo "no benchmark program $bench (build the target slots64_bench)" >&2; exit 2; }

dir=$(mktemp -d /tmp/slots64_bench.XXXXXX)
daemon=
player=
generator=
cleanup() {
  # The generator is ended hard: on SIGTERM sox would wait to flush into a pipe nobody reads any more.
  [ -n "$generator" ] && kill -KILL "$generator" 2>/dev/null
  for pid in $generator $player $daemon; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$dir"
}
trap cleanup EXIT

mkdir -p "$dir/home" "$dir/rt"
# norewinds: the null sink of PulseAudio 16 stops consuming a playback stream after its first rewind.
cat >"$dir/pa.conf" <<EOF
load-module module-null-sink sink_name=nullsink sink_properties=device.description=NullSink rate=44100 norewinds=1
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
set-default-sink nullsink
set-default-source nullsink.monitor
EOF
HOME=$dir/home PULSE_RUNTIME_PATH=$dir/rt XDG_RUNTIME_DIR=$dir/rt pulseaudio -n -F "$dir/pa.conf" \
  --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no --log-target=stderr \
  --high-priority=no --realtime=no 2>"$dir/pulseaudio.log" &
daemon=$!
export PULSE_SERVER=unix:$dir/native HOME=$dir/home
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start:" >&2; tail -20 "$dir/pulseaudio.log" >&2; exit 2; }

# The tone is generated as it plays, so that any length needs no file.
tone_seconds=$(awk "BEGIN { print int($seconds) + 60 }")
mkfifo "$dir/tone"
sox -q -n -r 44100 -c 2 -b 16 -e signed -t raw "$dir/tone" synth "$tone_seconds" sine 440 vol 0.5 &
generator=$!
pacat --playback -d nullsink --rate=44100 --channels=2 --format=s16le --raw "$dir/tone" &
player=$!
sleep 1

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$daemon/stat"; }
ticks_before=$(cpu_ticks)
"$bench" "$seconds" --expect-signal "$@"
result=$?
ticks_after=$(cpu_ticks)
awk -v t=$((ticks_after - ticks_before)) -v hz="$(getconf CLK_TCK)" \
  'BEGIN { printf "PulseAudio server CPU during the run: %.2f s\n", t / hz }'
kill -0 "$player" 2>/dev/null || echo "the tone player ended early (see the benchmark's peaks)" >&2
exit $result
