#!/usr/bin/env bash
# scripts/soak.sh [PHONES [ARRIVAL_MS [STAY_S]]]: the long soak. The headless station runs in the
# simulated world while PHONES phones (400) arrive one every ARRIVAL_MS milliseconds (1000) and
# stay STAY_S seconds (15; every tenth only passes by); it prints the station's memory, threads
# and open files and how many phones were served. The same test, shorter, runs in ctest (label
# "soak"). Build first:
#   cmake --build build --target e2e_soak_test Nyvex phonesim Radiox Obexa
set -euo pipefail
cd "$(dirname "$0")/.."
binary=build/tests/e2e_soak_test
[ -x "$binary" ] || { echo "scripts/soak.sh: $binary is not built" >&2; exit 2; }
export NYVEX_SOAK_PHONES=${1:-400} NYVEX_SOAK_ARRIVAL_MS=${2:-1000} NYVEX_SOAK_STAY_S=${3:-15}
exec "$binary"
