#!/usr/bin/env bash
# The reference host's own decisions in one sandbox machine (Windows volume W:, disks D: and S:):
# the listing and its JSON, the developer's tool run, and --recover: bad input (exit 2), a whole
# recovery with --verify and --report, a filespace that recover fails (exit 1), one with fewer
# objects than counted under --skip-system-state (exit 3), and an abort during a restore (exit 4).
# Between runs the simulated tools' fault knobs are rewritten and the disks are emptied.
#   recover_sandbox_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=${1:?usage: recover_sandbox_test.sh SOURCE_DIR BUILD_DIR}
build=${2:?usage: recover_sandbox_test.sh SOURCE_DIR BUILD_DIR}
check="$root/tests/host/recover_check.py"
work=$(mktemp -d)
box=""
cleanup() {
  [ -z "$box" ] || python3 "$root/sandbox/sandbox.py" destroy "$box" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
winpath() { printf 'Z:%s' "${1//\//\\}"; } # Z: is the Linux root inside a sandbox
fail=0
cases=0
problem() { echo "FAIL ($1): $2"; fail=1; }
expect() { # NAME REGEX
  if ! cut -f2- "$work/$1.out" | tr -d '\r' | grep -E -- "$2" >/dev/null; then problem "$1" "missing: $2"; fi
}
absent() {
  if cut -f2- "$work/$1.out" | tr -d '\r' | grep -E -- "$2" >/dev/null; then problem "$1" "unexpected: $2"; fi
}
code() { # NAME WANT
  [ "$(cat "$work/$1.rc")" -eq "$2" ] || problem "$1" "exit code $(cat "$work/$1.rc"), expected $2"
}
report() { # NAME: the report validates against the schema and says what the screen said
  python3 "$check" report "$work/$1.json" "$work/$1.out" "$(cat "$work/$1.rc")" | sed "s/^/($1) /"
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail=1
}

box=$(python3 "$root/sandbox/sandbox.py" create --build "$build" --name hostrec --shape standard \
  --drives W,D,S --store-args "--server localhost --windows-letter W" \
  --put "$root/host/samples/answers.ini=X:\\answers.ini" | tail -1)
[ -d "$box/drives/x" ] || { echo "FAIL: no sandbox machine ($box)"; exit 1; }
tools_ini="$box/drives/x/PROGRA~1/Legato/nsr/bin/nwsim.ini"
cp "$tools_ini" "$work/nwsim.ini"

use() { # STORE [FAULT...]: the tools' store and fault knobs; every fault count starts anew
  local store=$1 i=0
  shift
  {
    sed "s|^store *=.*|store = $(winpath "$store" | sed 's/\\/\\\\/g')|" "$work/nwsim.ini"
    [ $# -eq 0 ] || printf '[faults]\r\n'
    for f in "$@"; do printf 'f%d = %s\r\n' $((i += 1)) "$f"; done
  } >"$tools_ini"
  rm -f "${tools_ini%/*}/nwsim.state"
}
clear_disks() { # as the disk-layout stage leaves them: empty, with the volume mounted on D:
  local mount="$box/drives/d/Data/Mount 1"
  [ -L "$mount" ] && find "$(readlink -f "$mount")" -mindepth 1 -delete
  for d in w d s; do find "$box/drives/$d" -mindepth 1 ! -path '*/Data' ! -path '*/Data/Mount 1' -delete; done
}
host() { # NAME [REFHOST ARGS...]: output stamped into NAME.out, exit code into NAME.rc
  local name=$1
  shift
  cases=$((cases + 1))
  set +e
  python3 "$root/sandbox/sandbox.py" run "$box" --timeout 280 -- "$build/bin/refhost.exe" "$@" 2>&1 |
    python3 "$check" stamp >"$work/$name.out"
  echo "${PIPESTATUS[0]}" >"$work/$name.rc"
  set -e
}
recover() { # NAME [REFHOST ARGS...]
  local name=$1
  shift
  host "$name" --recover "$@"
}
full() { # NAME EXIT VERDICT ANSWER-FILE [REFHOST ARGS...]: a whole recovery onto empty disks, compared
  local name=$1 want=$2 verdict=$3 answer=$4 # with the store
  shift 4
  clear_disks
  recover "$name" --answer-file "$answer" --verify --report "$(winpath "$work/$name.json")" "$@"
  code "$name" "$want"
  expect "$name" "^Verdict: $verdict\$"
  expect "$name" '^Phase answer file: succeeded'
  expect "$name" '^Phase Init: succeeded \[[0-9:]+\]$'
  expect "$name" '^Phase RestoreFilespace W:\\: succeeded'
  expect "$name" '^Phase RestoreFilespace D:\\: succeeded'
  expect "$name" '^Phase verify filespaces: succeeded'
  expect "$name" '^verify: PASS: .* of W: match the backup$'
  expect "$name" '^verify: PASS: .* of D: match the backup$'
  expect "$name" '^  W:\\ +[0-9]+ +[0-9]+ +[0-9]+ +[0-9:]+ +restored +0$'
  absent "$name" '^verify: FAIL'
  report "$name"
}
system_in_place() { # NAME: PrepareSystem ran and the store's verifier found the system state in place
  expect "$1" '^Phase CheckSystemState: succeeded'
  expect "$1" '^Phase PrepareSystem: succeeded'
  expect "$1" '^Phase verify system state: succeeded'
  absent "$1" '^  .* (failed|incomplete|not finished|aborted) +-$'
}
# The abort file appears twice while a tool hangs: the host ends it through the plug-in, within a
# bound, and nothing more runs.
abort_case() { # NAME READY PHASE FAULT [REFHOST ARGS...]
  local name=$1 ready=$2 phase=$3 fault=$4 abort="$work/$1.abort" pid t0 t1
  shift 4
  cases=$((cases + 1)) # the recovery runs in a subshell of its own
  use "$box/store" "$fault"
  recover "$name" --answer-file 'X:\answers.ini' --abort-file "$(winpath "$abort")" \
    --report "$(winpath "$work/$name.json")" "$@" &
  pid=$!
  for request in 1 2; do
    for _ in $(seq 240); do cut -f2- "$work/$name.out" 2>/dev/null | grep -E -- "$ready" >/dev/null && break; sleep 0.5; done
    sleep 1
    touch "$abort"
    t0=$(date +%s)
    for _ in $(seq 120); do [ -e "$abort" ] || break; sleep 0.5; done
    [ ! -e "$abort" ] || problem "$name" "request $request was not taken"
  done
  wait $pid || true
  t1=$(date +%s)
  [ $((t1 - t0)) -le 40 ] || problem "$name" "ended $((t1 - t0)) s after the second request"
  code "$name" 4
  expect "$name" '^Abort: requested; the running step finishes'
  expect "$name" '^Abort: requested again; the running tool is being ended'
  expect "$name" "^Phase $phase: aborted \\(User has aborted the operation\\)"
  expect "$name" '^Abort: no tool left running$'
  expect "$name" "^Verdict: aborted \\(in $phase\\)\$"
  report "$name"
}

use "$box/store"
# The listing with its marks and system-state components, and the same as JSON.
host list --answer-file 'X:\answers.ini' --list --json "$(winpath "$work/list.json")"
code list 0
expect list '^Filespaces: 3$'
expect list '^  W:\\ +W +- +NTFS +2021-03-08 22:00 +BOOT SYSTEM/EFI +7 \(needed to start, boot volume, system volume\)$'
expect list '^  D:\\ +D +- +NTFS +2021-03-08 22:10 +- +0 \(-\)$'
expect list '^  D:\\Data\\Mount 1 +- +D:\\Data\\Mount 1 +- .* 8 \(mounted folder\)$'
expect list '^  8 +VSS SYSTEM BOOT:\\ +2021-03-08 23:00:00$'
expect list '^System state: complete$'
python3 - "$work/list.json" <<'PY' || problem list "JSON listing"
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
names = [f["name"] for f in doc["filespaces"]]
assert names == ["W:\\", "D:\\", "D:\\Data\\Mount 1"], names
assert doc["filespaces"][0]["flags"] == 7 and doc["filespaces"][0]["boot"], doc["filespaces"][0]
assert doc["filespaces"][2]["letter"] == "-" and doc["filespaces"][2]["path"] == "D:\\Data\\Mount 1"
assert sorted(c["type"] for c in doc["system_state"]) == [6, 7, 8, 9, 10, 11, 16], doc["system_state"]
assert doc["system_state_complete"] is True
PY
# The developer's tool run: prompts answered in order, lines and the end shown.
host devtool --dev-run-tool 'X:\PROGRA~1\Legato\nsr\bin\recover.exe -s "localhost" -c "winclient1"' \
  --answer "cd /" --answer "ll -S"
code devtool 0
expect devtool '^\[prompt\] recover> .*'
expect devtool '^\[typed\] cd /$'
expect devtool 'VSS SYSTEM BOOT:\\'
expect devtool '^\[end\] output finished'
cut -f2- "$work/devtool.out" | grep '^\[typed\]' | head -2 | tr -d '\r' | paste -sd'|' | grep -qx '\[typed\] cd /|\[typed\] ll -S' ||
  problem devtool "answers out of order"

# Bad input: nothing runs, nothing on the machine changes.
recover option --answer-file 'X:\answers.ini' --no-such-option
code option 2
printf '[QernBackupLocation]\r\nServerName=\r\nClientName=winclient1\r\n' >"$box/drives/x/bad.ini"
recover bad --answer-file 'X:\bad.ini' --report "$(winpath "$work/bad.json")"
code bad 2
expect bad '^Phase answer file: failed'
expect bad '^Verdict: bad input'
absent bad '^Phase Init'
report bad

full standard 0 recovered 'X:\answers.ini'
system_in_place standard

# recover fails half-way through D:\: the filespace is named, the comparison finds what is missing,
# the system state is not tried.
use "$box/store" 'recover restore object:3 fail ddcl'
clear_disks
recover restorefail --answer-file 'X:\answers.ini' --only 'D:\' --verify --report "$(winpath "$work/restorefail.json")"
code restorefail 1
expect restorefail '^Phase RestoreFilespace D:\\: failed \(Cannot open file via DDCL'
expect restorefail '^Phase PrepareSystem: skipped \(a filespace was not restored'
expect restorefail '^  D:\\ .* failed +[0-9]+$'
expect restorefail '^missing: D:\\Data\\report.txt$'
expect restorefail '^Verdict: failed \(RestoreFilespace D:\\: Cannot open file via DDCL'
absent restorefail '^Phase RestoreFilespace W:'
report restorefail

# recover cannot write the third object and says so: fewer restored than counted, each named.
use "$box/store" 'recover restore object:3 skip'
recover short --answer-file 'X:\answers.ini' --only 'D:\' --skip-system-state --report "$(winpath "$work/short.json")"
code short 3
expect short '^Phase PrepareSystem: skipped \(--skip-system-state\)'
expect short '^Verdict: recovered with warnings \(D:\\ incomplete \(4 of 5 objects\)'
report short

# recover hangs on D:\: the summary's row says aborted, not failed.
abort_case abortrestore 'progress: D:\\: restoring' 'RestoreFilespace D:\\' 'recover restore object:2 hang 120' \
  --only 'D:\'
expect abortrestore '^  D:\\ .* aborted +[0-9]+$'
absent abortrestore '^  D:\\ .* failed +[0-9]+$'

if [ $fail -ne 0 ]; then
  for f in "$work"/*.out; do echo "--- $f"; cut -f2- "$f" | tr -d '\r'; done
  exit 1
fi
echo "$cases runs as expected"
