#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job with the reference host.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CVEX_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$build/bin"
WINEPREFIX="$build/wineprefix" "$root/scripts/wine-run.sh" refhost.exe "$@"
