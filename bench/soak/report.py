"""report.md and the plots of a soak run."""

import collections
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the back-end is chosen first)


def plot(ctx, out):
    samples = ctx.samples
    if not samples:
        return []
    t0 = ctx.started
    minutes = [(s["t"] - t0) / 60 for s in samples]
    made = []
    for key, label, name in (("rss_mib", "RSS (MiB)", "rss.png"), ("fds", "open descriptors", "fds.png"),
                             ("cpu", "CPU (% of one core)", "cpu.png"), ("threads", "threads", "threads.png"),
                             ("dropout_seconds", "dropped input audio, all slots (s, cumulative)", "dropouts.png")):
        fig, ax = plt.subplots(figsize=(10, 3.5))
        ax.plot(minutes, [s.get(key) for s in samples], lw=1)
        for e in ctx.timeline.events:
            if e["kind"] in ("program_restart", "pulse_restart", "icecast_restart", "icecast_stall"):
                ax.axvspan((e["start"] - t0) / 60, (e["end"] - t0) / 60, color="orange" if
                           e["kind"] != "program_restart" else "red", alpha=0.2, lw=0)
        ax.axvline((ctx.warmup_end - t0) / 60, color="gray", ls="--", lw=0.8)
        ax.set_xlabel("minutes (red: program restarts, orange: input outages, dashed: end of warm-up)")
        ax.set_ylabel(label)
        ax.grid(alpha=0.3)
        fig.tight_layout()
        fig.savefig(os.path.join(out, name), dpi=90)
        plt.close(fig)
        made.append(name)
    return made


def write(ctx, result, out, plots):
    lines = []
    add = lines.append
    status = "PASSED" if not result.failures else f"FAILED ({len(result.failures)} failed checks)"
    add(f"# Soak run: {status}\n")
    add(f"- Program: `{ctx.program.path}`")
    add(f"- Run length: {(ctx.ended - ctx.started) / 60:.1f} min (asked: {ctx.run_seconds / 60:.1f} min), "
        f"from {ctx.iso(ctx.started)} to {ctx.iso(ctx.ended)}")
    add(f"- Seed: {ctx.seed} (again: `--seed {ctx.seed}`)")
    add(f"- Samples: {len(ctx.samples)} every {ctx.sample_every:g} s; growth fitted after "
        f"{(ctx.warmup_end - ctx.started) / 60:.1f} min")
    add(f"- Web load: {ctx.webload.counts['requests']} requests, {ctx.webload.counts['errors']} errors, "
        f"{ctx.webload.counts['settings_changes']} settings changes ({ctx.webload.counts['settings_errors']} refused)")
    if ctx.webload.latencies:
        worst = sorted(x[1] for x in ctx.webload.latencies)
        add(f"- Web latency: median {worst[len(worst) // 2] * 1000:.0f} ms, 99 % "
            f"{worst[int(len(worst) * 0.99)] * 1000:.0f} ms, longest {worst[-1] * 1000:.0f} ms")
    add("")
    add("## Slots\n")
    add("| Slot | Name | Kind | Files | Rows | MiB | Largest duration error (ms) | Joins | Largest join error (ms) | "
        "Gaps across faults | Files with dropouts |")
    add("|---|---|---|---|---|---|---|---|---|---|---|")
    for s in result.slots:
        add(f"| {s['slot']} | {s['name']} | {s['kind']} | {s['files']} | {s['rows']} | {s['bytes'] / 2**20:.1f} | "
            f"{s['max_duration_error'] * 1000:+.2f} | {s['joins']} | {s['max_join_error'] * 1000:+.0f} | "
            f"{s['explained_gaps']} | {s['dropout_files']} |")
    add("")
    add("## Faults injected\n")
    counts = collections.Counter(e["kind"] for e in ctx.timeline.events)
    missed = collections.Counter(e["kind"] for e in ctx.timeline.events if not e["ok"])
    add("| Kind | Count | Not injected |")
    add("|---|---|---|")
    for kind, count in sorted(counts.items()):
        add(f"| {kind} | {count} | {missed.get(kind, 0)} |")
    add("\nEvery fault with its time: `faults.log`.\n")
    add("## Stop times after SIGTERM\n")
    add("| When | Seconds | Exit status |")
    add("|---|---|---|")
    for at, seconds, code in ctx.stop_times:
        add(f"| {ctx.iso(at)} | {seconds:.2f} | {code} |")
    add("")
    add("## Growth after the warm-up (per hour, 95 % interval)\n")
    add("| Series | Slope | Interval | Samples | |")
    add("|---|---|---|---|---|")
    for key, fit in result.slopes.items():
        if fit is None:
            add(f"| {key} | (too few samples) | | |")
        else:
            add(f"| {key} | {fit['slope']:+.3f} | {fit['low']:+.3f} .. {fit['high']:+.3f} | {fit['n']} |"
                + ("" if fit["judged"] else " not judged: less than 30 min after the warm-up |"))
    add("")
    add("## Failed checks\n")
    if not result.failures:
        add("None.")
    for kind, text in result.failures:
        add(f"- **{kind}**: {text}")
    add("")
    add("## Notes\n")
    if not result.notes and not ctx.findings and not ctx.webload.errors:
        add("None.")
    for kind, text in result.notes:
        add(f"- {kind}: {text}")
    for text in ctx.findings:
        add(f"- {text}")
    for text in ctx.webload.errors:
        add(f"- web: {text}")
    add("")
    if plots:
        add("## Plots\n")
        for name in plots:
            add(f"![{name}]({name})")
    with open(os.path.join(out, "report.md"), "w") as f:
        f.write("\n".join(lines) + "\n")
