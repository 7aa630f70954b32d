#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given seconds (default 60), all
# at once, from a seed corpus written by the test writer. Crashes land in fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/install-deps.sh --tests
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEMILO_FUZZ=ON -DVEMILO_BUILD_UI=OFF -DVEMILO_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target fuzz_one_file fuzz_comparison fuzz_decoded_file vemilo-make-seed-corpus | grep -v '^\[' || true
[ -x build-fuzz/fuzz/fuzz_one_file ] && [ -x build-fuzz/fuzz/fuzz_comparison ] && [ -x build-fuzz/fuzz/fuzz_decoded_file ] || { echo "fuzz build failed" >&2; exit 1; }

corpus=fuzz/corpus-run
mkdir -p "$corpus" fuzz/artifacts
build-fuzz/vemilo-make-seed-corpus "$corpus" >/dev/null

pids=()
for target in one_file comparison decoded_file; do
  mkdir -p "$corpus/$target"
  build-fuzz/fuzz/fuzz_$target "$corpus/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=fuzz/artifacts/$target- \
    >"fuzz/artifacts/$target.log" 2>&1 &
  pids+=($!)
done
status=0
for i in 0 1 2; do
  wait "${pids[$i]}" || status=1
done
for target in one_file comparison decoded_file; do
  echo "== fuzz_$target =="
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY|Done' "fuzz/artifacts/$target.log" || true
done
exit $status
