#!/usr/bin/env bash
# Archive-scale --folders runs over trees of tiny pairs: pairs per second and peak memory for the
# text report, --json and --jsonl, with one job and two, and a merge of 16 --jsonl shards, each
# beside the least that walking one tree and comparing each file with its namesake costs
# (bench/limits.c tree), measured in the same run.
#   bench/archive.sh [PAIRS...]   tree sizes (default 10000 100000)
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(10000 100000)

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEMILO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target vemilo-cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/limits" bench/limits.c

python3 - "$work" "$PWD/build-bench/vemilo-cli" "${sizes[@]}" <<'PY'
import os, statistics, struct, subprocess, sys, time

work, cli, sizes = sys.argv[1], sys.argv[2], [int(n) for n in sys.argv[3:]]
limits = f'{work}/limits'
frames = 16
body = (b'RIFF' + struct.pack('<I', 36 + 2 * frames) + b'WAVE' + b'fmt ' +
        struct.pack('<IHHIIHH', 16, 1, 1, 8000, 16000, 2, 16) + b'data' + struct.pack('<I', 2 * frames) +
        bytes(range(2 * frames)))

def make_trees(pairs):
    root = f'{work}/{pairs}'
    for side in ('one', 'two'):
        for i in range(pairs):
            folder = f'{root}/{side}/{i // 1000:04d}'
            if i % 1000 == 0:
                os.makedirs(folder)
            with open(f'{folder}/{i % 1000:04d}.wav', 'wb') as out:
                out.write(body)
    return f'{root}/one', f'{root}/two'

def run(command, expect=(0,)):
    """Seconds and peak RSS in MiB of one run."""
    start = time.perf_counter()
    result = subprocess.run(f'/usr/bin/time -f %M {command} >/dev/null', shell=True, stderr=subprocess.PIPE, text=True)
    seconds = time.perf_counter() - start
    if result.returncode not in expect:
        sys.exit(f'unexpected exit status {result.returncode} from: {command}\n{result.stderr}')
    return seconds, int(result.stderr.strip().splitlines()[-1]) / 1024

def median(command, runs=3, expect=(0,)):
    results = [run(command, expect) for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results)

rows, rss = [], {}
for pairs in sizes:
    one, two = make_trees(pairs)
    os.system(f'find {one} {two} -type f -exec cat {{}} + > /dev/null')  # the page cache holds both trees
    runs = 3 if pairs <= 100000 else 1
    limit, _ = median(f'{limits} tree {one} {two}', runs)
    for name, options in (('text', ''), ('--json', '--json'), ('--jsonl', '--jsonl')):
        t, peak = median(f'{cli} --folders --jobs=1 {options} {one} {two}', runs)
        rows.append((f'{pairs:,} pairs, {name}, 1 job', pairs / t, t, limit, t / limit, peak))
        rss[(pairs, name)] = peak
    t1 = rows[-3][2]
    t2, peak = median(f'{cli} --folders --jobs=2 {one} {two}', runs)
    rows.append((f'{pairs:,} pairs, text, 2 jobs (against 1 job)', pairs / t2, t2, t1, t2 / t1, peak))
    shards = []
    for k in range(1, 17):
        shard = f'{work}/shard{k}.jsonl'
        subprocess.run(f'{cli} --folders --jsonl --shard={k}/16 --output={shard} {one} {two}', shell=True, check=True)
        shards.append(shard)
    t, peak = median(f'{cli} --merge-reports {" ".join(shards)}', runs)
    rows.append((f'merge of 16 --jsonl shards, {pairs:,} pairs', pairs / t, t, 0, 0, peak))
    rss[(pairs, 'merge')] = peak
    os.system(f'rm -rf {work}/{pairs} {work}/shard*.jsonl')

print(f'warm page cache, {os.cpu_count()} cores; limit: bench/limits.c tree (one tree walked, each file opened, read and compared with its namesake)')
print('| case | pairs/s | vemilo | limit | ratio | peak RSS |')
print('| --- | --- | --- | --- | --- | --- |')
for name, rate, t, limit, ratio, peak in rows:
    limit_text = f'{limit:.2f} s' if limit else ''
    ratio_text = f'{ratio:.2f}' if ratio else ''
    print(f'| {name} | {rate:,.0f} | {t:.2f} s | {limit_text} | {ratio_text} | {peak:.1f} MiB |')
if len(sizes) >= 2:
    small, large = sizes[-2], sizes[-1]
    for name in ('text', '--json', '--jsonl', 'merge'):
        print(f'RSS growth {small:,} -> {large:,} pairs, {name}: {rss[(large, name)] - rss[(small, name)]:+.1f} MiB')
PY
