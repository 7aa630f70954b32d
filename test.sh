#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== Build and test =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEMILO_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

echo "== Fuzz each target for ${VEMILO_FUZZ_SECONDS:=60} seconds =="
scripts/fuzz.sh "$VEMILO_FUZZ_SECONDS"
