"""The fault driver: a seeded schedule of bounded faults, each logged with its start and end, and the steady
loads beside it (web requests with occasional settings changes)."""

import base64
import json
import os
import random
import signal
import socket
import sqlite3
import subprocess
import threading
import time
import urllib.error
import urllib.request

import services

KINDS = ("encoder_kill", "pulse_restart", "icecast_restart", "icecast_stall", "db_lock", "disk_fill", "slow_clients",
         "program_restart")
# Relative weights after every kind had its first turn; a restart of the program is the rarest.
WEIGHTS = {"encoder_kill": 3, "pulse_restart": 2, "icecast_restart": 2, "icecast_stall": 2, "db_lock": 3,
           "disk_fill": 2, "slow_clients": 2, "program_restart": 1}


def iso(t):
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.localtime(t)) + f".{int(t * 1000) % 1000:03d}"


class Timeline:
    """Every fault with its interval; written to faults.log as it happens."""

    def __init__(self, path):
        self.path = path
        self.events = []
        self.lock = threading.Lock()

    def log(self, text):
        with self.lock, open(self.path, "a") as f:
            f.write(f"{iso(time.time())} {text}\n")

    def add(self, kind, start, end, slots, detail, ok=True):
        with self.lock:
            self.events.append({"kind": kind, "start": start, "end": end, "slots": slots, "detail": detail,
                                "ok": ok})
        self.log(f"{kind} end ({end - start:.1f} s){'' if ok else ' NOT INJECTED'}: {detail}")


class Web:
    def __init__(self, port, password):
        self.base = f"http://127.0.0.1:{port}"
        self.auth = "Basic " + base64.b64encode(f"admin:{password}".encode()).decode()

    def request(self, path, body=None, timeout=10):
        headers = {"Authorization": self.auth}
        data = None
        if body is not None:
            data = json.dumps(body).encode()
            headers["Content-Type"] = "application/json"
        request = urllib.request.Request(self.base + path, data=data, headers=headers)
        began = time.monotonic()
        try:
            with urllib.request.urlopen(request, timeout=timeout) as answer:
                content = answer.read()
                return answer.status, content, time.monotonic() - began
        except urllib.error.HTTPError as e:
            return e.code, e.read(), time.monotonic() - began


class WebLoad(threading.Thread):
    """Steady requests against the JSON API and the calendar, a few a second, and now and then a settings change
    through the API (a slot's name, an MP3 slot's bit rate: the latter starts a new file)."""

    def __init__(self, web, program, rng, slots, timeline, settings_every=120.0):
        super().__init__(daemon=True, name="webload")
        self.web = web
        self.program = program
        self.rng = rng
        self.slots = slots
        self.timeline = timeline
        self.settings_every = settings_every
        self.stopping = threading.Event()
        self.counts = {"requests": 0, "errors": 0, "settings_changes": 0, "settings_errors": 0}
        self.errors = []
        self.latencies = []

    def run(self):
        next_settings = time.monotonic() + self.settings_every / 2
        name_round = 0
        while not self.stopping.wait(0.25):
            if not self.program.alive() or self.program.restarting:
                continue
            slot = self.rng.randrange(len(self.slots))
            now = time.time()
            path = self.rng.choice([
                "/ws/slots", "/metrics", "/status.html", f"/ws/slots/{slot}/name",
                f"/ws/slots/{slot}/calendarevents?start={time.strftime('%Y-%m-%dT00:00:00Z', time.gmtime(now - 86400))}"
                f"&end={time.strftime('%Y-%m-%dT00:00:00Z', time.gmtime(now + 86400))}",
                f"/ws/config/slots/{slot}"])
            self._get(path)
            if time.monotonic() >= next_settings:
                next_settings = time.monotonic() + self.rng.uniform(0.5, 1.5) * self.settings_every
                name_round += 1
                self._change_settings(name_round)

    def _get(self, path):
        try:
            status, _, seconds = self.web.request(path)
            self.counts["requests"] += 1
            self.latencies.append((time.time(), seconds))
            if status >= 500:
                self._error(f"GET {path}: HTTP {status}")
        except Exception as e:
            if self.program.alive() and not self.program.restarting:
                self._error(f"GET {path}: {e}")

    def _error(self, text):
        self.counts["errors"] += 1
        if len(self.errors) < 50:
            self.errors.append(f"{iso(time.time())} {text}")

    def _change_settings(self, round_):
        slot = self.rng.randrange(len(self.slots))
        change = {"Name": f"{self.slots[slot]['Name']} r{round_}"}
        mp3 = [i for i, s in enumerate(self.slots) if s.get("Format") == "mp3" and "EncoderFilename" not in s]
        if mp3 and self.rng.random() < 0.5:
            slot = self.rng.choice(mp3)
            change = {"Bitrate": self.rng.choice([96, 128, 160])}
        started = time.time()
        try:
            status, body, _ = self.web.request(f"/ws/config/slots/{slot}", change)
            ok = status == 200
        except Exception as e:
            status, body, ok = 0, str(e).encode(), False
        self.counts["settings_changes"] += 1
        if not ok:
            self.counts["settings_errors"] += 1
            self._error(f"POST /ws/config/slots/{slot} {change}: HTTP {status} {body[:200]!r}")
        self.timeline.add("settings_change", started, time.time(), [slot],
                          f"slot {slot} {json.dumps(change)} -> HTTP {status} {body[:120].decode(errors='replace')}")

    def stop(self):
        self.stopping.set()
        self.join(15)


class Driver(threading.Thread):
    """Runs the faults one after the other at the planned times. quick=True plans every kind once (shortened),
    spread over the run, for the short test."""

    def __init__(self, ctx, seed, run_seconds, quick):
        super().__init__(daemon=True, name="driver")
        self.ctx = ctx
        self.rng = random.Random(seed)
        self.run_seconds = run_seconds
        self.quick = quick
        self.stopping = threading.Event()
        self.plan = self._plan()
        self.stop_times = []

    def _plan(self):
        kinds = list(KINDS)
        self.rng.shuffle(kinds)
        # The program's restart comes last in the first round: its warm-up then does not hide the others.
        kinds.remove("program_restart")
        kinds.append("program_restart")
        last = self.run_seconds - (50 if self.quick else 90)
        if self.quick:
            first = 25.0
            step = max(5.0, (last - first) / len(kinds))
            return [(first + i * step, k) for i, k in enumerate(kinds)]
        mean = min(180.0, max(15.0, self.run_seconds / (len(kinds) * 2)))
        plan, t, last_restart = [], min(60.0, 0.15 * self.run_seconds), -1e9
        pool = [k for k in KINDS for _ in range(WEIGHTS[k])]
        while t < last:
            kind = kinds.pop(0) if kinds else self.rng.choice(pool)
            if kind == "program_restart":
                # At most one restart in 15 minutes, so that the series between them can show growth.
                if t - last_restart < 900:
                    kind = self.rng.choice([k for k in pool if k != "program_restart"])
                else:
                    last_restart = t
            plan.append((t, kind))
            t += self.rng.expovariate(1.0 / mean) + 5
        return plan

    def run(self):
        began = self.ctx.started
        for at, kind in self.plan:
            if self.stopping.wait(max(0.0, began + at - time.time())):
                return
            self.ctx.timeline.log(f"{kind} start")
            try:
                getattr(self, kind)()
            except Exception as e:
                self.ctx.timeline.add(kind, time.time(), time.time(), [], f"failed to inject: {e!r}", ok=False)

    def hold(self, longest):
        """A fault's duration: up to `longest` seconds (a third of that in the short run)."""
        if self.quick:
            longest = max(3.0, longest / 3)
        return self.rng.uniform(min(3.0, longest), longest)

    # --- the faults ---

    def encoder_kill(self):
        start = time.time()
        children = encoder_children(self.ctx.program.pid)
        if not children:
            self.ctx.timeline.add("encoder_kill", start, time.time(), [], "no encoder program running", ok=False)
            return
        pid, comm, cmdline = self.rng.choice(children)
        slot = self.ctx.slot_of_path(cmdline)
        os.kill(pid, signal.SIGKILL)
        self.ctx.timeline.add("encoder_kill", start, time.time() + 1, [slot] if slot is not None else [],
                              f"SIGKILL {comm} {pid} of slot {slot}")

    def pulse_restart(self):
        start = time.time()
        self.ctx.supervisor.pause("pulse")
        self.ctx.pulse.stop()
        down = self.hold(8)
        time.sleep(down)
        self.ctx.pulse.start()
        self.ctx.supervisor.resume("pulse")
        self.ctx.timeline.add("pulse_restart", start, time.time() + 3, self.ctx.slots_of("Soundcard"),
                              f"PulseAudio down for {down:.1f} s")

    def icecast_restart(self):
        start = time.time()
        self.ctx.supervisor.pause("icecast")
        self.ctx.icecast.stop()
        down = self.hold(6)
        time.sleep(down)
        self.ctx.icecast.start()
        self.ctx.supervisor.resume("icecast")
        self.ctx.timeline.add("icecast_restart", start, time.time() + 3, self.ctx.slots_of("Stream"),
                              f"icecast2 down for {down:.1f} s")

    def icecast_stall(self):
        start = time.time()
        stall = self.hold(20)
        self.ctx.supervisor.pause("icecast")
        self.ctx.icecast.process.signal(signal.SIGSTOP)
        time.sleep(stall)
        self.ctx.icecast.process.signal(signal.SIGCONT)
        self.ctx.supervisor.resume("icecast")
        self.ctx.timeline.add("icecast_stall", start, time.time() + 3, self.ctx.slots_of("Stream"),
                              f"icecast2 stopped (SIGSTOP) for {stall:.1f} s")

    def db_lock(self):
        slot = self.rng.choice(self.ctx.recording_slots())
        database = self.ctx.database_of(slot)
        start = time.time()
        holder = subprocess.Popen(["sqlite3", database], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, text=True, start_new_session=True)
        holder.stdin.write("BEGIN EXCLUSIVE;\n")
        holder.stdin.flush()
        locked = wait_locked(database)
        held = self.hold(30)
        time.sleep(held)
        holder.stdin.write("COMMIT;\n.quit\n")
        holder.stdin.close()
        try:
            holder.wait(10)
        except subprocess.TimeoutExpired:
            holder.kill()
            holder.wait()
        self.ctx.timeline.add("db_lock", start, time.time(), [slot],
                              f"slot {slot} {os.path.basename(database)} held by sqlite3 BEGIN EXCLUSIVE for "
                              f"{held:.1f} s", ok=locked)

    def disk_fill(self):
        folder = self.ctx.tmpfs
        if folder is None:
            self.ctx.timeline.add("disk_fill", time.time(), time.time(), [], "no tmpfs (not root?)", ok=False)
            return
        start = time.time()
        filler = os.path.join(folder, "soak-fill.bin")
        written = 0
        chunk = b"\0" * (1 << 20)
        try:
            with open(filler, "wb") as f:
                while True:
                    f.write(chunk)
                    f.flush()
                    written += len(chunk)
        except OSError:
            pass
        held = self.hold(30)
        time.sleep(held)
        os.unlink(filler)
        self.ctx.timeline.add("disk_fill", start, time.time() + 3, [self.ctx.tmpfs_slot],
                              f"{folder} filled with {written >> 20} MiB for {held:.1f} s")

    def slow_clients(self):
        start = time.time()
        count = self.rng.randint(3, 10)
        duration = self.hold(40)
        threads = [threading.Thread(target=slow_client, args=(self.ctx.web_port, duration, self.rng.random() < 0.5))
                   for _ in range(count)]
        for t in threads:
            t.start()
        time.sleep(min(3.0, duration / 2))
        # Everyone else is still served while the slow clients hold their connections.
        try:
            status, _, seconds = self.ctx.web.request("/ws/slots", timeout=10)
            probe = f"a normal request meanwhile: HTTP {status} in {seconds * 1000:.0f} ms"
            ok = status == 200
        except Exception as e:
            probe, ok = f"a normal request meanwhile failed: {e}", False
        for t in threads:
            t.join()
        self.ctx.timeline.add("slow_clients", start, time.time(), [],
                              f"{count} clients sending one byte at a time for {duration:.1f} s; {probe}", ok=True)
        if not ok:
            self.ctx.findings.append(f"While slow clients were connected, {probe}")

    def program_restart(self):
        start = time.time()
        self.ctx.program.restarting = True
        code, seconds, _ = self.ctx.program.stop()
        self.stop_times.append((start, seconds, code))
        time.sleep(self.hold(3))
        self.ctx.program.start()
        services.wait_until(lambda: services.http_ok(f"http://127.0.0.1:{self.ctx.web_port}/ws/slots"), 60)
        self.ctx.program.restarting = False
        self.ctx.timeline.add("program_restart", start, time.time() + 3, self.ctx.recording_slots(),
                              f"SIGTERM: ended after {seconds:.2f} s with exit status {code}; started again")

    def stop(self):
        self.stopping.set()
        self.join(120)


def encoder_children(pid):
    """The encoder programs (lame, oggenc, twolame) the program runs: (pid, name, command line)."""
    found = []
    if pid is None:
        return found
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
            comm = stat[stat.index("(") + 1:stat.rindex(")")]
            ppid = int(stat[stat.rindex(")") + 2:].split()[1])
            if ppid != pid or comm not in ("lame", "oggenc", "twolame"):
                continue
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode(errors="replace")
            found.append((int(entry), comm, cmdline))
        except (OSError, ValueError):
            continue
    return found


def wait_locked(database, timeout=5.0):
    """True once another connection finds the database locked (the holder's BEGIN EXCLUSIVE took effect)."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            probe = sqlite3.connect(database, timeout=0)
            try:
                probe.execute("BEGIN IMMEDIATE")
                probe.rollback()
            finally:
                probe.close()
        except sqlite3.OperationalError:
            return True
        time.sleep(0.1)
    return False


def slow_client(port, duration, finish):
    """Connects and sends a request a byte at a time over `duration` seconds; half of them never finish it."""
    request = (f"GET /ws/slots HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nX-Soak: "
               + "slow" * 8 + "\r\n\r\n").encode()
    if not finish:
        request = request[:len(request) // 2]
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            pause = duration / len(request)
            for i in range(len(request)):
                s.sendall(request[i:i + 1])
                time.sleep(pause)
            s.settimeout(5)
            try:
                s.recv(4096)
            except OSError:
                pass
    except OSError:
        pass
