#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail

packages=(
  qt6-base-dev libqt6opengl6-dev qt6-serialport-dev libqt6sql6-sqlite libqcustomplot-dev
  cmake ninja-build g++ libgtest-dev libbenchmark-dev
  xvfb xauth socat poppler-utils fonts-dejavu-core fonts-wqy-microhei clang-format
  python3-pyvisa python3-pyvisa-py
  dpkg-dev file lintian desktop-file-utils appstream
  libmosquitto-dev mosquitto mosquitto-clients libqt6svg6 qt6-l10n-tools qt6-translations-l10n
  postgresql libqt6sql6-psql
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
