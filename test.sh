#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once normally, once
# with AddressSanitizer + UndefinedBehaviorSanitizer, the threaded tests under
# ThreadSanitizer, the kit reader's fuzzer for a bounded time, and the Debian
# package's check. Warnings are errors in every build made here.
# Usage: ./test.sh [--quick]
#   --quick   the normal build and its tests only (CI runs the whole thing)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

quick=false
case "${1:-}" in
  "") ;;
  --quick) quick=true ;;
  -h|--help)
    echo "usage: ./test.sh [--quick]"
    exit 0
    ;;
  *)
    echo "usage: ./test.sh [--quick]" >&2
    exit 2
    ;;
esac

install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
generate_locales

JOBS=${JOBS:-2}
# Runs a command on a display of its own, at the design resolution of the
# wizard's layout; when it fails, what the display server said is shown too.
on_display() {
  local log
  log=$(mktemp)
  if xvfb-run -a -e "$log" -s "-screen 0 1024x768x24 -dpi 96" "$@"; then
    rm -f "$log"
    return 0
  fi
  echo "== what the test display said" >&2
  tail -n 40 "$log" >&2
  rm -f "$log"
  return 1
}
CONFIGURE=(-DVXK5_WERROR=ON -DVXK5_TESTS=ON)

step "layer order of the includes"
scripts/check-layers.sh

step "normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "${CONFIGURE[@]}" -DVXK5_BENCH=ON >/dev/null
cmake --build build -j "$JOBS"
step "tests"
on_display ctest --test-dir build --output-on-failure -j "$JOBS"
step "the screenshots show the window"
build/vxk5-check-screenshots build/screenshots --screen 1024x768

if $quick; then
  step "quick run passed (sanitizers, fuzzing and the package check were left out)"
  exit 0
fi

step "AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVXK5_ASAN=ON -DVXK5_BENCH=OFF "${CONFIGURE[@]}" >/dev/null
cmake --build build-asan -j "$JOBS"
step "tests under ASan + UBSan"
LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  on_display ctest --test-dir build-asan --output-on-failure -j "$JOBS"

step "ThreadSanitizer build"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVXK5_TSAN=ON -DVXK5_BENCH=OFF "${CONFIGURE[@]}" >/dev/null
cmake --build build-tsan -j "$JOBS"
step "threaded tests under TSan"
TSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/tsan.supp:detect_deadlocks=0:halt_on_error=1" \
  on_display ctest --test-dir build-tsan -L threaded --output-on-failure

if [ -x tests/fuzz/run_fuzzer.sh ]; then
  step "fuzzing the kit reader"
  tests/fuzz/run_fuzzer.sh "${FUZZ_SECONDS:-60}"
fi

step "Debian package"
scripts/check-package.sh build

step "all tests passed"
