#!/usr/bin/env bash
# Builds the parsers' fuzz targets natively (clang, ASan, UBSan, libFuzzer) and runs each one for
# N inputs, starting from its seed corpus under fuzz/corpus/. A crash, a sanitizer report, a broken
# invariant or an input that takes longer than the per-input time-out fails the run.
#
#   scripts/run-fuzz.sh [--runs N] [--build-dir DIR] [--timeout S] [--seed S] [--only T1,T2,...]
#                       [--max-time S] [--record]
#
# N defaults to 1,000,000; DIR to $CVEX_FUZZ_BUILD_DIR, else build-fuzz-native beside the tree.
# --max-time stops a target's run after S seconds (the record then names the inputs that ran).
# Findings are kept as DIR/artifacts/<target>-crash-... (rerun one with DIR/<target>_fuzz FILE).
# Each run starts from the committed seeds alone, without address-space randomisation (compared
# pointers would steer the mutations) and without re-reading the corpus, so that a run with the
# same seed, commit and compiler repeats input for input.
# Each target's run leaves a short record in DIR/logs/<target>.txt (the whole libFuzzer output in
# DIR/logs/<target>.log); --record also keeps the record in the tree as fuzz/logs/<target>.txt.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
command_line="scripts/run-fuzz.sh $*"
runs=1000000
build=${CVEX_FUZZ_BUILD_DIR:-$(dirname "$root")/build-fuzz-native}
timeout=10
seed=0
only=
max_time=0
record=
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --max-time) max_time=$2; shift 2 ;;
    --record) record=1; shift ;;
    *) echo "run-fuzz: unknown argument $1" >&2; exit 2 ;;
  esac
done
for target in ${only//,/ }; do
  if [ ! -d "$root/fuzz/corpus/$target" ]; then
    echo "run-fuzz: no target $target (no fuzz/corpus/$target)" >&2
    exit 2
  fi
done

# clang and its runtime libraries (libFuzzer, the sanitizers), when missing.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  "$root/scripts/install-deps.sh" fuzz
fi

# What the record names: the commit built (and whether the tree differed from it), the compiler.
commit=$(git -C "$root" rev-parse HEAD 2>/dev/null || echo unknown)
if [ -n "$(git -C "$root" status --porcelain -- . ':!fuzz/logs' 2>/dev/null)" ]; then
  commit="$commit (with uncommitted changes)"
fi
compiler=$(clang++ --version | head -1)
fixed=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  fixed=(setarch "$(uname -m)" -R)
fi

CXX=clang++ cmake -S "$root/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }

# One fingerprint of a seed folder: the hash of its files' names and hashes, in name order.
corpus_hash() {
  (cd "$1" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum | sha256sum | cut -c1-16)
}

# The final stats of libFuzzer on one line: "stat::name: value" pairs as name=value.
final_stats() {
  grep -E '^stat::' "$1" | sed -E 's/^stat::([a-z_]+): *([0-9]+).*/\1=\2/' | tr '\n' ' ' | sed 's/ $//'
}

# write_record TARGET SEEDS LOG SECONDS STATUS FILE
write_record() {
  local target=$1 seeds=$2 log=$3 seconds=$4 status=$5 out=$6
  local done_line runs_line cov_line finding
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 | tr -s ' \t' ' ' || true)
  runs_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -1 || true)
  cov_line=$(grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$log" | head -1 | tr -s ' \t' ' ' || true)
  {
    echo "target:   $target"
    echo "date:     $(date -u +%Y-%m-%dT%H:%M:%SZ)"
    echo "commit:   $commit"
    echo "command:  nice -n $(nice) $command_line"
    echo "fuzzer:   ${fixed[*]:+${fixed[*]} }${target}_fuzz -runs=$runs -seed=$seed -reload=0 -timeout=$timeout -max_len=4096 -rss_limit_mb=2048 -max_total_time=$max_time"
    echo "seeds:    fuzz/corpus/$target ($(find "$seeds" -type f | wc -l) files, $(corpus_hash "$seeds"))"
    echo "compiler: $compiler"
    echo "inputs:   $(echo "$runs_line" | sed -nE 's/^Done ([0-9]+) runs.*/\1/p')"
    echo "time:     $seconds s"
    echo "start:    ${cov_line:-none}"
    echo "end:      ${done_line:-none}"
    echo "stats:    $(final_stats "$log")"
    if [ "$status" = ok ]; then
      echo "result:   ok"
    else
      finding=$(grep -m1 -E 'invariant broken|ERROR: (libFuzzer|AddressSanitizer)|runtime error' "$log" || echo "see the libFuzzer output")
      echo "result:   FINDING: $finding"
    fi
  } >"$out"
}

mkdir -p "$build/artifacts" "$build/logs"
[ -n "$record" ] && mkdir -p "$root/fuzz/logs"
failed=()
for seeds in "$root"/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  [ -n "$only" ] && [[ ",$only," != *",$target,"* ]] && continue
  # New inputs go to a working corpus in the build tree, emptied first; the committed seeds stay
  # as they are.
  work="$build/corpus/$target"
  rm -rf "$work"
  mkdir -p "$work"
  log="$build/logs/$target.log"
  start=$(date +%s)
  status=ok
  if ! "${fixed[@]}" "$build/${target}_fuzz" -runs="$runs" -seed="$seed" -reload=0 -timeout="$timeout" -max_len=4096 \
       -rss_limit_mb=2048 \
       -max_total_time="$max_time" -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$work" "$seeds" >"$log" 2>&1; then
    status=FAILED
    failed+=("$target")
  fi
  seconds=$(($(date +%s) - start))
  write_record "$target" "$seeds" "$log" "$seconds" "$status" "$build/logs/$target.txt"
  [ -n "$record" ] && cp "$build/logs/$target.txt" "$root/fuzz/logs/$target.txt"
  # The last progress line names how many inputs ran and how fast.
  done_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -1 || true)
  printf '%-16s %-6s %4ss  %s\n' "$target" "$status" "$seconds" "${done_line:-see $log}"
  if [ "$status" != ok ]; then
    grep -E 'ERROR|invariant broken|runtime error|SUMMARY|Test unit written' "$log" | head -20 || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "run-fuzz: findings in ${failed[*]} (artifacts in $build/artifacts)" >&2
  exit 1
fi
if [ "$max_time" -gt 0 ]; then
  echo "run-fuzz: every target ran up to $runs inputs (at most $max_time s each) without a finding"
else
  echo "run-fuzz: every target ran $runs inputs without a finding"
fi
