#!/usr/bin/env bash
# Runs the README's GNU parallel recipe on one machine with three shards and checks that the
# merged report equals the report of one unsharded run.
#   parallel_recipe_test.sh VEMILO_CLI MAKE_DEMO
set -euo pipefail
cli=$(realpath "$1") make_demo=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two trees: the demo folders, nested twice, with a file on each side only.
"$make_demo" "$work/demo" >/dev/null
for side in 1 2; do
  mkdir -p "$work/archive$side/a/b"
  cp "$work/demo/folder$side"/*.wav "$work/archive$side/"
  cp "$work/demo/folder$side"/*.wav "$work/archive$side/a/"
  cp "$work/demo/folder$side"/1_identical.wav "$work/archive$side/a/b/"
done
cp "$work/demo/folder1/2_8bit_mono.wav" "$work/archive1/a/b/only_here.wav"
cp "$work/demo/folder2/3_lead_in.wav" "$work/archive2/only_there.wav"
cd "$work"

# The recipe: one shard per job; a job's exit status says little, the merge checks every report.
parallel --will-cite --jobs 3 "'$cli' --folders --json --shard={}/3 archive1 archive2 > shard{}.json" ::: 1 2 3 || true
status=0
"$cli" --merge-reports shard1.json shard2.json shard3.json > merged.json || status=$?
whole=0
"$cli" --folders --json archive1 archive2 > whole.json || whole=$?

python3 - <<'PY'
import json, sys
merged, whole = json.load(open('merged.json')), json.load(open('whole.json'))
shards = [json.load(open(f'shard{k}.json')) for k in (1, 2, 3)]
paths = [p['path'] for s in shards for p in s['pairs']]
assert len(paths) == len(set(paths)) == len(whole['pairs']), 'shards overlap or leave pairs out'
assert merged == whole, 'the merged report differs from the unsharded one'
print(f"merged {len(merged['pairs'])} pairs from 3 shards: {merged['summary']}")
PY
[ "$status" = "$whole" ] || { echo "merge exit status $status, unsharded $whole"; exit 1; }
echo "exit status of the merge: $status, as the unsharded run's"
