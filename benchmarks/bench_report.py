#!/usr/bin/env python3
"""Turns the "figure ..." lines of the benchmark programs into the results table and its JSON.

    bench_report.py [--previous PREVIOUS.json] MODE OUT.json LOG...

A figure line is "figure ID UNIT MIN MEDIAN MAX COUNT [NOTE]". Each goal names the figures it
judges; a goal whose figures are missing is "not measured", never a guessed value. With
--previous, each figure's median of an earlier run (benchmarks/previous-MODE.json) is printed
beside the new one.
"""
import json
import sys

# Goal rows: name, what is judged, goal text, and a check over the figures it needs.
GOALS = [
    ("Engine throughput", "throughput_ratio median", ">= 0.8 of a loop blocking in ReadFile",
     ["throughput_ratio"], lambda f: f["throughput_ratio"]["median"] >= 0.8),
    ("Prompt latency", "prompt_latency median / max (ms)", "median <= 20 ms, worst <= 100 ms",
     ["prompt_latency"],
     lambda f: f["prompt_latency"]["median"] <= 20 and f["prompt_latency"]["max"] <= 100),
    ("Password round trip", "password_round_trip max (ms)", "worst <= 1500 ms",
     ["password_round_trip"], lambda f: f["password_round_trip"]["max"] <= 1500),
    ("Restore overhead", "restore_ratio_large median", "<= 1.10 of the tools alone",
     ["restore_ratio_large"], lambda f: f["restore_ratio_large"]["median"] <= 1.10),
    ("Memory", "memory_peak_large and memory_peak_small max (MiB)", "<= 32 MiB, the two within 2 MiB",
     ["memory_peak_large", "memory_peak_small"], lambda f: memory_within(f["memory_peak_large"],
                                                                         f["memory_peak_small"])),
    ("Count memory", "memory_peak_count_large and memory_peak_small max (MiB)",
     "<= 32 MiB, within 2 MiB of the small restore",
     ["memory_peak_count_large", "memory_peak_small"],
     lambda f: memory_within(f["memory_peak_count_large"], f["memory_peak_small"])),
    # Under Wine a console costs the module about 100 ms per tool (console_pair, docs): the listing
    # is judged against its tools each run in a console made as the module makes one
    # (listing_ratio_own); the raw ratio against the tools in a console of Wine's is shown too.
    ("Listing", "listing_ratio_own median (listing_ratio_console shown)",
     "<= 1.10 of the tools alone, each in a console made as the module makes it",
     ["listing_ratio_own", "listing_ratio_console"], lambda f: f["listing_ratio_own"]["median"] <= 1.10),
]


def memory_within(large, small):
    """Both worst peaks within 32 MiB, and no more than 2 MiB apart."""
    return large["max"] <= 32 and small["max"] <= 32 and abs(large["max"] - small["max"]) <= 2


def parse_figures(lines):
    """Figures by id from the programs' output; malformed lines are skipped."""
    figures = {}
    for line in lines:
        parts = line.split()
        if len(parts) < 7 or parts[0] != "figure":
            continue
        try:
            low, median, high = (float(p) for p in parts[3:6])
            count = int(parts[6])
        except ValueError:
            continue
        if count == 0:
            continue
        figures[parts[1]] = {"unit": parts[2], "min": low, "median": median, "max": high,
                             "count": count, "note": " ".join(parts[7:])}
    return figures


def measured_text(figure):
    return "%.4g / %.4g / %.4g %s (n=%d)" % (figure["min"], figure["median"], figure["max"],
                                               figure["unit"], figure["count"])


def judge(figures):
    """One row per goal: the figures it used, measured text and pass/fail/not measured."""
    rows = []
    for name, judged, goal, needs, check in GOALS:
        have = all(n in figures for n in needs)
        if not have or check is None:
            rows.append({"figure": name, "measured": "not measured", "goal": goal,
                         "result": "not measured", "needs": needs})
            continue
        rows.append({"figure": name, "judged": judged, "goal": goal,
                     "measured": "; ".join(measured_text(figures[n]) for n in needs),
                     "values": {n: figures[n] for n in needs},
                     "result": "pass" if check(figures) else "fail"})
    return rows


def before_text(previous, names):
    """The earlier run's medians of the figures, or "-" where it had none."""
    texts = []
    for name in names:
        old = previous.get(name)
        if old:
            texts.append("%.4g %s%s" % (old["median"], old["unit"], " (" + old["note"] + ")" if old.get("note") else ""))
    return "; ".join(texts) or "-"


def table(rows, mode, previous=None):
    previous = previous or {}
    head = ("Figure", "Measured (min / median / max)", "Before (median)", "Goal", "Result")
    body = [(r["figure"], r["measured"], before_text(previous, r.get("values", {}).keys() or r.get("needs", [])),
             r["goal"], r["result"]) for r in rows]
    widths = [max(len(x[i]) for x in [head] + body) for i in range(5)]
    out = ["Benchmarks (%s mode)" % mode]
    for cells in [head] + body:
        out.append(" | ".join(c.ljust(w) for c, w in zip(cells, widths)))
    return "\n".join(out)


def context(figures, previous=None):
    previous = previous or {}
    """The figures no goal judges (absolute times, the Wine primitives), one line each."""
    judged = {n for _, _, _, needs, _ in GOALS for n in needs}
    return ["  %s: %s%s%s" % (name, measured_text(f), " - " + f["note"] if f["note"] else "",
                              "; before " + before_text(previous, [name]) if name in previous else "")
            for name, f in sorted(figures.items()) if name not in judged]


def main(argv):
    previous = {}
    if argv[:1] == ["--previous"] and len(argv) > 1:
        try:
            with open(argv[1], encoding="utf-8") as f:
                previous = json.load(f).get("figures", {})
        except (OSError, ValueError) as e:
            print("note: no earlier figures (%s)" % e)
        argv = argv[2:]
    if len(argv) < 3:
        print(__doc__.strip())
        return 2
    mode, out_path, logs = argv[0], argv[1], argv[2:]
    lines = []
    for path in logs:
        with open(path, encoding="utf-8", errors="replace") as f:
            lines += f.read().splitlines()
    figures = parse_figures(lines)
    rows = judge(figures)
    print(table(rows, mode, previous))
    extra = context(figures, previous)
    if extra:
        print("Context (not judged):\n" + "\n".join(extra))
    with open(out_path, "w", encoding="utf-8") as f:
        json.dump({"mode": mode, "rows": rows, "figures": figures}, f, indent=2)
    return 1 if any(r["result"] == "fail" for r in rows) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
