#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 30) on a copy of its seed corpus.
# Fails on the first finding; the crashing input is left under <build dir>/fuzz-run/<target>/.
# QB_FUZZ_BUILD_DIR chooses the build directory (default build-fuzz), JOBS the build parallelism.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
build="${QB_FUZZ_BUILD_DIR:-build-fuzz}"
jobs="${JOBS:-$(nproc 2>/dev/null || echo 2)}"
targets=(fuzz_data_file fuzz_message_escapes fuzz_operations fuzz_trace fuzz_text_form)

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQB_BUILD_FUZZERS=ON -DQB_BUILD_GUI=OFF -DQB_BUILD_TESTS=OFF -DQB_BUILD_BENCHMARK=OFF
cmake --build "$build" -j "$jobs" --target qb_fuzzers

for target in "${targets[@]}"; do
    # New inputs the fuzzer finds go into the copy, never into the checked-in seeds.
    run="$build/fuzz-run/$target"
    rm -rf "$run"
    mkdir -p "$run/corpus" "$run/artifacts"
    cp tests/fuzz/corpus/"$target"/* "$run/corpus/"
    echo "== $target: ${seconds}s =="
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
        "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$run/artifacts/" -print_final_stats=1 "$run/corpus"
done
echo "== fuzzing found nothing =="
