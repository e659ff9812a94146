#!/usr/bin/env bash
# The reference host's developer command drives the simulated recover tool through the console
# engine inside a sandbox machine: prompts are answered in order, lines and the end are shown.
set -euo pipefail
root=${1:?usage: dev_run_tool_test.sh SOURCE_DIR BUILD_DIR}
build=${2:?usage: dev_run_tool_test.sh SOURCE_DIR BUILD_DIR}
out=$("$root/sandbox/run-in-sandbox.sh" --build "$build" --name devtool --shape standard -- \
      "$build/bin/refhost.exe" --dev-run-tool 'X:\PROGRA~1\Legato\nsr\bin\recover.exe -s "nwsrv" -c "winclient1"' \
      --answer "cd /" --answer "ll -S" 2>&1) || { echo "$out"; echo "FAIL: refhost exited non-zero"; exit 1; }
fail=0
expect() {
  if ! grep -qF -- "$1" <<<"$out"; then echo "FAIL: missing: $1"; fail=1; fi
}
expect '[prompt] recover> '
expect '[typed] cd /'
expect '[typed] ll -S'
expect 'C:\'
expect 'VSS SYSTEM BOOT:\'
expect '[typed] EXIT'
expect '[end] output finished'
# The answers come in order: "cd /" is typed before "ll -S".
first=$(grep -n -F '[typed] cd /' <<<"$out" | cut -d: -f1)
second=$(grep -n -F '[typed] ll -S' <<<"$out" | cut -d: -f1)
[ "${first:-0}" -lt "${second:-0}" ] || { echo "FAIL: answers out of order"; fail=1; }
[ $fail -eq 0 ] || { echo "$out"; exit 1; }
echo "1 passed, 0 failed"
