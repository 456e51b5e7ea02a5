#!/usr/bin/env bash
# Builds the station and runs it in ./station. With no Bluetooth radio present it runs in the
# simulated world of station/world.ini.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -G Ninja -DNYVEX_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"
./scripts/prepare-station.sh station build
cd station
exec ../build/bin/Nyvex "$@"
