#!/bin/sh
# The window's screenshots under Xvfb (make screenshots), with a private JACK server of eight capture ports, so that
# the page "JACK" shows a server and its bundles.
#
#   bench/ui_screenshots.sh PROGRAM OUTPUT_FOLDER
set -eu
program=${1:?ui_screenshots program}
output=${2:?output folder}
name=tapevault-screenshots-$$
export JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=$name
JACK_NO_AUDIO_RESERVATION=1 jackd -n "$name" -d dummy -r 48000 -C 8 -P 2 >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT INT TERM
tries=0
until jack_lsp 2>/dev/null | grep -q capture_8; do
  tries=$((tries + 1))
  [ $tries -gt 100 ] && { echo "jackd did not start: the page JACK shows no server" >&2; break; }
  sleep 0.1
done
xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$program" "$output"
