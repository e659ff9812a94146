#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix (never ~/.wine).
# The prefix is created on first use; WINEPREFIX may be set by the caller (sandboxes do).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${WINEPREFIX:=${CVEX_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX
export WINEDEBUG=-all
"$here/make-wineprefix.sh" "$WINEPREFIX"
exec wine "$@"
