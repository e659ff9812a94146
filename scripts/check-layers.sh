#!/usr/bin/env bash
# Fails when a source includes a header of a folder above its own. The order of the folders is
# the block between the "layers:" markers in docs/architecture.md, lowest first; folders on one
# line are one layer and may include each other. Folders outside the module (netlib, simulator)
# may include only the lowest layer. Tests and scripts are not checked.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
python3 - "$@" <<'PY'
import pathlib, re, subprocess, sys

doc = pathlib.Path("docs/architecture.md").read_text(encoding="utf-8")
block = re.search(r"<!-- layers: -->\s*```\s*\n(.*?)```\s*<!-- :layers -->", doc, re.S)
if not block:
    sys.exit("docs/architecture.md: no layer block between <!-- layers: --> and <!-- :layers -->")
level = {}
for i, line in enumerate(l for l in block.group(1).splitlines() if l.strip()):
    for folder in line.split():
        level[folder.rstrip("/")] = i
outside = ["netlib", "simulator"]
lowest = [f for f, n in level.items() if n == 0]

def room(path):
    """The longest listed folder that holds the path, or None."""
    best = None
    for folder in list(level) + outside:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best

try:
    files = subprocess.run(["git", "ls-files", "*.cpp", "*.h", "*.rc"], check=True,
                           capture_output=True, text=True).stdout.split()
except (OSError, subprocess.CalledProcessError):
    files = [str(p) for p in pathlib.Path(".").rglob("*") if p.suffix in (".cpp", ".h", ".rc")
             and not p.parts[0].startswith("build")]
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
bad = []
for name in files:
    own = room(name)
    if own is None:
        continue
    for n, text in enumerate(pathlib.Path(name).read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        m = include.match(text)
        if not m:
            continue
        target = room(m.group(1))
        if target is None or target == own:
            continue
        if own in outside:
            ok = target in lowest
        else:
            ok = target in level and level[target] <= level[own]
        if not ok:
            bad.append(f"{name}:{n}: {own}/ includes {m.group(1)} ({target}/ is above it)")
for line in bad:
    print(line)
if bad:
    sys.exit(f"{len(bad)} include(s) against the layer order of docs/architecture.md")
print(f"{len(files)} files keep the layer order")
PY
