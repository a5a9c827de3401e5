#!/usr/bin/env bash
# Installs what is needed, builds and runs every test: the plain build, the guest test (the real HID path in a
# qemu guest), the Debian package, an ASan+UBSan build, a TSan build of the threaded device tests, the Windows
# cross build under Wine, and a bounded run of each fuzzer when clang is present. A stage that cannot run here says
# why and counts as skipped, never as passed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
total=0
skipped=0
# Runs a command and adds what it passed to the total: the count of ctest's summary line, or the count a line
# "N cases passed" gives, or one for a stage without either. Exit status 77 means the stage could not run here.
run_counted() {
    local log
    log=$(mktemp)
    set +e
    "$@" 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    set -e
    local count
    count=$(sed -n -e 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' \
        -e 's/.* \([0-9]*\) cases passed$/\1/p' "$log" | tail -n 1)
    rm -f "$log"
    case $status in
    0) total=$((total + ${count:-1})) ;;
    77) skipped=$((skipped + 1)) ;;  # the stage said why
    *) exit "$status" ;;
    esac
}
run_ctest() { run_counted ctest "$@"; }
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

echo "== plain build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BUILD_TESTS=ON
cmake --build build -j "$jobs"
run_ctest --test-dir build -j "$jobs" --timeout 300

echo "== guest test: the command line against the virtual device in a qemu guest =="
run_counted bash scripts/guest-test.sh build

echo "== Debian package =="
run_counted bash scripts/package-test.sh build

echo "== ASan + UBSan build =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQB_SANITIZE=address -DQB_BUILD_BENCHMARK=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest --test-dir build-asan -j "$jobs" --timeout 600

echo "== TSan build (threaded device and protocol tests) =="
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQB_SANITIZE=thread -DQB_BUILD_GUI=OFF \
    -DQB_BUILD_BENCHMARK=OFF
cmake --build build-tsan -j "$jobs" --target qb_threaded_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest --test-dir build-tsan -j "$jobs" --timeout 600 -L threads

echo "== Windows: the Qt window's sources type-checked; the build without Qt run under Wine =="
# The Windows build compiles every other source for real.
run_counted bash scripts/check-windows.sh gui
run_counted bash scripts/windows-test.sh

if command -v clang++ >/dev/null 2>&1; then
    echo "== fuzzers =="
    bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
else
    echo "== fuzzers skipped: no clang++ =="
    skipped=$((skipped + 1))
fi
echo "== all tests passed =="
if [ "$skipped" -gt 0 ]; then
    echo "tests: $total passed, 0 failed, $skipped skipped"
else
    echo "tests: $total passed, 0 failed"
fi
