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

# The installed program: desktop entry and AppStream data as the desktop
# reads them, the .deb as Debian's checker does, and the unpacked program.
desktop-file-validate data/powertrq.desktop
appstreamcli validate --no-net data/io.github.powertrq.PowerTrq.metainfo.xml
cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)"
(cd build/package && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls build/package/powertrq_*.deb)
lintian --fail-on error "$deb"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/powertrq" --version
"$root/usr/bin/powertrq" --help >/dev/null
echo "Package: $deb"
