#!/usr/bin/env bash
# Runs a Windows program under Wine in a network namespace of its own (loopback only), with a
# prefix of its own, so that the machine-wide TCP table it sees holds only its own connections.
# Usage: run-netns.sh PREFIX PROGRAM [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=${1:?usage: run-netns.sh PREFIX PROGRAM [ARGS...]}
shift
"$here/make-wineprefix.sh" "$prefix"
exec unshare --net -- bash -c '
  ip link set lo up
  export WINEPREFIX="$0" WINEDEBUG=-all
  status=0
  wine "$@" || status=$?
  wineserver -k 2>/dev/null || true
  exit $status' "$prefix" "$@"
