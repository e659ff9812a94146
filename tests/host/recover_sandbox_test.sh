#!/usr/bin/env bash
# The reference host's --recover in one sandbox machine (Windows volume W:, disks D: and S:) that
# serves every case of a group: between recoveries the simulated tools are pointed at another
# store, their fault knobs are rewritten and the disks are emptied.
#   recover_sandbox_test.sh SOURCE_DIR BUILD_DIR shapes
#       a full recovery of every whole-machine shape with --verify and --report, and the two shapes
#       that cannot be recovered (no saved configuration, no backup at all)
#   recover_sandbox_test.sh SOURCE_DIR BUILD_DIR faults
#       a bad option and a bad answer file (exit 2), an abort during Init, the listing and a restore
#       (exit 4, no tool left), the standard shape at the latest backup and at a point in time, a
#       filespace that recover fails (exit 1) and one with fewer objects than counted (exit 3), a
#       boot component whose hive is lost (exit 1)
set -euo pipefail
root=${1:?usage: recover_sandbox_test.sh SOURCE_DIR BUILD_DIR shapes|faults}
build=${2:?usage: recover_sandbox_test.sh SOURCE_DIR BUILD_DIR shapes|faults}
group=${3:?usage: recover_sandbox_test.sh SOURCE_DIR BUILD_DIR shapes|faults}
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

box=$(python3 "$root/sandbox/sandbox.py" create --build "$build" --name "rec$group" --shape standard \
  --drives W,D,S --store-args "--server localhost --windows-letter W" \
  --put "$root/host/samples/answers.ini=X:\\answers.ini" --put "$root/host/samples/answers-pit.ini=X:\\pit.ini" | tail -1)
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
recover() { # NAME [REFHOST ARGS...]: output stamped into NAME.out, exit code into NAME.rc
  local name=$1
  shift
  cases=$((cases + 1))
  set +e
  python3 "$root/sandbox/sandbox.py" run "$box" --timeout 280 -- "$build/bin/refhost.exe" --recover "$@" 2>&1 |
    python3 "$check" stamp >"$work/$name.out"
  echo "${PIPESTATUS[0]}" >"$work/$name.rc"
  set -e
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
  python3 "$check" output "$work/$name.out" | sed "s/^/($name) /"
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail=1
  report "$name"
}
system_in_place() { # NAME: PrepareSystem ran and the store's verifier found the system state in place
  expect "$1" '^Phase CheckSystemState: succeeded'
  expect "$1" '^Phase PrepareSystem: succeeded'
  expect "$1" '^Phase verify system state: succeeded'
  absent "$1" '^  .* (failed|incomplete|not finished|aborted) +-$'
}
shape_store() { # SHAPE [BUILDER ARGS...]: a store of that shape whose Windows volume is W:
  local shape=$1
  shift
  python3 "$root/simulator/store/build_store.py" --out "$work/stores/$shape" --shape "$shape" \
    --server localhost --windows-letter W "$@" >&2
  echo "$work/stores/$shape"
}

if [ "$group" = shapes ]; then
  # Every shape that is a whole machine; the standard shape is in the other group.
  for shape in vss legacy dr efi all; do
    use "$(shape_store "$shape")"
    full "$shape" 0 recovered 'X:\answers.ini'
    system_in_place "$shape"
  done
  expect efi '^Phase RestoreFilespace S:\\: succeeded'
  expect efi '^verify: PASS: .* of S: match the backup$'
  expect dr '^  DISASTER_RECOVERY:\\.* +restored +-$'
  expect legacy '^  SYSTEM STATE +8 +8 +- +- +restored +-$'
  # Password-protected files: the password of --password is typed where recover asks for it.
  use "$(shape_store password)"
  full password 0 recovered 'X:\answers.ini' --password secret
  system_in_place password
  expect password 'a password was asked for and given'
  # NMM savesets alone are no complete system state: the volumes come back, the system state is
  # not tried, and the verdict names the check.
  use "$(shape_store nmm)"
  full nmm 1 'failed \(CheckSystemState: no complete system state: .+\)' 'X:\answers.ini'
  expect nmm '^Phase PrepareSystem: skipped \(the backup holds no complete system state\)'
  absent nmm '^Phase verify system state'
  # A backup without its saved configuration, and a client with no backup at all: the verdict names
  # the phase that stopped the recovery and nothing is written to the disks.
  for shape in noconfig empty; do
    use "$(shape_store "$shape")"
    clear_disks
    recover "$shape" --answer-file 'X:\answers.ini' --report "$(winpath "$work/$shape.json")"
    code "$shape" 1
    absent "$shape" '^Phase RestoreFilespace'
    report "$shape"
    [ -z "$(find "$box/drives/w" "$box/drives/d" -mindepth 1 -not -path '*/Data' -not -path '*/Data/Mount 1')" ] ||
      problem "$shape" "files written to the disks"
  done
  expect noconfig '^Verdict: failed \(GetFilespaceList: Failed to extract configuration from backup\)$'
  expect empty "^Verdict: failed \(Init: No files have been backed up for client 'winclient1' .*\)$"
else
  use "$box/store"
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

  # The abort file appears twice while a tool hangs: the host ends it through the plug-in, within
  # a bound, and nothing more runs.
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
  abort_case abortinit '^Init: connecting' Init 'recover session start hang 120'
  absent abortinit '^Phase GetFilespaceList'
  abort_case abortlist '^Phase Init: succeeded' GetFilespaceList \
    'for:"W:\QERNCFG\disrec.ini" recover restore start hang 120'
  absent abortlist '^Phase CheckSystemState'
  use "$box/store"

  # The latest backup, then the sample at a point in time: the backup of 2021-03-01, one object
  # fewer on W: than the latest one.
  full standard 0 recovered 'X:\answers.ini'
  system_in_place standard
  full pit 0 recovered 'X:\pit.ini'
  system_in_place pit
  expect pit '^  W:\\ +W +- +NTFS +2021-03-01 22:00 '
  expect pit '^verify: PASS: 13 files and 12 folders of W: match the backup$'
  grep -q '"pointInTime": "2021-03-02 12:00:00"' "$work/pit.json" || problem pit "report point in time"

  # The boot component's SAM hive is gone before the plug-in could hold it: the volumes come back,
  # the preparation fails naming the component, whose row says so.
  use "$box/store"
  printf '[restore]\r\nmissing_hive = SAM\r\n' >>"$tools_ini"
  full losthive 1 'failed \(PrepareSystem: Failed to restore VSS SYSTEM BOOT\)' 'X:\answers.ini'
  expect losthive '^Phase PrepareSystem: failed \(Failed to restore VSS SYSTEM BOOT\)'
  expect losthive '^  VSS SYSTEM BOOT:\\ +[0-9]+ +[0-9]+ +- +- +failed +-$'
  use "$box/store"

  # recover fails half-way through D:\: the filespace is named, the system state is not tried.
  use "$box/store" 'recover restore object:3 fail ddcl'
  recover restorefail --answer-file 'X:\answers.ini' --only 'D:\' --report "$(winpath "$work/restorefail.json")"
  code restorefail 1
  expect restorefail '^Phase RestoreFilespace D:\\: failed \(Cannot open file via DDCL'
  expect restorefail '^Phase PrepareSystem: skipped \(a filespace was not restored'
  expect restorefail '^  D:\\ .* failed +[0-9]+$'
  expect restorefail '^Verdict: failed \(RestoreFilespace D:\\: Cannot open file via DDCL'
  report restorefail

  # recover cannot write the third object and says so: fewer restored than counted, each named.
  use "$box/store" 'recover restore object:3 skip'
  recover short --answer-file 'X:\answers.ini' --only 'D:\' --skip-system-state --report "$(winpath "$work/short.json")"
  code short 3
  expect short '^Phase PrepareSystem: skipped \(--skip-system-state\)'
  expect short '^Verdict: recovered with warnings \(D:\\ incomplete \(4 of 5 objects\)'
  report short

  # recover ends without error before the third object and names nothing: not a restore.
  use "$box/store" 'recover restore object:3 exit 0'
  recover early --answer-file 'X:\answers.ini' --only 'D:\' --skip-system-state --report "$(winpath "$work/early.json")"
  code early 1
  expect early '^Verdict: failed \(RestoreFilespace D:\\: Not every object came back to D:: 2 of the 5 objects counted'
  report early

  # recover hangs on D:\: the summary's row says aborted, not failed.
  abort_case abortrestore 'progress: D:\\: restoring' 'RestoreFilespace D:\\' 'recover restore object:2 hang 120' \
    --only 'D:\'
  expect abortrestore '^  D:\\ .* aborted +[0-9]+$'
  absent abortrestore '^  D:\\ .* failed +[0-9]+$'
fi

if [ $fail -ne 0 ]; then
  for f in "$work"/*.out; do echo "--- $f"; cut -f2- "$f" | tr -d '\r'; done
  exit 1
fi
echo "$cases recoveries as expected"
