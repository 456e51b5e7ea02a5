#!/usr/bin/env bash
# Builds the station and runs every test: a normal build, then AddressSanitizer + UBSan,
# then the threaded tests under ThreadSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
./scripts/check-format.sh

jobs=$(nproc)
build_and_test() {
    local dir=$1 sanitize=$2 label=$3
    echo "== ${dir} (sanitize='${sanitize}')"
    cmake -S . -B "$dir" -G Ninja -DNYVEX_SANITIZE="$sanitize" -DNYVEX_BUILD_BENCH=$([ -z "$sanitize" ] && echo ON || echo OFF) >/dev/null
    cmake --build "$dir" -j "$jobs"
    local args=(--test-dir "$dir" --output-on-failure -j "$jobs")
    [ -n "$label" ] && args+=(-L "$label")
    ctest "${args[@]}"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

build_and_test build "" ""
build_and_test build-asan address ""
build_and_test build-tsan thread threaded
