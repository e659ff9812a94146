#!/usr/bin/env bash
# Builds the parsers' fuzz targets natively (clang, ASan, UBSan, libFuzzer) and runs each one for
# N inputs, starting from its seed corpus under fuzz/corpus/. A crash, a sanitizer report, a broken
# invariant or an input that takes longer than the per-input time-out fails the run.
#
#   scripts/run-fuzz.sh [--runs N] [--build-dir DIR] [--timeout S] [--seed S] [--only TARGET]
#
# N defaults to 1,000,000; DIR to $CVEX_FUZZ_BUILD_DIR, else build-fuzz-native beside the tree.
# Findings are kept as DIR/artifacts/<target>-crash-... (rerun one with DIR/<target>_fuzz FILE).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=1000000
build=${CVEX_FUZZ_BUILD_DIR:-$(dirname "$root")/build-fuzz-native}
timeout=10
seed=0
only=
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) echo "run-fuzz: unknown argument $1" >&2; exit 2 ;;
  esac
done

# clang and its runtime libraries (libFuzzer, the sanitizers), when missing.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  "$root/scripts/install-deps.sh" fuzz
fi

CXX=clang++ cmake -S "$root/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }

mkdir -p "$build/artifacts" "$build/logs"
failed=()
for seeds in "$root"/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  [ -n "$only" ] && [ "$only" != "$target" ] && continue
  # New inputs go to a working corpus in the build tree; the committed seeds stay as they are.
  work="$build/corpus/$target"
  mkdir -p "$work"
  log="$build/logs/$target.log"
  start=$(date +%s)
  status=ok
  if ! "$build/${target}_fuzz" -runs="$runs" -timeout="$timeout" -max_len=4096 -rss_limit_mb=2048 -seed="$seed" \
       -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$work" "$seeds" >"$log" 2>&1; then
    status=FAILED
    failed+=("$target")
  fi
  # The last progress line names how many inputs ran and how fast.
  done_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -1 || true)
  printf '%-16s %-6s %4ss  %s\n' "$target" "$status" "$(($(date +%s) - start))" "${done_line:-see $log}"
  if [ "$status" != ok ]; then
    grep -E 'ERROR|invariant broken|runtime error|SUMMARY|Test unit written' "$log" | head -20 || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "run-fuzz: findings in ${failed[*]} (artifacts in $build/artifacts)" >&2
  exit 1
fi
echo "run-fuzz: every target ran $runs inputs without a finding"
