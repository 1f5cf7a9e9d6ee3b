#!/bin/sh
# Builds read_kit_fuzzer with clang (libFuzzer, ASan, UBSan) in build-fuzz/ and
# runs it for SECONDS (default 60) on a copy of the initial corpus. New crashes,
# hangs and oversized allocations are copied into tests/fuzz/regressions/,
# which kit_tests replays on every run; the script then exits non-zero.
# Usage: tests/fuzz/run_fuzzer.sh [SECONDS]
set -eu
seconds=${1:-60}
root=$(CDPATH= cd -- "$(dirname -- "$0")/../.." && pwd)
build="$root/build-fuzz"
here="$root/tests/fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVXK5_FUZZ=ON -DVXK5_TESTS=OFF -DVXK5_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target read_kit_fuzzer

work=$(mktemp -d "${TMPDIR:-/tmp}/read-kit-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts" "$work/tmp"
cp "$here"/corpus/* "$work/corpus/"

status=0
# The unpacked containers go to a private directory; inputs are bounded so that
# no input may inflate beyond what the limits allow.
TMPDIR="$work/tmp" "$build/tests/fuzz/read_kit_fuzzer" "$work/corpus" \
    -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=512 \
    -artifact_prefix="$work/artifacts/" -print_final_stats=1 || status=$?

found=0
for file in "$work"/artifacts/*; do
    [ -e "$file" ] || continue
    cp "$file" "$here/regressions/"
    echo "run_fuzzer.sh: kept $(basename "$file") in tests/fuzz/regressions/" >&2
    found=1
done
if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    echo "run_fuzzer.sh: the fuzzer found a problem (status $status)" >&2
    exit 1
fi
echo "run_fuzzer.sh: no problem found in $seconds s"
