#!/bin/bash
# How long a reader of /ws/slots waits while slots are stopped and started: the program with 16 slots recording
# WAV from a private Icecast stream, a client asking /ws/slots 200 times a second, first alone (quiet), then
# while another client stops and starts one slot after the other through /execute ten times a second (busy).
# Prints the request latency of both phases: median, 99th percentile and the longest.
#
#   cmake --build build/release -j2 --target tapevault
#   bench/status_wait_bench.sh [build/release/src/ui/tapevault] [seconds of each phase, default 20]

set -eu
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../build/release/src/ui/tapevault}
seconds=${2:-20}
slots=16
[ -x "$program" ] || { echo "no program $program (build the target tapevault)" >&2; exit 2; }
. "$here/icecast.sh"
dir=$(mktemp -d /tmp/tapevault_status.XXXXXX)
chmod 755 "$dir"
source=
service=
cleanup() {
  for pid in $service $source $server; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$dir"
}
trap cleanup EXIT INT TERM

start_icecast "$dir"
start_bench_source "$dir"

# The web server on a port the system chooses, anonymous read-only access and the administrator "admin".
mkdir "$dir/root"
PULSE_SERVER=unix:$dir/none "$here/../scripts/seed-config" "$dir/root/Tapevault.ini" 127.0.0.1:0 >/dev/null
{
  printf '[General]\nSlotCount=%d\n' $slots
  for i in $(seq 0 $((slots - 1))); do
    printf '[Slot%d]\nSource=Stream\nStreamURL=http://127.0.0.1:%d/bench.mp3\nFormat=wav16\nFolder=%s/rec%d\n' \
      "$i" "$port" "$dir" "$i"
    printf 'CleanupDaysEnabled=0\nCleanupSpaceEnabled=0\n'
  done
} >>"$dir/root/Tapevault.ini"
"$program" -headless -rootfolder "$dir/root" >"$dir/service.log" 2>&1 &
service=$!
web=
for _ in $(seq 100); do
  web=$(sed -n 's|.*Web server listening on http://\([0-9.:]*\)/.*|\1|p' "$dir/service.log")
  [ -n "$web" ] && break
  sleep 0.1
done
[ -n "$web" ] || { echo "the web server did not start:" >&2; cat "$dir/service.log" >&2; exit 1; }
# Until every slot's stream is connected.
for _ in $(seq 300); do
  [ "$(grep -c 'Stream connected' "$dir/service.log")" -ge $slots ] && break
  sleep 0.1
done

BENCH_ADDRESS=$web BENCH_SECONDS=$seconds BENCH_SLOTS=$slots BENCH_PASSWORD=$(cat "$dir/root/admin-password") \
  /usr/bin/python3 - <<'PY'
import base64, http.client, os, threading, time

address = os.environ["BENCH_ADDRESS"]
seconds = float(os.environ["BENCH_SECONDS"])
slots = int(os.environ["BENCH_SLOTS"])
credentials = base64.b64encode(("admin:" + os.environ["BENCH_PASSWORD"]).encode()).decode()
host, port = address.rsplit(":", 1)

def request(connection, path, headers):
    connection.request("GET", path, headers=headers)
    response = connection.getresponse()
    response.read()
    if response.status != 200:
        raise RuntimeError(f"{path}: {response.status}")

def read_slots(duration):
    """/ws/slots every 5 ms for duration seconds on one kept-alive connection; the latency of each request."""
    connection = http.client.HTTPConnection(host, int(port))
    latencies = []
    start = time.monotonic()
    due = start
    while due < start + duration:
        now = time.monotonic()
        if now < due:
            time.sleep(due - now)
        sent = time.monotonic()
        request(connection, "/ws/slots", {})
        latencies.append(time.monotonic() - sent)
        due += 0.005
    return latencies

def switch_slots(stop):
    """Stops one slot, 100 ms later starts it again, then the next slot, until stop is set."""
    connection = http.client.HTTPConnection(host, int(port))
    headers = {"Authorization": "Basic " + credentials}
    slot = 0
    count = 0
    while not stop.is_set():
        for word in ("STOP", "START"):
            request(connection, f"/execute?command=SLOT+{slot + 1}+{word}", headers)
            count += 1
            time.sleep(0.1)
        slot = (slot + 1) % slots
    return count

def report(name, latencies):
    ordered = sorted(latencies)
    def quantile(q):
        return ordered[min(len(ordered) - 1, int(q * len(ordered)))] * 1000
    print(f"{name}: {len(ordered)} requests of /ws/slots, median {quantile(0.5):.2f} ms, "
          f"99th percentile {quantile(0.99):.2f} ms, longest {ordered[-1] * 1000:.2f} ms, "
          f"{sum(1 for x in ordered if x > 0.005)} over 5 ms")

report("quiet", read_slots(seconds))
stop = threading.Event()
switched = []
switcher = threading.Thread(target=lambda: switched.append(switch_slots(stop)))
switcher.start()
busy = read_slots(seconds)
stop.set()
switcher.join()
report("busy ", busy)
print(f"({switched[0]} slot commands during the busy phase)")
PY
