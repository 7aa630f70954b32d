#!/usr/bin/env bash
# Runs the README's GNU parallel recipe, taken from the README itself, on one machine with three
# shards: its merged report must equal one unsharded run's; an interrupted shard taken up must
# give the same again; and run a second time after a copy was damaged, it must find the damage.
#   parallel_recipe_test.sh README VEMILO_CLI MAKE_DEMO
set -euo pipefail
readme=$(realpath "$1") cli=$(realpath "$2") make_demo=$(realpath "$3")
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

# The script as the README gives it, with this test's folders and program.
sed -n '/^    \$ cat verify-archive.sh$/,/^    \$ \.\/verify-archive.sh$/p' "$readme" | sed '1d;$d' | sed 's/^    //' |
  sed -e "s|/archive/master|archive1|g" -e "s|/archive/copy|archive2|g" -e "s|vemilo-cli |'$cli' |g" >verify-archive.sh
grep -q "parallel --will-cite" verify-archive.sh || { echo "no recipe found in the README"; exit 1; }
chmod +x verify-archive.sh

verify() {  # sets verdict to the script's exit status and run to the run it named
  verdict=0
  ./verify-archive.sh "$@" >out 2>err || verdict=$?
  run=$(sed -n 's/^run \(.*\): verdict exit [0-9]*$/\1/p' out)
  [ -n "$run" ] || { echo "the script named no run:"; cat out err; exit 1; }
  grep -q "verdict exit $verdict\$" out || { echo "the script's exit status $verdict is not its verdict"; exit 1; }
}
same_as_unsharded() {  # the merged report of $1 against one unsharded run, times and shards aside
  python3 - "$1" <<'PY'
import json, sys
run = sys.argv[1]
merged, whole = json.load(open(f'reports/{run}/report.json')), json.load(open('whole.json'))
assert merged['header'].pop('run_id') == run, 'the merged report does not name its run'
for report in (merged, whole):
    report['header'].pop('started'); report['header'].pop('run_id', None); report.pop('ended')
shards = [[json.loads(line) for line in open(f'reports/{run}/shard{k}.jsonl')][1:-1] for k in (1, 2, 3)]
paths = [p['path'] for s in shards for p in s]
assert len(paths) == len(set(paths)) == len(whole['pairs']), 'shards overlap or leave pairs out'
assert merged == whole, 'the merged report differs from the unsharded one'
print(f"run {run}: {len(merged['pairs'])} pairs from 3 shards: {merged['summary']}")
PY
}

whole=0
"$cli" --folders --json archive1 archive2 >whole.json || whole=$?
verify
status=$verdict first=$run
[ "$status" = "$whole" ] || { echo "merge exit status $status, unsharded $whole"; exit 1; }
same_as_unsharded "$first"

# An interruption: shard 2 cut half way, before parallel could log it. Taken up by name, the
# merge is the unsharded run's again, and the finished shards compared nothing again.
shard2=reports/$first/shard2.jsonl
head -c "$(($(stat -c %s "$shard2") / 2))" "$shard2" >cut && mv cut "$shard2"
awk -F'\t' 'NR == 1 || $NF !~ /shard=2\/3/' "reports/$first/parallel.log" >log && mv log "reports/$first/parallel.log"
if "$cli" --merge-reports --output="reports/$first/report.json" "reports/$first"/shard*.jsonl 2>/dev/null; then
  echo "a merge of an interrupted shard passed"; exit 1
fi
[ ! -e "reports/$first/report.json" ] || { echo "a failed merge left a report"; exit 1; }
verify "$first"
resumed=$verdict
[ "$run" = "$first" ] || { echo "taken up as run $run, not $first"; exit 1; }
[ "$resumed" = "$status" ] || { echo "resumed merge exit $resumed, first $status"; exit 1; }
same_as_unsharded "$first"

# A copy damaged after the first verification: the script run again verifies again, as a new run.
verdict_of() { python3 -c "import json,sys; print([p['verdict'] for p in json.load(open(sys.argv[1]))['pairs'] if p['path'] == 'a/b/1_identical.wav'][0])" "$1"; }
[ "$(verdict_of "reports/$first/report.json")" = identical ] || { echo "the pair to damage was not identical"; exit 1; }
printf '\x55' | dd of=archive2/a/b/1_identical.wav bs=1 seek=50000 conv=notrunc status=none
verify
again=$verdict
[ "$run" != "$first" ] || { echo "the second verification reused run $first"; exit 1; }
[ "$(verdict_of "reports/$run/report.json")" = different ] || { echo "the second verification missed the damaged copy"; exit 1; }
[ "$again" -ge 1 ] || { echo "the second verification exited $again over a damaged copy"; exit 1; }
echo "runs $first and $run: exit $status, then $again with a damaged copy"
