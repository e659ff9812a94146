#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine.
# Extra arguments go to ctest (for example: -L engine, or -LE slow).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CVEX_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j2 "$@"
