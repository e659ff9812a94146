#!/usr/bin/env bash
# Creates a Wine prefix fit for the plug-in: 64-bit, no Mono/Gecko, null graphics driver
# (without it no console window exists and AllocConsole gives a console without key input).
# Does nothing when the prefix is already complete; safe to call from parallel tests.
set -euo pipefail
prefix=${1:?usage: make-wineprefix.sh PREFIX}
[ -f "$prefix/.cvex-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.cvex-ready" ] && exit 0
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine wineboot -i >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null 2>&1
wineserver -w
grep -q '"Graphics"="null"' "$prefix/user.reg" || { echo "make-wineprefix: could not configure $prefix" >&2; exit 1; }
touch "$prefix/.cvex-ready"
