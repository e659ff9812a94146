#!/usr/bin/env bash
# Writes the fault matrix's table (tests/faults/fault_matrix_rows.cpp) into docs/reliability.md,
# between its markers. The test fault_matrix_table fails while the two differ.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CVEX_BUILD_DIR:-$root/build}
doc=$root/docs/reliability.md
table=$(mktemp)
trap 'rm -f "$table"' EXIT
WINEPREFIX=$build/wineprefix "$root/scripts/wine-run.sh" "$build/bin/fault_matrix_table.exe" --print-matrix | tr -d '\r' >"$table"
[ -s "$table" ] || { echo "update-fault-matrix: no table from $build/bin/fault_matrix_table.exe" >&2; exit 1; }
python3 - "$doc" "$table" <<'PY'
import sys
doc, table = sys.argv[1], open(sys.argv[2], encoding="utf-8").read()
begin, end = "<!-- fault matrix begin -->\n", "<!-- fault matrix end -->"
text = open(doc, encoding="utf-8").read()
if begin not in text or end not in text:
    sys.exit("update-fault-matrix: the markers are missing in " + doc)
head, rest = text.split(begin, 1)
open(doc, "w", encoding="utf-8").write(head + begin + table + end + rest.split(end, 1)[1])
PY
echo "update-fault-matrix: $(grep -c '^| ' "$table") lines written to $doc"
