#!/usr/bin/python3
"""A fault campaign against the program: 16 slots recording one-minute files from a private PulseAudio and a
private icecast2 while a seeded driver injects faults, a sampler watches the process, and the end checks the
recordings, their index and the process's growth from outside. Writes report.md and plots into the output folder;
exits 1 when a check failed.

  bench/soak/soak.py --program build/release/src/ui/tapevault --hours 2 [--out DIR] [--seed N]
"""

import argparse
import os
import random
import secrets
import shutil
import signal
import sqlite3
import subprocess
import sys
import threading
import time
import urllib.request
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import checks  # noqa: E402
import faults  # noqa: E402
import report  # noqa: E402
import services  # noqa: E402


def slot_table(folder, icecast, server_port):
    """The 16 slots: every file format from PulseAudio, the encoder programs, two stream inputs, a cast to
    icecast2, the built-in stream server and a slot on a small disk of its own."""
    base = {"TimeSlotLength": "1", "TimeSlotAlign": "on", "CleanupSpaceEnabled": "off", "Enabled": "on"}

    def pulse(name, sink, fmt, **extra):
        return dict(base, Name=name, Kind="Soundcard", Source="Soundcard", Device=f"PULSE:{sink}.monitor",
                    Format=fmt, **extra)

    def stream(name, mount, fmt):
        return dict(base, Name=name, Kind="Stream", Source="Stream", StreamURL=icecast.url(mount), Format=fmt)

    slots = [
        pulse("WAV A", "sink0", "wav16"),
        pulse("MP3 A", "sink1", "mp3"),
        pulse("Ogg A", "sink2", "ogg"),
        pulse("WAV B", "sink1", "wav16"),
        pulse("MP3 lame", "sink2", "mp3", EncoderFilename="/usr/bin/lame"),
        pulse("Ogg oggenc", "sink0", "ogg", EncoderFilename="/usr/bin/oggenc"),
        stream("Stream MP3", "/in.mp3", "mp3"),
        stream("Stream Ogg", "/in.ogg", "wav16"),
        pulse("Cast", "sink0", "mp3", StreamingEnabled="on", StreamingHost="127.0.0.1",
              StreamingPort=str(icecast.port), StreamingMountPoint="/out.mp3",
              StreamingPassword=services.ICECAST_PASSWORD),
        pulse("Stream server", "sink1", "mp3", StreamingEnabled="on", StreamingServerMode="on",
              StreamingHost="127.0.0.1", StreamingPort=str(server_port)),
        pulse("Small disk", "sink2", "mp3", Bitrate="64"),
        pulse("MP3 B", "sink0", "mp3", Bitrate="192"),
        pulse("Ogg B", "sink1", "ogg"),
        pulse("WAV C", "sink2", "wav16"),
        pulse("MP3 C", "sink0", "mp3", Mode="mono"),
        pulse("Ogg C", "sink2", "ogg"),
    ]
    for i, slot in enumerate(slots):
        slot["Folder"] = os.path.join(folder, f"Slot{i}")
    return slots


TMPFS_SLOT = 10
PLANT_SLOT = 0


class Context:
    def __init__(self, args):
        self.args = args
        self.seed = args.seed
        self.run_seconds = args.hours * 3600 if args.hours is not None else args.minutes * 60
        self.out = os.path.abspath(args.out)
        self.root = os.path.join(self.out, "root")
        self.sample_every = args.sample_every
        self.tolerate_full_disk = args.tolerate_full_disk
        self.samples = []
        self.findings = []
        self.seen_files = {}
        self.planted = set()
        self.planted_deleted = {}
        self.planted_kept = {}
        self.tmpfs = None
        self.tmpfs_slot = TMPFS_SLOT
        self.stop_times = []
        self.started = self.ended = None
        self.iso = faults.iso

    @property
    def program_starts(self):
        return self.program.starts

    def slots_of(self, kind):
        return [i for i, s in enumerate(self.slots) if s["Kind"] == kind]

    def recording_slots(self):
        return list(range(len(self.slots)))

    def database_of(self, index):
        return os.path.join(self.slots[index]["Folder"], "Tapevault.db")

    def slot_of_path(self, text):
        for i, s in enumerate(self.slots):
            if s["Folder"] + "/" in text:
                return i
        return None


def write_config(ctx, password):
    lines = ["[General]", f"SlotCount={len(ctx.slots)}", "", "[Webserver]", "Enabled=on",
             f"Port=127.0.0.1:{ctx.web_port}", "AnonymousAccess=ReadOnly", "AdminUser=admin",
             f"AdminPassword={services.password_hash(password)}", ""]
    for i, slot in enumerate(ctx.slots):
        lines.append(f"[Slot{i}]")
        lines += [f"{k}={v}" for k, v in slot.items() if k != "Kind"]
        lines.append("")
    with open(os.path.join(ctx.root, "Tapevault.ini"), "w") as f:
        f.write("\n".join(lines))


def plant_recordings(ctx):
    """Two earlier recordings with their rows in slot 0: one older than the age limit (365 days), which the
    cleanup must delete, and one from yesterday, which it must keep."""
    folder = ctx.slots[PLANT_SLOT]["Folder"]
    database = ctx.database_of(PLANT_SLOT)
    os.makedirs(folder, exist_ok=True)
    connection = sqlite3.connect(database)
    connection.execute("CREATE TABLE IF NOT EXISTS recordings (id INTEGER PRIMARY KEY AUTOINCREMENT, starttime "
                       "TIMESTAMP NOT NULL, duration REAL DEFAULT NULL, filename VARCHAR NOT NULL)")
    for days, keep in ((730, False), (1, True)):
        t = time.gmtime(time.time() - days * 86400)
        name = time.strftime("%Y/%m/%d/%Y-%m-%d-12-00-00.wav", t)
        full = os.path.join(folder, name)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with wave.open(full, "wb") as w:
            w.setnchannels(2)
            w.setsampwidth(2)
            w.setframerate(44100)
            w.writeframes(b"\0" * 44100 * 4)
        connection.execute("INSERT INTO recordings (starttime, duration, filename) VALUES (?, 1.0, ?)",
                           (time.strftime("%Y-%m-%d 12:00:00.000", t), name))
        ctx.planted.add(name)
        (ctx.planted_kept if keep else ctx.planted_deleted)[PLANT_SLOT] = name
    connection.commit()
    connection.close()


def mount_tmpfs(ctx):
    """A small disk of its own for one slot's folder (root only), sized for the run's recordings at 64 kbit/s."""
    folder = ctx.slots[TMPFS_SLOT]["Folder"]
    os.makedirs(folder, exist_ok=True)
    if os.geteuid() != 0:
        ctx.findings.append("Not root: no tmpfs, the disk-fill fault is skipped")
        return
    size = int(24 + ctx.run_seconds / 60 * 0.5 * 1.5)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}m", "tmpfs", folder]).returncode == 0:
        ctx.tmpfs = folder
    else:
        ctx.findings.append("tmpfs could not be mounted: the disk-fill fault is skipped")


def unmount_tmpfs(ctx):
    """Keeps the slot's files in the output folder: copied aside, unmounted, put back."""
    if ctx.tmpfs is None:
        return
    keep = ctx.tmpfs + ".kept"
    shutil.copytree(ctx.tmpfs, keep, dirs_exist_ok=True)
    if subprocess.run(["umount", ctx.tmpfs]).returncode == 0:
        shutil.copytree(keep, ctx.tmpfs, dirs_exist_ok=True)
        shutil.rmtree(keep)
    ctx.tmpfs = None


class Sampler(threading.Thread):
    """Every few seconds: RSS, descriptors, threads and CPU of the program, its dropout counters from /metrics
    (summed over the slots, carried across restarts) and the databases' sizes; every half minute the recordings
    on disk, for the deletion check."""

    def __init__(self, ctx):
        super().__init__(daemon=True, name="sampler")
        self.ctx = ctx
        self.stopping = threading.Event()
        self.csv = open(os.path.join(ctx.out, "samples.csv"), "w")
        self.csv.write("time,pid,rss_mib,fds,threads,cpu,dropout_seconds,dropouts,db_bytes\n")
        self.last_cpu = None
        self.offsets = {"dropout_seconds": 0.0, "dropouts": 0.0}
        self.last_metrics = {"pid": None, "dropout_seconds": 0.0, "dropouts": 0.0}

    def run(self):
        count = 0
        while not self.stopping.wait(self.ctx.sample_every):
            try:
                self.sample()
                if count % max(1, int(30 / self.ctx.sample_every)) == 0:
                    self.walk()
            except Exception as e:
                self.ctx.findings.append(f"sampler: {e!r}")
            count += 1

    def sample(self):
        program = self.ctx.program
        pid = program.pid
        if pid is None or not program.alive() or program.restarting:
            return
        t = time.time()
        try:
            with open(f"/proc/{pid}/status") as f:
                status = dict(line.split(":", 1) for line in f if ":" in line)
            fds = len(os.listdir(f"/proc/{pid}/fd"))
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            return
        ticks = int(fields[11]) + int(fields[12])
        cpu = None
        if self.last_cpu and self.last_cpu[0] == pid:
            cpu = 100.0 * (ticks - self.last_cpu[2]) / os.sysconf("SC_CLK_TCK") / (t - self.last_cpu[1])
        self.last_cpu = (pid, t, ticks)
        metrics = self.metrics()
        if metrics is not None:
            if self.last_metrics["pid"] not in (None, pid):
                for k in self.offsets:
                    self.offsets[k] += self.last_metrics[k]
            self.last_metrics = dict(metrics, pid=pid)
        db_bytes = 0
        for i in range(len(self.ctx.slots)):
            for suffix in ("", "-wal", "-journal"):
                try:
                    db_bytes += os.path.getsize(self.ctx.database_of(i) + suffix)
                except OSError:
                    pass
        s = {"t": t, "pid": pid, "started": program.starts[-1], "rss_mib": int(status["VmRSS"].split()[0]) / 1024,
             "threads": int(status["Threads"]), "fds": fds, "cpu": cpu, "db_bytes": db_bytes,
             "dropout_seconds": self.offsets["dropout_seconds"] + self.last_metrics["dropout_seconds"],
             "dropouts": self.offsets["dropouts"] + self.last_metrics["dropouts"]}
        self.ctx.samples.append(s)
        self.csv.write(f"{faults.iso(t)},{pid},{s['rss_mib']:.1f},{fds},{s['threads']},"
                       f"{'' if cpu is None else f'{cpu:.1f}'},{s['dropout_seconds']:.2f},{s['dropouts']:.0f},"
                       f"{db_bytes}\n")
        self.csv.flush()

    def metrics(self):
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{self.ctx.web_port}/metrics", timeout=5) as answer:
                text = answer.read().decode()
        except Exception:
            return None
        sums = {"dropout_seconds": 0.0, "dropouts": 0.0}
        for line in text.splitlines():
            for key, name in (("dropout_seconds", "tapevault_slot_dropout_seconds_total{"),
                              ("dropouts", "tapevault_slot_dropouts_total{")):
                if line.startswith(name):
                    sums[key] += float(line.rsplit(" ", 1)[1])
        return sums

    def walk(self):
        for slot in self.ctx.slots:
            for full in checks.recording_files(slot["Folder"]).values():
                try:
                    self.ctx.seen_files[full] = os.path.getsize(full)
                except OSError:
                    pass

    def stop(self):
        self.stopping.set()
        self.join(30)
        self.csv.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", required=True, help="the tapevault program to run")
    length = parser.add_mutually_exclusive_group(required=True)
    length.add_argument("--hours", type=float)
    length.add_argument("--minutes", type=float)
    parser.add_argument("--out", help="output folder (default build/soak/<timestamp>)")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--sample-every", type=float, default=5.0)
    parser.add_argument("--quick", action="store_true",
                        help="every fault kind once, shortened (the short test)")
    parser.add_argument("--tolerate-full-disk", action="store_true",
                        help="a file shorter than its row after the disk-fill fault is a note, not a failure")
    parser.add_argument("--replace", action="store_true",
                        help="delete an earlier soak run's output folder first (one that holds faults.log)")
    args = parser.parse_args()
    if args.seed is None:
        args.seed = secrets.randbelow(10**9)
    if args.out is None:
        args.out = os.path.join("build", "soak", time.strftime("%Y%m%d-%H%M%S"))
    if os.path.isdir(args.out) and os.listdir(args.out):
        if not (args.replace and os.path.exists(os.path.join(args.out, "faults.log"))):
            parser.error(f"{args.out} is not empty")
        shutil.rmtree(args.out)
    os.makedirs(args.out, exist_ok=True)
    ctx = Context(args)
    os.makedirs(ctx.root, exist_ok=True)

    stopping = threading.Event()

    def on_signal(number, _frame):
        if stopping.is_set():
            raise KeyboardInterrupt
        print(f"soak: signal {number}, ending the run (again to abort)", flush=True)
        stopping.set()

    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)

    rng = random.Random(args.seed)
    ctx.timeline = faults.Timeline(os.path.join(ctx.out, "faults.log"))
    ctx.timeline.log(f"seed {args.seed}, {ctx.run_seconds / 60:.1f} min, program {args.program}")
    ctx.pulse = services.PulseAudio(os.path.join(ctx.out, "pulse"))
    ctx.icecast = services.Icecast(os.path.join(ctx.out, "icecast"))
    ctx.web_port = services.free_port()
    server_port = services.free_port()
    ctx.slots = slot_table(ctx.root, ctx.icecast, server_port)
    password = secrets.token_hex(8)
    with open(os.path.join(ctx.out, "admin-password"), "w") as f:
        f.write(password + "\n")
    env = dict(os.environ, TZ="UTC", PULSE_SERVER=ctx.pulse.server, HOME=os.path.join(ctx.out, "home"))
    os.makedirs(env["HOME"], exist_ok=True)
    ctx.program = services.Program(os.path.abspath(args.program), ctx.root, env)
    ctx.program.restarting = False
    ctx.supervisor = None
    started = []
    result = checks.Result()
    try:
        ctx.pulse.start()
        ctx.icecast.start()
        mount_tmpfs(ctx)
        write_config(ctx, password)
        plant_recordings(ctx)
        ctx.supervisor = services.Supervisor(ctx.out, ctx.pulse, ctx.icecast,
                                             [f"http://127.0.0.1:{server_port}/"])
        ctx.supervisor.start()
        ctx.web = faults.Web(ctx.web_port, password)
        ctx.started = time.time()
        ctx.warmup_end = ctx.started + (3600 if ctx.run_seconds >= 7200 else 0.2 * ctx.run_seconds)
        ctx.program.start()
        if not services.wait_until(lambda: services.http_ok(f"http://127.0.0.1:{ctx.web_port}/ws/slots"), 60):
            raise RuntimeError("the program's web server did not answer; see program.log")
        print(f"soak: running {ctx.run_seconds / 60:.1f} min, seed {args.seed}, output {ctx.out}", flush=True)
        ctx.webload = faults.WebLoad(ctx.web, ctx.program, rng, ctx.slots, ctx.timeline,
                                     settings_every=40 if args.quick else 120)
        ctx.driver = faults.Driver(ctx, args.seed, ctx.run_seconds, args.quick)
        sampler = Sampler(ctx)
        for t in (ctx.webload, ctx.driver, sampler):
            t.start()
            started.append(t)
        while not stopping.wait(1.0):
            if time.time() >= ctx.started + ctx.run_seconds:
                break
            if not ctx.program.alive() and not ctx.program.restarting:
                result.fail("program ended by itself",
                            f"exit status {ctx.program.process.proc.returncode}; see program.log")
                break
        ctx.driver.stop()
        ctx.webload.stop()
        sampler.stop()
        started.clear()
        if ctx.program.alive():
            code, seconds, at = ctx.program.stop()
            ctx.driver.stop_times.append((at, seconds, code))
        ctx.ended = time.time()
        ctx.stop_times = ctx.driver.stop_times
        for at, seconds, code in ctx.stop_times:
            if seconds > 5.0:
                result.fail("slow stop", f"SIGTERM at {faults.iso(at)}: ended after {seconds:.2f} s")
            if code != 0:
                result.fail("exit status", f"SIGTERM at {faults.iso(at)}: exit status {code}")
        ctx.supervisor.stop()
        ctx.icecast.stop()
        ctx.pulse.stop()
        print("soak: checking", flush=True)
        checks.check_slots(ctx, result)
        checks.check_cleanup(ctx, result)
        checks.check_growth(ctx, result)
        for kind in faults.KINDS:
            if not any(e["kind"] == kind and e["ok"] for e in ctx.timeline.events) and args.quick:
                result.fail("fault not injected", kind)
        report.write(ctx, result, ctx.out, report.plot(ctx, ctx.out))
    finally:
        for t in started:
            t.stop()
        if ctx.program.alive():
            ctx.program.stop()
        if ctx.supervisor is not None:
            ctx.supervisor.stop()
        ctx.icecast.stop()
        ctx.pulse.stop()
        unmount_tmpfs(ctx)
    print(f"soak: {'FAILED' if result.failures else 'passed'}; report: {os.path.join(ctx.out, 'report.md')}",
          flush=True)
    for kind, text in result.failures[:20]:
        print(f"  {kind}: {text}")
    return 1 if result.failures else 0


if __name__ == "__main__":
    sys.exit(main())
