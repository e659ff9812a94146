#!/usr/bin/env bash
# Creates a Wine prefix fit for the plug-in: 64-bit, no Mono/Gecko, null graphics driver
# (without it no console window exists and AllocConsole gives a console without key input).
# Does nothing when the prefix is already complete; safe to call from parallel tests.
# A first start of Wine that leaves the prefix without its system files is tried again from
# scratch; what Wine printed is kept in PREFIX.log and shown when every try failed.
set -euo pipefail
prefix=${1:?usage: make-wineprefix.sh PREFIX}

# Wine links the user's shell folders (Desktop, Documents, Templates, ...) to the Linux home: a
# restore or a walk of C: would then reach the home folder with everything in it. Each becomes an
# empty folder of the prefix; idempotent and safe in parallel, so it also mends older prefixes.
detach_home() {
  local link
  [ -d "$prefix/drive_c/users" ] || return 0
  find "$prefix/drive_c/users" -type l -print0 | while IFS= read -r -d '' link; do
    rm -f "$link" 2>/dev/null || true
    mkdir -p "$link"
  done
}

[ -f "$prefix/.cvex-ready" ] && { detach_home; exit 0; }
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.cvex-ready" ] && exit 0
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log=$prefix.log
# Only a prefix this script creates may be removed for another try.
[ -e "$prefix" ] && ours=0 || ours=1

prefix_complete() {
  [ -f "$prefix/drive_c/windows/system32/kernel32.dll" ] &&
    [ -f "$prefix/drive_c/windows/system32/reg.exe" ] && [ -f "$prefix/user.reg" ]
}

create_once() {
  if [ "$ours" = 1 ]; then
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
  fi
  wine wineboot -i >>"$log" 2>&1 || echo "wineboot exit code $?" >>"$log"
  wineserver -w || true
  prefix_complete || { echo "prefix incomplete after wineboot" >>"$log"; return 1; }
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >>"$log" 2>&1 ||
    { echo "reg add exit code $?" >>"$log"; return 1; }
  wineserver -w || true
  grep -q '"Graphics"="null"' "$prefix/user.reg" || { echo "Graphics value missing" >>"$log"; return 1; }
}

: >"$log"
for try in 1 2 3; do
  echo "== try $try $(date -u +%FT%TZ)" >>"$log"
  if create_once; then
    detach_home
    touch "$prefix/.cvex-ready"
    exit 0
  fi
  [ "$ours" = 1 ] || break
  sleep "$try"
done
echo "make-wineprefix: could not create $prefix; what Wine printed:" >&2
tail -n 40 "$log" >&2
exit 1
