#!/usr/bin/env python3
"""Checks of the reference host's unattended recovery, on its captured output.

  recover_check.py stamp            copies stdin to stdout, each line prefixed with its arrival
                                    time ("SECONDS<TAB>"), bytes kept as they came
  recover_check.py output FILE      the stamped output has no control characters and at most one
                                    progress line per second per bar between phase changes
  recover_check.py report JSON FILE the report has the required fields and its verdict is the one
                                    the stamped output printed
"""
import json
import re
import sys
import time

REQUIRED = {
    "versions": dict, "server": str, "client": str, "phases": list, "filespaces": list,
    "components": list, "messages": list, "verdict": dict,
}
PHASE = {"name": str, "outcome": str, "start": str, "end": str, "seconds": (int, float)}
FILESPACE = {"name": str, "counted": int, "restored": int, "bytes": int, "seconds": (int, float),
             "result": str, "warnings": int}
MESSAGE = {"level": str, "time": str, "text": str}
VERDICT = {"result": str, "exitCode": int, "line": str}
TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")


def stamp():
    start = time.monotonic()
    for raw in sys.stdin.buffer:
        sys.stdout.buffer.write(b"%.3f\t" % (time.monotonic() - start) + raw)
        sys.stdout.buffer.flush()


def lines_of(path):
    with open(path, "rb") as f:
        for raw in f:
            at, _, text = raw.partition(b"\t")
            yield float(at), text[:-2] if text.endswith(b"\r\n") else text.rstrip(b"\n")


def check_output(path):
    errors = []
    last = {}  # bar -> (time, phase word)
    for at, text in lines_of(path):
        if any(c < 0x20 and c != 0x09 for c in text):
            errors.append("control character in %r" % text)
        m = re.match(rb"^progress: (.+): (counting|restoring|finished|failed) ", text)
        if not m:
            continue
        bar, word = m.group(1), m.group(2)
        if bar in last and last[bar][1] == word and at - last[bar][0] < 0.9:
            errors.append("%s: two lines %.2f s apart" % (bar.decode(errors="replace"), at - last[bar][0]))
        last[bar] = (at, word)
    if not last:
        errors.append("no progress lines at all")
    return errors


def check_fields(obj, fields, where, errors):
    for key, kind in fields.items():
        if key not in obj:
            errors.append("%s: no %s" % (where, key))
        elif not isinstance(obj[key], kind):
            errors.append("%s: %s is %r" % (where, key, obj[key]))


def check_report(report_path, output_path):
    errors = []
    with open(report_path, encoding="utf-8") as f:
        report = json.load(f)
    check_fields(report, REQUIRED, "report", errors)
    for i, p in enumerate(report.get("phases", [])):
        check_fields(p, PHASE, "phase %d" % i, errors)
        for key in ("start", "end"):
            if not TIME.match(p.get(key, "")):
                errors.append("phase %d: %s %r" % (i, key, p.get(key)))
    for i, fs in enumerate(report.get("filespaces", [])):
        check_fields(fs, FILESPACE, "filespace %d" % i, errors)
    for i, m in enumerate(report.get("messages", [])):
        check_fields(m, MESSAGE, "message %d" % i, errors)
        if "id" not in m or not (m["id"] is None or isinstance(m["id"], int)):
            errors.append("message %d: id %r" % (i, m.get("id")))
    check_fields(report.get("verdict", {}), VERDICT, "verdict", errors)
    printed = [t.decode() for _, t in lines_of(output_path) if t.startswith(b"Verdict: ")]
    line = report.get("verdict", {}).get("line")
    if printed != [line]:
        errors.append("printed verdict %r, report %r" % (printed, line))
    phases = [t.decode() for _, t in lines_of(output_path) if t.startswith(b"Phase ")]
    if len(phases) != len(report.get("phases", [])):
        errors.append("%d phase lines printed, %d in the report" % (len(phases), len(report.get("phases", []))))
    if "moduleVersion" not in report.get("versions", {}):
        errors.append("versions: no moduleVersion")
    return errors


def main():
    if sys.argv[1] == "stamp":
        stamp()
        return 0
    errors = check_output(sys.argv[2]) if sys.argv[1] == "output" else check_report(sys.argv[2], sys.argv[3])
    for e in errors:
        print("FAIL:", e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
