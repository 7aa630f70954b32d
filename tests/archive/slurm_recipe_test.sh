#!/usr/bin/env bash
# Runs the README's Slurm scripts, taken from the README itself, against a stand-in for sbatch
# that runs an array's tasks one after another and then the job that depends on them: no Slurm
# cluster is needed, and what is checked is the scripts' own logic. Each submission must be a new
# run with its own name; one shard submitted again under a run's name must complete that run; a
# copy damaged between two submissions must be found by the second.
#   slurm_recipe_test.sh README VEMILO_CLI MAKE_DEMO
set -euo pipefail
readme=$(realpath "$1") cli=$(realpath "$2") make_demo=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$make_demo" "$work/demo" >/dev/null
mkdir -p "$work/master/a" "$work/copy/a"
cp "$work/demo/folder1"/*.wav "$work/master/a/" && cp "$work/demo/folder1"/1_identical.wav "$work/master/"
cp "$work/demo/folder1"/*.wav "$work/copy/a/" && cp "$work/demo/folder1"/1_identical.wav "$work/copy/"
cd "$work"

# Each script as the README gives it, with this test's folders and program.
for script in verify-shards.sbatch merge-shards.sbatch submit.sh; do
  sed -n "/^    \\\$ cat ${script//./\\.}\$/,/^    \\\$ /p" "$readme" | sed '1d;$d' | sed 's/^    //' |
    sed -e "s|/archive/master|master|g" -e "s|/archive/copy|copy|g" -e "s|vemilo-cli |'$cli' |g" >"$script"
  [ -s "$script" ] || { echo "no $script found in the README"; exit 1; }
done
chmod +x submit.sh

# The stand-in: sbatch [--parsable] [--export=ALL,NAME=VALUE] [--array=LIST] [--dependency=...] SCRIPT
mkdir bin
cat >bin/sbatch <<'EOF'
#!/usr/bin/env bash
set -eu
array= script=
while [ $# -gt 0 ]; do
  case $1 in
    --export=ALL,*) export "${1#--export=ALL,}" ;;
    --array=*) array=${1#--array=} ;;
    --parsable|--dependency=*) ;;
    *) script=$1 ;;
  esac
  shift
done
[ -n "$array" ] || array=$(sed -n 's/^#SBATCH --array=//p' "$script")
cpus=$(sed -n 's/^#SBATCH --cpus-per-task=//p' "$script")
id=$(( $(cat .next-job 2>/dev/null || echo 100) + 1 )) && echo "$id" >.next-job
if [ -z "$array" ]; then
  bash "$script" >"vemilo-merge-$id.log" 2>&1 || true
else
  for range in ${array//,/ }; do
    for task in $(seq "${range%-*}" "${range#*-}"); do
      SLURM_ARRAY_TASK_ID=$task SLURM_CPUS_PER_TASK=${cpus:-1} bash "$script" >"vemilo-verify-${id}_$task.log" 2>&1 || true
    done
  done
fi
echo "$id"
EOF
chmod +x bin/sbatch
export PATH=$work/bin:$PATH

submit() {  # sets run and verdict from what submit.sh and the merge said
  local said
  said=$(./submit.sh "$@")
  run=$(sed -n 's/^run \([^:]*\): array [0-9]*, merge [0-9]*$/\1/p' <<<"$said")
  local merge=${said##* }
  verdict=$(sed -n "s/^run $run: verdict exit \\([0-9]*\\)\$/\\1/p" "vemilo-merge-$merge.log")
  [ -n "$run" ] && [ -n "$verdict" ] || { echo "no run or verdict from: $said"; cat "vemilo-merge-$merge.log"; exit 1; }
}

whole=0
"$cli" --folders --json master copy >/dev/null || whole=$?
submit
first=$run
[ "$verdict" = "$whole" ] || { echo "the merge said exit $verdict, one unsharded run $whole"; exit 1; }
ls "reports/$first"/shard*.jsonl | wc -l | grep -qx 64 || { echo "not 64 shard reports"; exit 1; }

# A shard lost: the merge is trouble until that task is submitted again under the run's name.
rm "reports/$first/shard3.jsonl"
"$cli" --merge-reports "reports/$first"/shard*.jsonl >/dev/null 2>&1 && { echo "a merge without shard 3 passed"; exit 1; }
submit "$first" 3
[ "$run" = "$first" ] && [ "$verdict" = "$whole" ] || { echo "shard 3 again gave run $run exit $verdict"; exit 1; }

# Damaged after the first verification: a second submission verifies again, as a new run.
printf '\x55' | dd of=copy/1_identical.wav bs=1 seek=50000 conv=notrunc status=none
submit
[ "$run" != "$first" ] || { echo "the second submission reused run $first"; exit 1; }
[ "$verdict" -ge 1 ] || { echo "the second submission exited $verdict over a damaged copy"; exit 1; }
grep -h '"path":"1_identical.wav"' "reports/$run"/shard*.jsonl | grep -q '"verdict":"different"' ||
  { echo "the second submission missed the damaged copy"; exit 1; }
echo "runs $first and $run: exit $whole, shard 3 taken up, then exit $verdict with a damaged copy"
