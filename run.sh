#!/usr/bin/env bash
# Installs what is missing, builds, and starts POWER_TRQ on a simulated supply.
# Arguments go to the program (./run.sh --help); none means --sim PSQ-3323.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target powertrq trq-simpty
# Without arguments: on line with the simulated three-channel supply.
[ $# -gt 0 ] || set -- --sim PSQ-3323
exec build/release/app/powertrq "$@"
