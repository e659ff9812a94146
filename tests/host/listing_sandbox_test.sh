#!/usr/bin/env bash
# The reference host's --list and --json inside a sandbox machine: Init, the listing of the
# standard store with its marks and system-state components, the check, and the same as JSON.
set -euo pipefail
root=${1:?usage: listing_sandbox_test.sh SOURCE_DIR BUILD_DIR}
build=${2:?usage: listing_sandbox_test.sh SOURCE_DIR BUILD_DIR}
json=$(mktemp)
trap 'rm -f "$json"' EXIT
out=$("$root/sandbox/run-in-sandbox.sh" --build "$build" --name hostlist --shape standard \
      --store-args "--server localhost" --put "$root/host/samples/answers.ini=X:\\answers.ini" --timeout 240 -- \
      "$build/bin/refhost.exe" --answer-file 'X:\answers.ini' --list --json 'Z:'"${json//\//\\}" 2>&1 | tr -d '\r') ||
  { echo "$out"; echo "FAIL: refhost exited non-zero"; exit 1; }
fail=0
expect() {
  if ! grep -qE -- "$1" <<<"$out"; then echo "FAIL: missing: $1"; fail=1; fi
}
expect '^Init: succeeded$'
expect '^Filespaces: 3$'
expect '^  C:\\ +C +- +NTFS +2021-03-08 22:00 +BOOT SYSTEM/EFI +7 \(needed to start, boot volume, system volume\)$'
expect '^  D:\\ +D +- +NTFS +2021-03-08 22:10 +- +0 \(-\)$'
expect '^  D:\\Data\\Mount 1 +- +D:\\Data\\Mount 1 +- .* 8 \(mounted folder\)$'
expect '^System-state components: 7$'
expect '^  8 +VSS SYSTEM BOOT:\\ +2021-03-08 23:00:00$'
expect '^System state: complete$'
expect '^Fini: succeeded$'
python3 - "$json" <<'PY' || fail=1
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
names = [f["name"] for f in doc["filespaces"]]
assert names == ["C:\\", "D:\\", "D:\\Data\\Mount 1"], names
assert doc["filespaces"][0]["flags"] == 7 and doc["filespaces"][0]["boot"], doc["filespaces"][0]
assert doc["filespaces"][2]["letter"] == "-" and doc["filespaces"][2]["path"] == "D:\\Data\\Mount 1"
types = sorted(c["type"] for c in doc["system_state"])
assert types == [6, 7, 8, 9, 10, 11, 16], types
assert doc["system_state_complete"] is True
PY
[ $fail -eq 0 ] || { echo "$out"; cat "$json"; exit 1; }
echo "1 passed, 0 failed"
