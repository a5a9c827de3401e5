#!/usr/bin/env bash
# Installs what is needed, builds and runs every test: the plain build and its Debian package, an ASan+UBSan
# build, a TSan build of the threaded device tests, the Windows cross build under Wine, and a bounded run of each
# fuzzer when clang is present.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
total=0
# Runs a command that ends with ctest's summary and adds the number of tests it ran to the total.
run_counted() {
    local log
    log=$(mktemp)
    "$@" 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    local count
    count=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
    rm -f "$log"
    [ "$status" -eq 0 ] || exit "$status"
    total=$((total + ${count:-0}))
}
run_ctest() { run_counted ctest "$@"; }
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

echo "== plain build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
run_ctest --test-dir build -j "$jobs" --timeout 300

echo "== Debian package =="
bash scripts/package-test.sh build

echo "== ASan + UBSan build =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQB_SANITIZE=address -DQB_BUILD_BENCHMARK=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest --test-dir build-asan -j "$jobs" --timeout 600

echo "== TSan build (threaded device and protocol tests) =="
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQB_SANITIZE=thread -DQB_BUILD_GUI=OFF \
    -DQB_BUILD_BENCHMARK=OFF
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest --test-dir build-tsan -j "$jobs" --timeout 600 -L threads

echo "== Windows build under Wine =="
run_counted bash scripts/windows-test.sh

if command -v clang++ >/dev/null 2>&1; then
    echo "== fuzzers =="
    bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
else
    echo "== fuzzers skipped: no clang++ =="
fi
echo "== all tests passed =="
echo "tests: $total passed, 0 failed"
