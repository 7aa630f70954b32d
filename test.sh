#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh --tests
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

scripts/check-includes.sh

echo "== Build and test =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEMILO_BUILD_TESTS=ON >/dev/null
cmake --build build -j "$jobs"
scripts/tidy.sh build
ctest --test-dir build --output-on-failure -j "$jobs" --test-output-size-passed 100000000 --output-junit ctest-full.xml | tee build/ctest.log

echo "== Install and package =="
tests/install/install_test.sh . build
if command -v dpkg-deb >/dev/null; then scripts/package.sh build; fi

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEMILO_SANITIZE=ON -DVEMILO_BUILD_TESTS=ON >/dev/null
cmake --build build-sanitize -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-sanitize --output-on-failure -j "$jobs" --test-output-size-passed 100000000 --output-junit ctest-full.xml | tee build-sanitize/ctest.log

echo "== Fuzz each target for ${VEMILO_FUZZ_SECONDS:=60} seconds =="
scripts/fuzz.sh "$VEMILO_FUZZ_SECONDS"

# Any failure above has already ended the script; count what passed in both builds, and every
# test or test function that could not run here and said so (GoogleTest, Qt Test, the scripts).
passed=0
for count in $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' build/ctest.log build-sanitize/ctest.log); do
  passed=$((passed + count))
done
skipped=$(cat build/ctest-full.xml build-sanitize/ctest-full.xml |
  grep -cE '^\[  SKIPPED \] .*\([0-9]+ ms\)$|^SKIP   : |^SKIP: ' || true)
if [ "$skipped" -gt 0 ]; then
  echo "Skipped here:"
  cat build/ctest-full.xml build-sanitize/ctest-full.xml | grep -E '^\[  SKIPPED \] .*\([0-9]+ ms\)$|^SKIP   : |^SKIP: ' -A1 | sed 's/^/  /'
fi
echo "test.sh: ${passed} passed, 0 failed, ${skipped} skipped"
