#!/usr/bin/env bash
# fuzz/run.sh INPUT SECONDS: runs build-fuzz/bin/fuzz_INPUT for SECONDS on its seeds in
# fuzz/corpus/INPUT. What it learns goes into build-fuzz/corpus/INPUT (the seeds stay as they
# are), a crash into build-fuzz/artifacts/INPUT/. Exits non-zero on any finding. Build first:
#   cmake -S . -B build-fuzz -G Ninja -DNYVEX_FUZZ=ON && cmake --build build-fuzz --target nyvex_fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
    echo "usage: fuzz/run.sh INPUT SECONDS   (INPUT: $(ls fuzz/corpus | tr '\n' ' '))" >&2
    exit 2
fi
input=$1 seconds=$2
binary=build-fuzz/bin/fuzz_${input}
seeds=fuzz/corpus/${input}
[ -x "$binary" ] || { echo "fuzz/run.sh: $binary is not built" >&2; exit 2; }
[ -d "$seeds" ] || { echo "fuzz/run.sh: no seeds in $seeds" >&2; exit 2; }

work=$PWD/build-fuzz/corpus/${input}
artifacts=$PWD/build-fuzz/artifacts/${input}
seeds=$PWD/$seeds
mkdir -p "$work" "$artifacts"
# The targets that read files write them into a scratch folder of their own: in memory where
# the machine has /dev/shm, so that flushing to disk costs nothing.
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# One input may take at most 10 s (a hang), the process at most 2 GB (an unbounded allocation).
exec "$binary" "$work" "$seeds" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -artifact_prefix="$artifacts/" -print_final_stats=1
