#!/bin/sh
# Builds read_kit_fuzzer and read_config_fuzzer with clang (libFuzzer, ASan,
# UBSan) in build-fuzz/ and runs them for SECONDS (default 60) in all, the kit
# reader two thirds of it, each on a copy of its initial corpus (corpus/,
# corpus-config/). New crashes, hangs and oversized allocations are copied into
# tests/fuzz/regressions/ (kit_tests replays those on every run) or
# tests/fuzz/regressions-config/; the script then exits non-zero.
# Usage: tests/fuzz/run_fuzzer.sh [SECONDS]
set -eu
seconds=${1:-60}
root=$(CDPATH= cd -- "$(dirname -- "$0")/../.." && pwd)
build="$root/build-fuzz"
here="$root/tests/fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVXK5_FUZZ=ON -DVXK5_TESTS=OFF -DVXK5_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target read_kit_fuzzer read_config_fuzzer

work=$(mktemp -d "${TMPDIR:-/tmp}/read-kit-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

status=0
found=0
# fuzz TARGET CORPUS REGRESSIONS SECONDS
fuzz() {
    mkdir -p "$work/$1/corpus" "$work/$1/artifacts" "$work/$1/tmp" "$here/$3"
    cp "$here/$2"/* "$work/$1/corpus/"
    # The unpacked containers go to a private directory; inputs are bounded so
    # that no input may inflate beyond what the limits allow.
    TMPDIR="$work/$1/tmp" "$build/tests/fuzz/$1" "$work/$1/corpus" \
        -max_total_time="$4" -max_len=65536 -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=512 \
        -artifact_prefix="$work/$1/artifacts/" -print_final_stats=1 || status=$?
    for file in "$work/$1"/artifacts/*; do
        [ -e "$file" ] || continue
        cp "$file" "$here/$3/"
        echo "run_fuzzer.sh: kept $(basename "$file") in tests/fuzz/$3/" >&2
        found=1
    done
}
config_seconds=$((seconds / 3))
[ "$config_seconds" -ge 1 ] || config_seconds=1
fuzz read_kit_fuzzer corpus regressions $((seconds - config_seconds))
fuzz read_config_fuzzer corpus-config regressions-config "$config_seconds"

if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    echo "run_fuzzer.sh: the fuzzer found a problem (status $status)" >&2
    exit 1
fi
echo "run_fuzzer.sh: no problem found in $seconds s"
