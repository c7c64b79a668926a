# Sourced by the service benchmarks: a private PulseAudio server with a null sink and a 440 Hz tone playing into
# it for $tone_seconds, a root folder $dir for the program, and start_service / stop_service for the program
# (headless, on that server). Everything started here is stopped by its PID when the script exits.

dir=$(mktemp -d /tmp/tapevault_bench.XXXXXX)
daemon=
player=
generator=
service=
bench_cleanup() {
  [ -n "$generator" ] && kill -KILL "$generator" 2>/dev/null
  for pid in $service $generator $player $daemon; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$dir"
}
trap bench_cleanup EXIT

mkdir -p "$dir/home" "$dir/rt" "$dir/root"
cat >"$dir/pa.conf" <<PA
load-module module-null-sink sink_name=nullsink sink_properties=device.description=NullSink rate=44100 norewinds=1
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
set-default-sink nullsink
set-default-source nullsink.monitor
PA
HOME=$dir/home PULSE_RUNTIME_PATH=$dir/rt XDG_RUNTIME_DIR=$dir/rt pulseaudio -n -F "$dir/pa.conf" \
  --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no --log-target=stderr \
  --high-priority=no --realtime=no 2>"$dir/pulseaudio.log" &
daemon=$!
export PULSE_SERVER=unix:$dir/native HOME=$dir/home XDG_CONFIG_HOME=$dir/home/.config
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start:" >&2; tail -20 "$dir/pulseaudio.log" >&2; exit 2; }
mkfifo "$dir/tone"
sox -q -n -r 44100 -c 2 -b 16 -e signed -t raw "$dir/tone" synth "$tone_seconds" sine 440 vol 0.5 &
generator=$!
pacat --playback -d nullsink --rate=44100 --channels=2 --format=s16le --raw "$dir/tone" &
player=$!

# write_slots COUNT EXTRA_KEYS: the configuration of COUNT slots recording the tone as MP3, cleanup off.
write_slots() {
  {
    printf '[General]\nSlotCount=%d\n' "$1"
    for i in $(seq 0 $(($1 - 1))); do
      printf '[Slot%d]\nSource=Soundcard\nDevice=PULSE:nullsink.monitor\nFormat=mp3\nFolder=%s/rec%d\n' \
        "$i" "$dir" "$i"
      printf 'CleanupDaysEnabled=0\nCleanupSpaceEnabled=0\n%b' "$2"
    done
  } >"$dir/root/Tapevault.ini"
}
start_service() {
  "$program" -headless -rootfolder "$dir/root" >"$dir/service.log" 2>&1 &
  service=$!
}
stop_service() {
  kill -TERM "$service"
  wait "$service"
  service=
}
