#!/usr/bin/env bash
# The reference host's --restore all --verify inside sandbox machines: every filespace of the
# standard store restored with its progress lines, the summary table and the verdicts of the
# comparison with the store; then a restore that recover fails half-way (a fault knob), which
# must give exit code 1, a failed row and a FAIL verdict.
set -euo pipefail
root=${1:?usage: restore_sandbox_test.sh SOURCE_DIR BUILD_DIR}
build=${2:?usage: restore_sandbox_test.sh SOURCE_DIR BUILD_DIR}
faults=$(mktemp)
trap 'rm -f "$faults"' EXIT
printf '[faults]\nf1 = recover restore object:3 fail ddcl\n' >"$faults"
run() { # NAME [SANDBOX ARGS...] -- REFHOST ARGS...
  local name=$1; shift
  local sandbox_args=()
  while [ "$1" != -- ]; do sandbox_args+=("$1"); shift; done
  shift
  "$root/sandbox/run-in-sandbox.sh" --build "$build" --name "$name" --shape standard \
    --store-args "--server localhost" --put "$root/host/samples/answers.ini=X:\\answers.ini" --timeout 280 \
    "${sandbox_args[@]}" -- "$build/bin/refhost.exe" --answer-file 'X:\answers.ini' "$@" 2>&1 | tr -d '\r'
  return "${PIPESTATUS[0]}"
}
fail=0
expect() { # TEXT OUTPUT-VARIABLE
  if ! grep -qE -- "$1" <<<"${!2}"; then echo "FAIL ($2): missing: $1"; fail=1; fi
}
absent() {
  if grep -qE -- "$1" <<<"${!2}"; then echo "FAIL ($2): unexpected: $1"; fail=1; fi
}

rc=0
good=$(run hostrestore -- --restore all --verify) || rc=$?
[ $rc -eq 0 ] || { echo "FAIL (good): exit code $rc, expected 0"; fail=1; }
expect '^Filespaces: 3$' good
expect '^progress: C:\\: counting ' good
expect '^progress: D:\\Data\\Mount 1: finished 2/2 objects, 11 B/11 B \(100%\)' good
expect '^  C:\\ +26 +26 +334560 +[0-9:]+ +restored +0 \(0 errors, 0 warnings\)$' good
expect '^  D:\\ +5 +5 +196645 +[0-9:]+ +restored ' good
expect '^  D:\\Data\\Mount 1 +2 +2 +11 +[0-9:]+ +restored ' good
expect "^Verify: C: is also Wine's own system drive: [0-9]+ paths .* left out: " good
expect '^verify: PASS: 14 files and 12 folders of C: match the backup$' good
expect '^verify: PASS: 4 files and 3 folders of D: match the backup$' good
expect '^Verify: every restored drive matches the backup$' good
expect '^Fini: succeeded$' good
absent '^verify: FAIL' good

rc=0
bad=$(run hostfault --nwsim-ini "$faults" -- --restore 'D:\' --verify) || rc=$?
[ $rc -eq 1 ] || { echo "FAIL (bad): exit code $rc, expected 1"; fail=1; }
expect '^\[ERROR\] Cannot open file via DDCL for save-set' bad
expect '^Restore: D:\\: failed \(Cannot open file via DDCL' bad
expect '^Summary: 1 filespaces$' bad
expect '^  D:\\ +5 +2 +[0-9]+ +[0-9:]+ +failed +1 \(1 errors, 0 warnings\)$' bad
expect '^missing: D:\\Data\\report.txt$' bad
expect '^verify: FAIL: 3 missing, 0 extra, 0 size, 0 content, 0 time \(of 3 files and 2 folders of D:\)$' bad
expect '^Verify: differences found$' bad
expect '^Fini: succeeded$' bad

[ $fail -eq 0 ] || { echo "--- good"; echo "$good"; echo "--- bad"; echo "$bad"; exit 1; }
echo "2 passed, 0 failed"
