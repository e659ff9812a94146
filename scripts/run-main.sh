#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job with the reference host: in a sandbox
# machine with a simulated NetWorker server, the sample answer file is loaded, Init makes the
# machine a NetWorker client of that server, the listing shows what its backup holds, every
# filespace is restored with its progress (the Windows volume W:, the disk D: and its mounted
# folder), PrepareSystem brings the system state back into the offline installation on W:,
# CheckSystemState answers, Fini ends the session, and the restored drives and the system state
# are compared with the backup store. Extra arguments go to refhost.exe.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CVEX_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
# The simulated server answers to "localhost", the name the sample answer file gives it.
exec "$root/sandbox/run-in-sandbox.sh" --build "$build" --name main --shape standard --drives W,D \
     --store-args "--server localhost --windows-letter W" --put "$root/host/samples/answers.ini=X:\\answers.ini" --timeout 600 \
     -- "$build/bin/refhost.exe" --answer-file 'X:\answers.ini' --list --restore all --prepare-system --verify "$@"
