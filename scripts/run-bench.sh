#!/usr/bin/env bash
# Installs what is missing, builds, runs the engine benchmarks each in a sandbox machine of its
# own, prints the results table and writes it as JSON to BUILD/bench/results.json.
#   scripts/run-bench.sh [--quick]     --quick: small sizes, same figures
# Exits 1 when a measured figure misses its goal.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CVEX_BUILD_DIR:-$root/build}
export CVEX_BUILD_DIR=$build
mode=full lines=1000000 prompts=200 passwords=3 runs=3
if [ "${1:-}" = --quick ]; then
  mode=quick lines=100000 prompts=50 passwords=3
fi
"$root/scripts/install-deps.sh"
# A fresh tree gets the whole build; a configured one only what the benchmarks run.
if [ -f "$build/CMakeCache.txt" ]; then
  cmake --build "$build" -j"$(nproc)" --target bench_engine bench_tool CVEX halvo_nm
  "$root/scripts/make-wineprefix.sh" "$build/wineprefix"
else
  "$root/scripts/build.sh"
fi
out=$build/bench
mkdir -p "$out"
rm -f "$out"/*.log
# The stand-in tool goes beside the driver in the host folder, where the driver looks for it.
tool_path='X:\Program Files\Velmora\HALVO\bench_tool.exe'
bench() {
  local what=$1 count=$2
  echo "run-bench: $what $count x $runs"
  "$root/sandbox/run-in-sandbox.sh" --build "$build" --name "bench-$what" --shape none --tools none \
      --put "$build/bin/bench_tool.exe=$tool_path" --timeout 900 \
      -- "$build/bin/bench_engine.exe" "$what" "$count" "$runs" | tee "$out/$what.log" ||
    echo "run-bench: $what failed (exit ${PIPESTATUS[0]})"
}
bench throughput "$lines"
bench prompts "$prompts"
bench passwords "$passwords"
python3 "$root/benchmarks/bench_report.py" "$mode" "$out/results.json" "$out"/*.log
