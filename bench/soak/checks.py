"""The checks after the run, from outside the program: the slots' databases against the files on disk, the joins
between consecutive files, the cleanup, and the growth of the sampled resources."""

import calendar
import concurrent.futures
import math
import os
import sqlite3
import struct
import subprocess

RECORDING_EXTENSIONS = (".wav", ".mp3", ".ogg")
# One codec frame in samples: an MP3 frame, a long Vorbis block.
CODEC_FRAME = {".mp3": 1152, ".ogg": 2048}
# Consecutive files may overlap or leave this much between them (start times are stamped when the row is made).
JOIN_TOLERANCE = 0.25
# The faults that may cost a slot audio; a locked database, slow web clients or a settings change must not.
OUTAGES = ("encoder_kill", "pulse_restart", "icecast_restart", "icecast_stall", "disk_fill")


def parse_start(text):
    """A row's start time (local time, the program runs with TZ=UTC here) as epoch seconds."""
    date, _, clock = text.partition(" ")
    year, month, day = (int(x) for x in date.split("-"))
    h = m = 0
    s = 0.0
    if clock:
        h, m, sec = clock.split(":")
        h, m, s = int(h), int(m), float(sec)
    return calendar.timegm((year, month, day, h, m, 0)) + s


def wav_length(path):
    """(frames, rate, note): frames from the data chunk's size, checked against the file's size."""
    with open(path, "rb") as f:
        head = f.read(12)
        if len(head) < 12 or head[:4] != b"RIFF" or head[8:12] != b"WAVE":
            return None, None, "not a WAV file"
        rate = block = None
        while True:
            chunk = f.read(8)
            if len(chunk) < 8:
                return None, rate, "no data chunk"
            name, size = chunk[:4], struct.unpack("<I", chunk[4:])[0]
            if name == b"fmt ":
                fmt = f.read(size)
                rate = struct.unpack("<I", fmt[4:8])[0]
                block = struct.unpack("<H", fmt[12:14])[0]
            elif name == b"data":
                offset = f.tell()
                actual = os.path.getsize(path) - offset
                note = ""
                if actual != size:
                    note = f"data chunk says {size} bytes, the file holds {actual}"
                return min(size, actual) // block, rate, note
            else:
                f.seek(size + (size & 1), 1)


def decoded_length(path):
    """(samples, rate, note) of a compressed file, by decoding it whole with FFmpeg."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries", "stream=sample_rate",
                            "-of", "csv=p=0", path], capture_output=True, text=True)
    try:
        rate = int(probe.stdout.strip().split(",")[0])
    except ValueError:
        return None, None, "ffprobe: " + (probe.stderr.strip() or "no audio stream")[:200]
    decoder = subprocess.Popen(["ffmpeg", "-v", "error", "-nostdin", "-i", path, "-map", "0:a:0", "-ac", "1",
                                "-f", "s16le", "-"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    total = 0
    while True:
        block = decoder.stdout.read(1 << 20)
        if not block:
            break
        total += len(block)
    errors = decoder.stderr.read().decode(errors="replace").strip()
    decoder.wait()
    return total // 2, rate, ("decoder: " + errors[:200]) if errors else ""


def real_length(path):
    ext = os.path.splitext(path)[1].lower()
    if ext == ".wav":
        frames, rate, note = wav_length(path)
    else:
        frames, rate, note = decoded_length(path)
    seconds = frames / rate if frames is not None and rate else None
    return seconds, rate, note


def recording_files(folder):
    found = {}
    for base, _, names in os.walk(folder):
        for name in names:
            if name.lower().endswith(RECORDING_EXTENSIONS):
                full = os.path.join(base, name)
                found[os.path.relpath(full, folder)] = full
    return found


def read_rows(database):
    connection = sqlite3.connect(f"file:{database}?mode=ro", uri=True, timeout=30)
    try:
        columns = [c[1] for c in connection.execute("PRAGMA table_info(recordings)")]
        wanted = ["id", "starttime", "duration", "filename"] + [c for c in ("dropouts", "dropoutcount")
                                                                 if c in columns]
        rows = [dict(zip(wanted, r)) for r in connection.execute(f"SELECT {', '.join(wanted)} FROM recordings "
                                                                 "ORDER BY id")]
    finally:
        connection.close()
    for r in rows:
        r.setdefault("dropouts", 0.0)
        r.setdefault("dropoutcount", 0)
        r["dropouts"] = r["dropouts"] or 0.0
    return rows


def check_slots(ctx, result):
    """Rows against files, durations against the files' audio, and the joins of consecutive files."""
    jobs = {}
    slots = {}
    for index, slot in enumerate(ctx.slots):
        folder = slot["Folder"]
        database = ctx.database_of(index)
        files = recording_files(folder)
        rows = read_rows(database) if os.path.exists(database) else []
        slots[index] = (files, rows)
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        for index, (files, _) in slots.items():
            for name, full in files.items():
                jobs[(index, name)] = pool.submit(real_length, full)
        lengths = {key: job.result() for key, job in jobs.items()}

    per_slot = []
    for index, (files, rows) in slots.items():
        slot = ctx.slots[index]
        by_name = {r["filename"]: r for r in rows}
        info = {"slot": index, "name": slot["Name"], "kind": slot["Kind"], "files": len(files), "rows": len(rows),
                "bytes": sum(os.path.getsize(f) for f in files.values()), "max_duration_error": 0.0,
                "max_join_error": 0.0, "joins": 0, "explained_gaps": 0, "dropout_files": 0}
        per_slot.append(info)
        for name, full in sorted(files.items()):
            if name not in by_name:
                result.fail("file without a row", full)
        for row in rows:
            full = os.path.join(slot["Folder"], row["filename"])
            if row["filename"] not in files:
                result.fail("row without a file", f"slot {index} row {row['id']} {full}")
                continue
            seconds, rate, note = lengths[(index, row["filename"])]
            start = parse_start(row["starttime"])
            row["real"] = seconds
            if note:
                result.note("file note", f"{full}: {note}")
            if row["duration"] is None:
                result.fail("row without a duration", full)
                continue
            if seconds is None:
                result.fail("unreadable file", f"{full}: {note}")
                continue
            ext = os.path.splitext(full)[1].lower()
            tolerance = (1.0 if ext == ".wav" else CODEC_FRAME[ext]) / rate
            error = row["duration"] - seconds
            info["max_duration_error"] = max(info["max_duration_error"], abs(error), key=abs)
            if abs(error) > tolerance + 1e-6:
                if error > 0 and ctx.tolerate_full_disk and any(
                        e["kind"] == "disk_fill" and index in e["slots"] and e["start"] <= start + row["duration"]
                        and e["end"] >= start for e in ctx.timeline.events):
                    result.note("audio lost to the full disk (tolerated)",
                                f"{full}: row {row['duration']:.4f} s, file {seconds:.4f} s")
                    continue
                result.fail("duration mismatch",
                            f"{full}: row {row['duration']:.4f} s, file {seconds:.4f} s "
                            f"({error * rate:+.0f} samples, tolerance {tolerance * rate:.0f})")
            if row["dropoutcount"]:
                info["dropout_files"] += 1
        check_joins(ctx, index, [r for r in rows if r.get("real") is not None and r["duration"] is not None
                                 and r["filename"] not in ctx.planted], info, result)
    result.slots = per_slot


def check_joins(ctx, index, rows, info, result):
    """Consecutive files of one run of the program join: the next file starts where the previous one's audio
    ended, unless an injected fault explains the gap."""
    for previous, current in zip(rows, rows[1:]):
        begin = parse_start(previous["starttime"])
        end = begin + previous["real"]
        following = parse_start(current["starttime"])
        if any(begin < t <= following + 1 for t in ctx.program_starts[1:]):
            continue
        gap = following - end
        info["joins"] += 1
        faults = [e for e in ctx.timeline.events
                  if index in e["slots"] and e["start"] - 5 <= following and e["end"] + 5 >= begin
                  and e["kind"] in OUTAGES]
        if abs(gap) <= JOIN_TOLERANCE:
            info["max_join_error"] = max(info["max_join_error"], gap, key=abs)
            continue
        what = (f"slot {index}: {previous['filename']} ends {gap:+.3f} s before {current['filename']} starts "
                f"(dropouts {previous['dropouts']:.2f} s / {previous['dropoutcount']} and "
                f"{current['dropouts']:.2f} s / {current['dropoutcount']})")
        if faults:
            info["explained_gaps"] += 1
            accounted = previous["dropouts"] + current["dropouts"] + JOIN_TOLERANCE >= gap
            kinds = ", ".join(sorted({e["kind"] for e in faults}))
            # A full disk leaves no file to count the loss in.
            if accounted or any(e["kind"] == "disk_fill" for e in faults):
                result.note("gap across a fault", f"{what}; faults: {kinds}")
            else:
                result.fail("gap the dropout columns do not account for", f"{what}; faults: {kinds}")
        else:
            result.fail("gap without a fault", what)


def check_cleanup(ctx, result):
    """The planted old recording is deleted with its row, the planted recent one is kept, and every recording the
    sampler saw during the run is still there (no cleanup rule applies to them)."""
    for index, name in ctx.planted_deleted.items():
        full = os.path.join(ctx.slots[index]["Folder"], name)
        if os.path.exists(full):
            result.fail("cleanup by age did not delete", full)
    for index, name in ctx.planted_kept.items():
        full = os.path.join(ctx.slots[index]["Folder"], name)
        if not os.path.exists(full):
            result.fail("cleanup deleted a recording it should keep", full)
    for full, size in sorted(ctx.seen_files.items()):
        if not os.path.exists(full):
            if size > 8192:
                result.fail("recording disappeared", f"{full} ({size} bytes when last seen)")
            else:
                result.note("small recording removed", f"{full} ({size} bytes when last seen)")


def slope(samples, key, warmup_end, settle=60.0):
    """Least-squares growth per hour of samples[key] after warmup_end, one intercept per run of the program (a
    restart starts afresh) and its first `settle` seconds left out; with the 95 % confidence interval."""
    groups = {}
    for s in samples:
        if s["t"] >= warmup_end and s["t"] - s["started"] >= settle and s.get(key) is not None:
            groups.setdefault(s["pid"], []).append((s["t"] / 3600.0, float(s[key])))
    sxx = sxy = 0.0
    residual_data = []
    n = 0
    for points in groups.values():
        if len(points) < 3:
            continue
        mx = sum(p[0] for p in points) / len(points)
        my = sum(p[1] for p in points) / len(points)
        for x, y in points:
            sxx += (x - mx) ** 2
            sxy += (x - mx) * (y - my)
        residual_data.append((points, mx, my))
        n += len(points)
    if sxx <= 0 or n < 5:
        return None
    b = sxy / sxx
    sse = sum((y - my - b * (x - mx)) ** 2 for points, mx, my in residual_data for x, y in points)
    dof = max(1, n - len(residual_data) - 1)
    se = math.sqrt(sse / dof / sxx)
    t = t_quantile(dof)
    return {"slope": b, "low": b - t * se, "high": b + t * se, "n": n}


def t_quantile(dof):
    """The two-sided 95 % quantile of Student's t distribution."""
    table = {1: 12.71, 2: 4.30, 3: 3.18, 4: 2.78, 5: 2.57, 6: 2.45, 8: 2.31, 10: 2.23, 15: 2.13, 20: 2.09,
             30: 2.04, 60: 2.00, 120: 1.98}
    for k in sorted(table):
        if dof <= k:
            return table[k]
    return 1.96


# A growth counts when even the low end of its interval lies above this per hour.
GROWTH_LIMITS = {"rss_mib": 4.0, "fds": 2.0, "threads": 1.0}


# A fit over less time says more about the warm-up than about a leak: it is reported, not judged.
JUDGED_SPAN = 1800.0


def check_growth(ctx, result):
    result.slopes = {}
    judged = ctx.ended - ctx.warmup_end >= JUDGED_SPAN
    for key, limit in GROWTH_LIMITS.items():
        fit = slope(ctx.samples, key, ctx.warmup_end)
        if fit is not None:
            fit["judged"] = judged
        result.slopes[key] = fit
        if fit is not None and judged and fit["low"] > limit:
            result.fail("resource growth", f"{key} grows {fit['slope']:.2f}/h (95 % interval {fit['low']:.2f} .. "
                                           f"{fit['high']:.2f}) above the limit {limit}/h")


class Result:
    def __init__(self):
        self.failures = []
        self.notes = []
        self.slots = []
        self.slopes = {}

    # One line each: decoder messages come with line breaks, which would break the report's lists.
    def fail(self, kind, text):
        self.failures.append((kind, " ".join(text.split())))

    def note(self, kind, text):
        self.notes.append((kind, " ".join(text.split())))
