#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine.
# Extra arguments go to ctest (for example: -L engine, or -LE slow).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CVEX_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$build"
# A fresh build tree has no timing history: CTest would start the longest programs last and leave a
# core idle at the end. The committed costs (seconds a run took here) seed it once.
costs=Testing/Temporary/CTestCostData.txt
if [ ! -f "$costs" ]; then
  mkdir -p "$(dirname "$costs")"
  cp "$root/tests/ctest-costs.txt" "$costs"
fi
ctest --output-on-failure -j2 "$@"
