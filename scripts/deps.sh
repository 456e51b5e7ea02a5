#!/usr/bin/env bash
# Installs the Debian packages the station needs to build, run and test; quiet when all are there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-charts-dev libqt6opengl6-dev libbluetooth-dev libexpat1-dev libsimpleini-dev libsqlite3-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    ieee-data media-types openobex-apps obexftp
    libsystemd-dev udev dbus python3-dbusmock
    procps xvfb xauth imagemagick
    clang libclang-rt-dev llvm
    dpkg-dev file systemd passwd
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
