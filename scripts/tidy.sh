#!/usr/bin/env bash
# The static checks every source file passes: clang-format's layout (src, tests, fuzz, bench) and
# clang-tidy's bugprone and naming checks over src/ (.clang-format, .clang-tidy).
#   tidy.sh [BUILD_DIR]   (a configured build with compile_commands.json; default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'fuzz/*.cpp' 'fuzz/*.h' 'bench/*.cpp' |
  xargs clang-format --dry-run --Werror
echo "tidy: the layout follows .clang-format"
[ -f "$build/compile_commands.json" ] || { echo "tidy: $build/compile_commands.json is missing; configure first" >&2; exit 2; }
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! git ls-files 'src/*.cpp' | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>&1; then
  grep -E 'warning:|error:' "$log" | sort -u >&2
  echo "tidy: clang-tidy found the problems above" >&2
  exit 1
fi
echo "tidy: clang-tidy finds nothing in src/"
