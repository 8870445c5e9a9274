#!/usr/bin/env bash
# Installs what is missing, builds, and starts POWER_TRQ on a simulated supply.
# Extra arguments go to the program (see ./run.sh --help).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target powertrq trq-simpty
exec build/release/app/powertrq "$@"
