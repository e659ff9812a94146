#!/usr/bin/env python3
"""Checks of the reference host's unattended recovery, on its captured output.

  recover_check.py stamp            copies stdin to stdout, each line prefixed with its arrival
                                    time ("SECONDS<TAB>"), bytes kept as they came
  recover_check.py report JSON FILE [EXIT]
                                    the report validates against docs/report.schema.json and agrees
                                    with the stamped output: phases, summary rows, messages, abort
                                    requests, verify lines and verdict (and the exit code, when given)
  recover_check.py selftest         the validator and the schema reject broken reports
  recover_check.py guide MD FILE    the first C++ block of the guide's "A minimal host" is FILE
"""
import copy
import json
import os
import re
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SCHEMA = os.path.join(HERE, "..", "..", "docs", "report.schema.json")
TYPES = {"object": dict, "array": list, "string": str, "null": type(None), "boolean": bool,
         "integer": int, "number": (int, float)}


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


def texts_of(path):
    return [t.decode("utf-8", errors="replace") for _, t in lines_of(path)]


def is_type(value, name):
    if isinstance(value, bool) and name in ("integer", "number"):
        return False
    return isinstance(value, TYPES[name])


def validate(value, schema, root, where, errors):
    """The part of JSON Schema that docs/report.schema.json uses: $ref, type, enum, required,
    properties, additionalProperties, items, pattern, minLength, minimum, maximum."""
    if "$ref" in schema:
        node = root
        for part in schema["$ref"].lstrip("#/").split("/"):
            node = node[part]
        return validate(value, node, root, where, errors)
    kinds = schema.get("type")
    if kinds is not None:
        kinds = kinds if isinstance(kinds, list) else [kinds]
        if not any(is_type(value, k) for k in kinds):
            errors.append("%s: %r is not %s" % (where, value, " or ".join(kinds)))
            return
    if "enum" in schema and value not in schema["enum"]:
        errors.append("%s: %r is not one of %r" % (where, value, schema["enum"]))
    if isinstance(value, dict):
        for key in schema.get("required", []):
            if key not in value:
                errors.append("%s: no %s" % (where, key))
        props = schema.get("properties", {})
        for key, item in value.items():
            if key in props:
                validate(item, props[key], root, where + "." + key, errors)
            elif schema.get("additionalProperties") is False:
                errors.append("%s: unknown field %s" % (where, key))
    if isinstance(value, list) and "items" in schema:
        for i, item in enumerate(value):
            validate(item, schema["items"], root, "%s[%d]" % (where, i), errors)
    if isinstance(value, str):
        if "pattern" in schema and not re.search(schema["pattern"], value):
            errors.append("%s: %r does not match %s" % (where, value, schema["pattern"]))
        if len(value) < schema.get("minLength", 0):
            errors.append("%s: %r is too short" % (where, value))
    if is_type(value, "number"):
        if "minimum" in schema and value < schema["minimum"]:
            errors.append("%s: %r is below %r" % (where, value, schema["minimum"]))
        if "maximum" in schema and value > schema["maximum"]:
            errors.append("%s: %r is above %r" % (where, value, schema["maximum"]))


def schema_errors(report):
    with open(SCHEMA, encoding="utf-8") as f:
        schema = json.load(f)
    errors = []
    validate(report, schema, schema, "report", errors)
    return errors


def pad(text, n):
    """The host's table column: the text padded with blanks to n characters, then one blank."""
    return text.ljust(n) + " "


def summary_rows(printed):
    """The rows of the printed summary table (between its heading and the verdict line)."""
    if "Recovery summary:" not in printed:
        return []
    rows = printed[printed.index("Recovery summary:") + 2:]
    return rows[:next((i for i, t in enumerate(rows) if t.startswith("Verdict: ")), len(rows))]


def agreement_errors(report, printed, exit_code):
    errors = []
    verdict = report.get("verdict", {})
    if [t for t in printed if t.startswith("Verdict: ")] != [verdict.get("line")]:
        errors.append("printed verdict differs from the report's %r" % verdict.get("line"))
    phase_lines = [t for t in printed if t.startswith("Phase ")]
    phases = report.get("phases", [])
    if len(phase_lines) != len(phases):
        errors.append("%d phase lines printed, %d in the report" % (len(phase_lines), len(phases)))
    for line, p in zip(phase_lines, phases):
        want = "Phase %s: %s%s [" % (p["name"], p["outcome"], " (%s)" % p["detail"] if p["detail"] else "")
        if not line.startswith(want):
            errors.append("printed %r, report says %r" % (line, want))
    rows = summary_rows(printed)
    items = report.get("filespaces", []) + report.get("components", [])
    if len(rows) != len(items):
        errors.append("%d summary rows printed, %d filespaces and components in the report" % (len(rows), len(items)))
    for row, fs in zip(rows, report.get("filespaces", [])):
        head = "  " + pad(fs["name"], 40) + pad(str(fs["counted"]), 8) + pad(str(fs["restored"]), 8) + \
            pad(str(fs["bytes"]), 10)
        tail = " " + pad(fs["result"], 24) + str(fs["warnings"])
        if not row.startswith(head) or not row.endswith(tail):
            errors.append("summary row %r does not say %r ... %r" % (row, head, tail))
    for row, c in zip(rows[len(report.get("filespaces", [])):], report.get("components", [])):
        want = "  " + pad(c["name"], 40) + pad(str(c["counted"]), 8) + pad(str(c["restored"]), 8) + pad("-", 10) + \
            pad("-", 8) + pad(c["result"], 24) + "-"
        if row != want:
            errors.append("summary row %r, report says %r" % (row, want))
    said = sorted(t for t in printed if re.match(r"^\[(INFO|WARNING|ERROR)\] ", t))
    logged = sorted("[%s] %s" % (m["level"], m["text"]) for m in report.get("messages", []))
    if said != logged:
        errors.append("%d messages printed, %d in the report, or their texts differ" % (len(said), len(logged)))
    requests = len([t for t in printed if t.startswith("Abort: requested")])
    if requests != report.get("abortRequests"):
        errors.append("%d abort requests printed, report %r" % (requests, report.get("abortRequests")))
    failed = any(t.startswith("verify: FAIL") for t in printed)
    passed = any(t.startswith("verify: PASS") for t in printed)
    want_verify = None if report.get("verify") is None else ("fail" if failed or not passed else "pass")
    if report.get("verify") != want_verify:
        errors.append("verify %r, but the printed comparison says %r" % (report.get("verify"), want_verify))
    if exit_code is not None and verdict.get("exitCode") != exit_code:
        errors.append("exit code %d, report %r" % (exit_code, verdict.get("exitCode")))
    return errors


def check_report(report_path, output_path, exit_code=None):
    with open(report_path, encoding="utf-8") as f:
        report = json.load(f)
    errors = schema_errors(report)
    return errors if errors else agreement_errors(report, texts_of(output_path), exit_code)


def sample_report():
    phase = {"name": "Init", "outcome": "succeeded", "detail": "", "start": "2026-12-07T11:00:00.000Z",
             "end": "2026-12-07T11:00:02.500Z", "seconds": 2.5}
    return {"versions": {"host": "refhost 1.0", "module": "CVEX", "moduleVersion": "1.0"}, "server": "localhost",
            "client": "winclient1", "pointInTime": None, "phases": [phase],
            "filespaces": [{"name": "W:\\", "counted": 26, "restored": 26, "bytes": 9000, "seconds": 1.0,
                            "result": "restored", "warnings": 0, "errors": 0}],
            "components": [{"name": "VSS OTHER:\\", "counted": 3, "restored": 3, "result": "restored"}],
            "messages": [{"id": 117, "level": "INFO", "time": "2026-12-07T11:00:01.000Z", "text": "x"}],
            "abortRequests": 0, "verify": "pass",
            "verdict": {"result": "recovered", "detail": "", "exitCode": 0, "line": "Verdict: recovered"}}


def selftest():
    """Each change must be rejected; the unchanged sample and two allowed variants must pass."""
    errors = []
    good = sample_report()
    allowed = [("pointInTime", "2021-03-02 12:00:00"), ("verify", None)]
    for key, value in allowed:
        report = copy.deepcopy(good)
        report[key] = value
        errors += ["allowed %s=%r: %s" % (key, value, e) for e in schema_errors(report)]
    errors += ["sample: " + e for e in schema_errors(good)]
    breaks = [
        ("no verdict", lambda r: r.pop("verdict")),
        ("exit code 5", lambda r: r["verdict"].update(exitCode=5)),
        ("verdict word", lambda r: r["verdict"].update(result="ok")),
        ("phase name", lambda r: r["phases"][0].update(name="Restore")),
        ("negative bytes", lambda r: r["filespaces"][0].update(bytes=-1)),
        ("counted as text", lambda r: r["filespaces"][0].update(counted="26")),
        ("filespace result", lambda r: r["filespaces"][0].update(result="ok")),
        ("message level", lambda r: r["messages"][0].update(level="DEBUG")),
        ("message without id", lambda r: r["messages"][0].pop("id")),
        ("point in time", lambda r: r.update(pointInTime="02/03/2021 12:00:00")),
        ("verify word", lambda r: r.update(verify="yes")),
    ]
    for name, change in breaks:
        report = copy.deepcopy(good)
        change(report)
        if not schema_errors(report):
            errors.append("%s: accepted" % name)
    return errors


def check_guide(guide_path, source_path):
    with open(guide_path, encoding="utf-8") as f:
        guide = f.read()
    with open(source_path, encoding="utf-8") as f:
        source = f.read()
    section = guide.partition("## A minimal host")[2]
    m = re.search(r"```cpp\n(.*?)```", section, re.S)
    if not m:
        return ["the guide has no C++ block under \"A minimal host\""]
    if m.group(1) != source:
        return ["the guide's minimal host differs from %s" % source_path]
    return []


def main():
    command = sys.argv[1]
    if command == "stamp":
        stamp()
        return 0
    if command == "report":
        errors = check_report(sys.argv[2], sys.argv[3], int(sys.argv[4]) if len(sys.argv) > 4 else None)
    elif command == "selftest":
        errors = selftest()
    elif command == "guide":
        errors = check_guide(sys.argv[2], sys.argv[3])
    else:
        errors = ["unknown command " + command]
    for e in errors:
        print("FAIL:", e)
    if not errors and command in ("selftest", "guide"):
        print("PASS")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
