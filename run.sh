#!/usr/bin/env bash
# Builds the station and runs it in ./station. With a Bluetooth radio present it uses the radio;
# without one it runs in a simulated world: station/world.ini names a radio and five phones,
# and phonesim plays the phones, storing what they receive under station/inbox/.
# With a display the operator's window opens; without one, or with --headless, the station runs
# without a window and prints its status every 10 seconds.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -G Ninja -DNYVEX_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"
./scripts/prepare-station.sh station build
station=$(pwd)/station

mode=(--headless)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    mode=()
fi
for arg in "$@"; do
    [ "$arg" = "--headless" ] && mode=()
done

if compgen -G "/sys/class/bluetooth/hci*" >/dev/null; then
    echo "Bluetooth radio found: the station uses it. Ctrl-C stops it."
    cd "$station"
    exec ../build/bin/Nyvex "${mode[@]}" "$@"
fi

[ -f "$station/world.ini" ] || cp data/demo/world.ini "$station/"
[ -f "$station/tolvik.ini" ] || cp data/demo/tolvik.ini "$station/"
mkdir -p "$station/inbox"
echo "No Bluetooth radio here: the station runs in the simulated world of station/world.ini."
echo "Pushed files arrive in station/inbox/<phone address>/. Ctrl-C (or the window's Cancel)"
echo "stops the station."
build/bin/phonesim "$station/world.ini" "$station/inbox" > >(tee "$station/phonesim.log") 2>&1 &
phonesim=$!
trap 'kill "$phonesim" 2>/dev/null || true; wait "$phonesim" 2>/dev/null || true' EXIT
cd "$station"
NYVEX_SIMULATION="$station/world.ini" ../build/bin/Nyvex "${mode[@]}" "$@"
