#!/usr/bin/env bash
# Installs what is missing, builds, writes the demo files and runs Vemilo on them.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEMILO_BUILD_TESTS=OFF -DVEMILO_BUILD_UI=OFF >/dev/null
cmake --build build -j "$(nproc)"
build/vemilo-make-demo samples

echo "== Continuous comparison of samples/folder1 against samples/folder2 =="
status=0
build/vemilo-cli --details --continuous samples/folder1 samples/folder2 || status=$?
echo "== vemilo-cli exit status: $status (0 identical, 1 differences found, 2 a pair could not be compared) =="
