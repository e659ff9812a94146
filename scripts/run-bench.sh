#!/usr/bin/env bash
# Installs what is missing, builds, runs every benchmark in a sandbox machine of its own, prints
# the results table and writes it as JSON to BUILD/bench/results.json.
#   scripts/run-bench.sh [--quick]     --quick: small sizes, same figures
# Exits 1 when a measured figure misses its goal.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CVEX_BUILD_DIR:-$root/build}
export CVEX_BUILD_DIR=$build
# Restore sizes: writing a file under Wine costs about 3 ms (count and restore pass together),
# so a 100,000-file restore takes about 5 minutes a side and a 1,000,000-file one about an hour.
# Full mode restores 20,000 and 2,000 files; CVEX_BENCH_LARGE and CVEX_BENCH_SMALL set other
# sizes (for example 100000 and 1000000, for a run of some hours).
mode=full lines=1000000 prompts=200 passwords=3 runs=3 steps=20
large=20000 small=2000 huge=2
# The count pass of a million objects (the store takes about 3 minutes to build once, the count
# about 3 minutes): its peak memory is judged against the small restore's.
count=1000000
# The listing's own share is the module's time less its consoles: a difference of two noisy
# times, so it takes more runs (about 3 s each) than the other figures.
listing_runs=11
# Quick mode reads 200,000 lines (the rates count from the tool started, so the engine's
# console is not in them; too few lines and the tool's own start weighs on both).
if [ "${1:-}" = --quick ]; then
  mode=quick lines=200000 prompts=50 passwords=3 steps=10
  large=1000 small=200 huge=1 listing_runs=5 count=20000
fi
large=${CVEX_BENCH_LARGE:-$large}
small=${CVEX_BENCH_SMALL:-$small}
count=${CVEX_BENCH_COUNT:-$count}
"$root/scripts/install-deps.sh"
# A fresh tree gets the whole build; a configured one only what the benchmarks run.
if [ -f "$build/CMakeCache.txt" ]; then
  cmake --build "$build" -j"$(nproc)" --target bench_engine bench_tool bench_host CVEX halvo_nm \
    sim_recover sim_mminfo sim_nsradmin sim_nsrexecd sim_nsrports sim_nwinstcreate
  "$root/scripts/make-wineprefix.sh" "$build/wineprefix"
else
  "$root/scripts/build.sh"
fi
out=$build/bench
mkdir -p "$out/stores"
rm -f "$out"/*.log
started=$SECONDS
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

# A backup store, built once per build tree and kept under BUILD/bench/stores/NAME (building
# 100,000 files takes minutes). Every store has the server "localhost" and the standard client,
# so that the tools of one machine can be pointed from one store to the next.
store() {
  local name=$1 dir="$out/stores/$1"
  shift
  if [ ! -f "$dir/manifest.ini" ]; then
    rm -rf "$dir" "$dir.partial"
    echo "run-bench: building the store $name" >&2
    python3 "$root/simulator/store/build_store.py" --out "$dir.partial" --shape standard --server localhost "$@" >&2
    mv "$dir.partial" "$dir"
  fi
  local win="Z:$dir"
  echo "${win//\//\\}"
}

# The operation benchmarks share one machine (disks D and E), one program run each.
operations() {
  local box large_store small_store listing_store count_store args=() i
  large_store=$(store "bulk$large-huge$huge" --bulk "$large" --bulk-huge "$huge")
  small_store=$(store "bulk$small" --bulk "$small")
  # 200 filespaces (the standard three and folders of D:) and 16 system-state components. The
  # listing takes a saveset for a component only by a name it knows: the standard store's seven
  # VSS writers, the legacy savesets, the disaster-recovery marker and three SharePoint farms.
  for ((i = 4; i <= 200; i++)); do args+=(--add-saveset "D:\\Share $i"); done
  for name in 'SYSTEM DB:\' 'SYSTEM FILES:\' 'SYSTEM STATE:\' 'ASR:\' 'DISASTER_RECOVERY:\' \
    'SHAREPOINT :\' 'SHAREPOINT 2:\' 'SHAREPOINT 3:\' 'SHAREPOINT 4:\'; do
    args+=(--add-saveset "$name")
  done
  listing_store=$(store listing-200-16-known "${args[@]}")
  count_store=$(store "bulk$count" --bulk "$count")
  box=$("$root/sandbox/sandbox.py" create --build "$build" --name bench-operations --shape standard \
    --store-args "--server localhost" --drives D,E)
  trap '"$root/sandbox/sandbox.py" destroy "$box"' EXIT
  run_in() {
    local log=$1
    shift
    echo "run-bench: $log: $*"
    "$root/sandbox/sandbox.py" run "$box" --timeout 3600 -- "$build/bin/bench_host.exe" "$@" | tee "$out/$log.log" ||
      echo "run-bench: $log failed (exit ${PIPESTATUS[0]})"
  }
  run_in restore-large restore large "$large_store" 'E:\' "$runs"
  run_in restore-small restore small "$small_store" 'E:\' "$runs"
  run_in count count large "$count_store" 'E:\' 1
  run_in listing listing "$listing_store" "$listing_runs" 16
  run_in console console "$runs"
  "$root/sandbox/sandbox.py" destroy "$box"
  trap - EXIT
}

bench throughput "$lines"
bench prompts "$prompts"
bench passwords "$passwords"
bench steps "$steps"
operations
echo "run-bench: $mode mode took $((SECONDS - started)) s"
# The figures of the run recorded last (benchmarks/previous-MODE.json) are printed beside.
python3 "$root/benchmarks/bench_report.py" --previous "$root/benchmarks/previous-$mode.json" \
  "$mode" "$out/results.json" "$out"/*.log
