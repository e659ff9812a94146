#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job with the reference host: in a sandbox
# machine with a simulated NetWorker server, an unattended recovery from the sample answer file
# (--recover): Init, the listing, every filespace (the Windows volume W:, the disk D: and its
# mounted folder), PrepareSystem into the offline installation on W:, Fini, each compared with the
# backup store (--verify); it prints a line per phase, the summary table and the verdict, and
# writes the report to BUILD/main-report.json. Extra arguments go to refhost.exe.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${CVEX_BUILD_DIR:-$root/build}")
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
# The simulated server answers to "localhost", the name the sample answer file gives it.
exec "$root/sandbox/run-in-sandbox.sh" --build "$build" --name main --shape standard --drives W,D \
     --store-args "--server localhost --windows-letter W" --put "$root/host/samples/answers.ini=X:\\answers.ini" --timeout 600 \
     -- "$build/bin/refhost.exe" --recover --answer-file 'X:\answers.ini' --verify --report "Z:${build//\//\\}\\main-report.json" "$@"
