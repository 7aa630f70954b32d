#!/usr/bin/env bash
# Runs vemilo-cli in every mode over the demo files and prints what it wrote, with its exit
# status, the time-of-day lines and the times reports record blanked. Without a third argument the output is compared with
# demo_logs.expected beside this script; with --write it replaces that file.
#   demo_logs.sh VEMILO_CLI VEMILO_MAKE_DEMO [--write]
set -uo pipefail
cli=$(realpath "$1")
make_demo=$(realpath "$2")
expected="$(cd "$(dirname "$0")" && pwd)/demo_logs.expected"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$make_demo" "$work/demo" >/dev/null || exit 2
cd "$work/demo" || exit 2

run() {
  echo "== vemilo-cli $*"
  "$cli" "$@" >"$work/out" 2>"$work/err"
  local status=$?
  # The time of day is the only thing that changes from run to run.
  sed -E -e 's/^\[debug\] [0-9]{1,2}:[0-9]{2}:[0-9]{2}( [AP]M)?$/[debug] TIME/' \
    -e 's/"(started|ended)": ?"[0-9T:Z-]+"/"\1": "TIME"/g' "$work/out"
  sed 's/^/stderr: /' "$work/err"
  echo "-- exit $status"
}

{
  # Odd trees: a file that is no WAV file, a name holding a newline, a copy cut short that also
  # differs, a pair with more differences than tolerated.
  mkdir -p odd1 odd2
  cp folder1/1_identical.wav odd1/a.wav
  echo "not audio" >odd2/a.wav
  cp folder1/1_identical.wav "odd1/new
line.wav"
  cp folder2/5_few_frames_differ.wav "odd2/new
line.wav"
  cp folder1/1_identical.wav odd1/short.wav
  sox folder2/5_few_frames_differ.wav odd2/short.wav trim 0 1.5
  # A copy that lost 4096 frames at frame 60000.
  mkdir -p gap1 gap2
  cp folder1/1_identical.wav gap1/lost.wav
  sox folder1/1_identical.wav "$work/head.wav" trim 0 60000s
  sox folder1/1_identical.wav "$work/tail.wav" trim 64096s
  sox "$work/head.wav" "$work/tail.wav" gap2/lost.wav
  cp folder1/5_few_frames_differ.wav odd1/many.wav
  cp folder2/5_few_frames_differ.wav odd2/many.wav
  for f in folder1/*.wav; do
    name=${f#folder1/}
    run --details "folder1/$name" "folder2/$name"
    run --align "folder1/$name" "folder2/$name"
    run --align --details --max-lines=3 --match-samples=50 "folder1/$name" "folder2/$name"
    run --json "folder1/$name" "folder2/$name"
  done
  run --align --no-zero-skip folder1/3_lead_in.wav folder2/3_lead_in.wav
  run --align --no-match-point folder1/1_identical.wav folder2/1_identical.wav
  run --align --json folder1/3_lead_in.wav folder2/3_lead_in.wav
  run folder1/1_identical.wav folder2/missing.wav
  run folder1 folder2/1_identical.wav
  run --continuous folder1 folder2
  run --details --continuous folder1 folder2
  run --align --continuous folder1 folder2
  run --json --continuous folder1 folder2
  run --folders --jobs=2 folder1 folder2
  run --folders --verbose --jobs=1 folder1 folder2
  run --folders --align --jobs=1 folder1 folder2
  run --folders --align --json folder1 folder2
  run --folders --json --shard=1/2 folder1 folder2
  "$cli" --folders --json --shard=1/2 folder1 folder2 >"$work/s1.json" 2>/dev/null
  "$cli" --folders --json --shard=2/2 folder1 folder2 >"$work/s2.json" 2>/dev/null
  run --merge-reports "$work/s1.json" "$work/s2.json"
  run --info folder1/1_identical.wav folder2/6_24bit.wav
  run --trace --info folder1/2_8bit_mono.wav
  run --md5 folder1/1_identical.wav folder1/6_24bit.wav folder2/5_few_frames_differ.wav
  "$cli" --md5 folder1/1_identical.wav folder2/5_few_frames_differ.wav >"$work/sums" 2>/dev/null
  run --check-md5 "$work/sums"
  cp folder1/1_identical.wav folder2/5_few_frames_differ.wav
  run --check-md5 "$work/sums"
  run odd1/a.wav odd2/a.wav
  run odd2/a.wav odd1/a.wav
  run --exact odd1/short.wav odd2/short.wav
  run --folders --exact --max-lines=2 --jobs=1 odd1 odd2
  run --folders --exact --max-lines=2 --json odd1 odd2
  run --folders --exact --jobs=1 odd1 odd2
  run --info odd2/a.wav odd1/a.wav
  run --md5 odd2/a.wav
  run --resync gap1/lost.wav gap2/lost.wav
  run --resync --json gap1/lost.wav gap2/lost.wav
  run --resync --resync-window=1 --folders gap1 gap2
  run --folders gap1 gap2
  run --resync-window=5 a b
  run --max-lines=2001 a b
  run --match-samples=0 a b
  run --match-samples=32768 a b
  run --jobs=0 --folders a b
  run --shard=0/2 --folders a b
  run --json --info a
  run --continuous a
  run --shard=3/2 --folders folder1 folder2
  run --bogus
  run --version
  # Copies in other containers: a FLAC by flac, AIFF and CAF by sox.
  mkdir -p copies
  flac -s -f folder1/6_24bit.wav -o copies/6_24bit.flac 2>/dev/null
  sox folder1/1_identical.wav copies/1_identical.aiff 2>/dev/null
  sox folder1/2_8bit_mono.wav copies/2_8bit_mono.caf 2>/dev/null
  flac -s -f gap2/lost.wav -o copies/lost.flac 2>/dev/null
  run folder1/6_24bit.wav copies/6_24bit.flac
  run --details --max-lines=5 gap1/lost.wav copies/lost.flac
  run folder1/6_24bit.wav copies/1_identical.aiff
  run --md5 folder1/2_8bit_mono.wav copies/2_8bit_mono.caf folder1/6_24bit.wav copies/6_24bit.flac
  run --info copies/1_identical.aiff copies/2_8bit_mono.caf
  run --folders --pair-by-stem --jobs=1 folder1 copies
  run --json folder1/2_8bit_mono.wav copies/2_8bit_mono.caf
} >"$work/actual"

# The report names the scratch folder; keep only its last part.
sed -i "s|$work|WORK|g" "$work/actual"

if [ "${3:-}" = "--write" ]; then
  cp "$work/actual" "$expected"
  exit 0
fi
if ! diff -u "$expected" "$work/actual"; then
  echo "demo_logs: the CLI's output differs from demo_logs.expected (above)" >&2
  exit 1
fi
echo "demo_logs: $(grep -c '^== ' "$work/actual") runs as expected"
