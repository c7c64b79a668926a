#!/bin/sh
# Runs bench/stream_bench.cpp against a private Icecast 2 on loopback fed by ffmpeg with a 128 kbit/s MP3 stream,
# and beside it ffmpeg recording the same stream into a WAV file, each under /usr/bin/time.
# Usage: bench/stream_bench.sh [build folder, default build/release] [seconds, default 60]
# STREAM_BENCH_PAIRED, when set, is a command that runs two commands in turn and compares them; it is called as
#   $STREAM_BENCH_PAIRED 'FFMPEG COMMAND' -- TAPEVAULT COMMAND
set -eu
build=${1:-build/release}
seconds=${2:-60}
. "$(dirname "$0")/icecast.sh"
dir=$(mktemp -d)
chmod 755 "$dir"
start_icecast "$dir"
source=
cleanup() {
  [ -n "$source" ] && kill "$source" 2>/dev/null
  kill "$server" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT INT TERM
url="http://127.0.0.1:$port/bench.mp3"
start_bench_source "$dir"
peer="ffmpeg -nostdin -loglevel error -y -i $url -t $seconds -f wav $dir/peer.wav"
ours="env STREAM_BENCH_URL=$url STREAM_BENCH_SECONDS=$seconds $build/bench/stream_bench"
if [ -n "${STREAM_BENCH_PAIRED:-}" ]; then
  $STREAM_BENCH_PAIRED "$peer" -- $ours
else
  /usr/bin/time -f "tapevault stream slot: %U s user, %S s system, %e s wall" $ours
  /usr/bin/time -f "ffmpeg: %U s user, %S s system, %e s wall" $peer
fi
