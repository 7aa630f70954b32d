#!/usr/bin/env bash
# Runs the README's GNU parallel recipe on one machine with three shards and checks that the
# merged report equals the report of one unsharded run, also after a shard was interrupted and
# taken up again with --resume-failed.
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

# The recipe as the README gives it, with this test's folders: one shard per job, a folder per run;
# a job's exit status says little, the merge checks every report.
run=test-run
mkdir -p "reports/$run"
recipe() {
  parallel --will-cite --jobs 3 --joblog "reports/$run/parallel.log" "$@" \
    "'$cli' --folders --jsonl --run-id=$run --jobs=1 --shard={}/3 --output=reports/$run/shard{}.jsonl --resume archive1 archive2" ::: 1 2 3 || true
}
recipe
status=0
"$cli" --merge-reports --output="reports/$run/report.json" "reports/$run"/shard*.jsonl || status=$?
cp "reports/$run/report.json" merged.json
whole=0
"$cli" --folders --json archive1 archive2 > whole.json || whole=$?

# An interruption: shard 2 killed half way, before parallel could log it. The same line with
# --resume-failed takes it up, and the merge is the unsharded run's again.
head -c "$(( $(stat -c %s "reports/$run/shard2.jsonl") / 2 ))" "reports/$run/shard2.jsonl" > cut && mv cut "reports/$run/shard2.jsonl"
grep -v "shard=2/3" "reports/$run/parallel.log" > log && mv log "reports/$run/parallel.log"
if "$cli" --merge-reports --output="reports/$run/report.json" "reports/$run"/shard*.jsonl 2>/dev/null; then
  echo "a merge of an interrupted shard passed"; exit 1
fi
[ ! -e "reports/$run/report.json" ] || { echo "a failed merge left a report"; exit 1; }
recipe --resume-failed
resumed=0
"$cli" --merge-reports --output="reports/$run/report.json" "reports/$run"/shard*.jsonl || resumed=$?
cmp -s "reports/$run/report.json" merged.json || { echo "the resumed merge differs"; exit 1; }
[ "$resumed" = "$status" ] || { echo "resumed merge exit $resumed, first $status"; exit 1; }

python3 - <<'PY'
import json, sys
merged, whole = json.load(open('merged.json')), json.load(open('whole.json'))
shards = [[json.loads(line) for line in open(f'reports/test-run/shard{k}.jsonl')][1:-1] for k in (1, 2, 3)]
paths = [p['path'] for s in shards for p in s]
assert len(paths) == len(set(paths)) == len(whole['pairs']), 'shards overlap or leave pairs out'
assert merged['header'].pop('run_id') == 'test-run', 'the merged report does not name its run'
for report in (merged, whole):
    for key in ('started', 'run_id'):
        report['header'].pop(key, None)
    report.pop('ended')
assert merged == whole, 'the merged report differs from the unsharded one'
print(f"merged {len(merged['pairs'])} pairs from 3 shards: {merged['summary']}")
PY
[ "$status" = "$whole" ] || { echo "merge exit status $status, unsharded $whole"; exit 1; }
echo "exit status of the merge: $status, as the unsharded run's"
