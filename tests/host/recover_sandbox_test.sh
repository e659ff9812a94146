#!/usr/bin/env bash
# The reference host's --recover in sandbox machines whose Windows volume is W:: full recoveries
# of the standard and the vss shapes with --verify and --report, and one at a point in time; a
# filespace that recover fails (exit 1), one with fewer objects than counted (exit 3), a bad
# answer file (exit 2) and an abort through the abort file while recover hangs (exit 4, no tool
# left running).
set -euo pipefail
root=${1:?usage: recover_sandbox_test.sh SOURCE_DIR BUILD_DIR}
build=${2:?usage: recover_sandbox_test.sh SOURCE_DIR BUILD_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check="$root/tests/host/recover_check.py"
winpath() { printf 'Z:%s' "${1//\//\\}"; } # Z: is the Linux root inside a sandbox
fail=0
run() { # NAME SHAPE OUT [SANDBOX ARGS...] -- REFHOST ARGS...
  local name=$1 shape=$2 out=$3; shift 3
  local sandbox_args=()
  while [ "$1" != -- ]; do sandbox_args+=("$1"); shift; done
  shift
  "$root/sandbox/run-in-sandbox.sh" --build "$build" --name "$name" --shape "$shape" --drives W,D \
    --store-args "--server localhost --windows-letter W" --put "$root/host/samples/answers.ini=X:\\answers.ini" \
    --timeout 280 "${sandbox_args[@]}" -- "$build/bin/refhost.exe" --recover --answer-file "${answer:-X:\answers.ini}" "$@" \
    2>&1 | python3 "$check" stamp >"$out"
  return "${PIPESTATUS[0]}"
}
expect() { # TEXT FILE
  if ! cut -f2- "$2" | tr -d '\r' | grep -qE -- "$1"; then echo "FAIL ($2): missing: $1"; fail=1; fi
}
absent() {
  if cut -f2- "$2" | tr -d '\r' | grep -qE -- "$1"; then echo "FAIL ($2): unexpected: $1"; fail=1; fi
}
code() { # GOT WANT NAME
  [ "$1" -eq "$2" ] || { echo "FAIL ($3): exit code $1, expected $2"; fail=1; }
}

# Full recoveries: every filespace, the system state, the comparison with the store, the report.
for shape in standard vss; do
  rc=0
  run "rec$shape" "$shape" "$work/$shape.out" -- --verify --report "$(winpath "$work/$shape.json")" || rc=$?
  code $rc 0 "$shape"
  expect '^Phase answer file: succeeded' "$work/$shape.out"
  expect '^Phase Init: succeeded \[[0-9:]+\]$' "$work/$shape.out"
  expect '^Phase RestoreFilespace W:\\: succeeded' "$work/$shape.out"
  expect '^Phase PrepareSystem: succeeded' "$work/$shape.out"
  expect '^Phase verify system state: succeeded' "$work/$shape.out"
  expect '^verify: PASS: .* of W: match the backup$' "$work/$shape.out"
  expect '^  W:\\ +[0-9]+ +[0-9]+ +[0-9]+ +[0-9:]+ +restored +0$' "$work/$shape.out"
  expect '^Verdict: recovered$' "$work/$shape.out"
  absent '^verify: FAIL' "$work/$shape.out"
  python3 "$check" output "$work/$shape.out" || fail=1
  python3 "$check" report "$work/$shape.json" "$work/$shape.out" || fail=1
done

# The point-in-time sample: the backup of 2021-03-01, one object fewer on W: than the latest one.
rc=0
answer='X:\pit.ini' run recpit standard "$work/pit.out" --put "$root/host/samples/answers-pit.ini=X:\\pit.ini" -- --verify --report "$(winpath "$work/pit.json")" || rc=$?
code $rc 0 pit
expect '^  W:\\ +W +- +NTFS +2021-03-01 22:00 ' "$work/pit.out"
expect '^verify: PASS: 13 files and 12 folders of W: match the backup$' "$work/pit.out"
expect '^Verdict: recovered$' "$work/pit.out"
python3 "$check" report "$work/pit.json" "$work/pit.out" || fail=1
grep -q '"pointInTime": "2021-03-02 12:00:00"' "$work/pit.json" || { echo "FAIL (pit): report point in time"; fail=1; }

# recover fails half-way through D:\: the filespace is named, the system state is not tried.
printf '[faults]\nf1 = recover restore object:3 fail ddcl\n' >"$work/fail.ini"
rc=0
run recfail standard "$work/fail.out" --nwsim-ini "$work/fail.ini" -- --only 'D:\' --report "$(winpath "$work/fail.json")" || rc=$?
code $rc 1 fail
expect '^Phase RestoreFilespace D:\\: failed \(Cannot open file via DDCL' "$work/fail.out"
expect '^Phase PrepareSystem: skipped \(a filespace was not restored' "$work/fail.out"
expect '^Verdict: failed \(RestoreFilespace D:\\: Cannot open file via DDCL' "$work/fail.out"
python3 "$check" report "$work/fail.json" "$work/fail.out" || fail=1

# recover ends without error before the third object: fewer restored than counted.
printf '[faults]\nf1 = recover restore object:3 exit 0\n' >"$work/short.ini"
rc=0
run recshort standard "$work/short.out" --nwsim-ini "$work/short.ini" -- --only 'D:\' --skip-system-state || rc=$?
code $rc 3 short
expect '^Phase PrepareSystem: skipped \(--skip-system-state\)' "$work/short.out"
expect '^Verdict: recovered with warnings \(D:\\ incomplete \(2 of 5 objects\)' "$work/short.out"

# An answer file that does not pass the check: exit 2 before Init touches the machine.
printf '[QernBackupLocation]\nServerName=\nClientName=winclient1\n' >"$work/bad.ini"
rc=0
answer='X:\bad.ini' run recbad standard "$work/bad.out" --put "$work/bad.ini=X:\\bad.ini" -- || rc=$?
code $rc 2 bad
expect '^Phase answer file: failed' "$work/bad.out"
expect '^Verdict: bad input' "$work/bad.out"
absent '^Phase Init' "$work/bad.out"
rc=0
run recopt standard "$work/opt.out" -- --no-such-option || rc=$?
code $rc 2 option

# recover hangs on D:\; the abort file appears twice: the host ends recover through the plug-in.
printf '[faults]\nf1 = recover restore object:2 hang 120\n' >"$work/hang.ini"
abort="$work/abort"
rc=0
run recabort standard "$work/abort.out" --nwsim-ini "$work/hang.ini" -- --only 'D:\' --abort-file "$(winpath "$abort")" &
pid=$!
for request in 1 2; do
  for _ in $(seq 120); do grep -q 'progress: D:\\: restoring' "$work/abort.out" 2>/dev/null && break; sleep 1; done
  sleep 2
  touch "$abort"
  for _ in $(seq 60); do [ -e "$abort" ] || break; sleep 1; done
  [ ! -e "$abort" ] || { echo "FAIL (abort): request $request was not taken"; fail=1; }
done
wait $pid || rc=$?
code $rc 4 abort
expect '^Abort: requested; the running step finishes' "$work/abort.out"
expect '^Abort: requested again; the running tool is being ended' "$work/abort.out"
expect '^Phase RestoreFilespace D:\\: aborted' "$work/abort.out"
expect '^Abort: no tool left running$' "$work/abort.out"
expect '^Verdict: aborted \(in RestoreFilespace D:\\\)$' "$work/abort.out"

if [ $fail -ne 0 ]; then
  for f in "$work"/*.out; do echo "--- $f"; cut -f2- "$f" | tr -d '\r'; done
  exit 1
fi
echo "8 passed, 0 failed"
