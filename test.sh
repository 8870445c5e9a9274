#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UBSan, checks the
# formatting and runs every test. TRQ_PRESET=dev gives a faster, plain build.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
preset="${TRQ_PRESET:-asan}"

mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src app tools tests bench -name '*.cpp' -o -name '*.h')
if [ ${#sources[@]} -gt 0 ]; then
  clang-format --dry-run --Werror "${sources[@]}"
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"

# The program must use the Qt 6 build of every library (a Qt 5 one aborts at start).
if ldd "build/$preset/app/powertrq" | grep -q 'Qt5'; then
  echo "powertrq links a Qt 5 library" >&2
  exit 1
fi

ctest --preset "$preset" -j 2
