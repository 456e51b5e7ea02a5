#!/usr/bin/env bash
# Builds the station and runs every test: a normal build, then AddressSanitizer + UBSan,
# then the threaded tests under ThreadSanitizer, then a short run of every fuzz target (clang,
# libFuzzer). Exits non-zero on any failure or finding.
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

# Every fuzz target for a few seconds from its seeds: a smoke run that finds what a change broke
# plainly. fuzz/run.sh runs one target for longer.
fuzz_smoke() {
    local seconds=${NYVEX_FUZZ_SMOKE_SECONDS:-5}
    echo "== build-fuzz (every fuzz target for ${seconds} s)"
    cmake -S . -B build-fuzz -G Ninja -DNYVEX_FUZZ=ON >/dev/null
    cmake --build build-fuzz --target nyvex_fuzz -j "$jobs"
    for seeds in fuzz/corpus/*/; do
        local input
        input=$(basename "$seeds")
        fuzz/run.sh "$input" "$seconds" >"build-fuzz/smoke-${input}.log" 2>&1 ||
            { cat "build-fuzz/smoke-${input}.log"; echo "fuzz smoke: ${input} failed" >&2; return 1; }
        echo "fuzz_${input}: $(grep -m1 -P '\tDONE ' "build-fuzz/smoke-${input}.log")"
    done
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

build_and_test build "" ""
build_and_test build-asan address ""
build_and_test build-tsan thread threaded
fuzz_smoke
