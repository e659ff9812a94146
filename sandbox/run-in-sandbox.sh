#!/usr/bin/env bash
# Builds a sandbox machine, runs one Windows program in it, tears the machine down and exits
# with the program's exit code (125 when the sandbox could not be built). Options: README.md.
#   sandbox/run-in-sandbox.sh --shape standard --drives D,E --cdrom F -- prog.exe args...
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exec python3 "$here/sandbox.py" oneshot "$@"
