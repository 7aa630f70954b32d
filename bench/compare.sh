#!/usr/bin/env bash
# Times vemilo-cli against cmp and cat on a pair of identical WAV files of the given size (MiB,
# default 1024), and the match search's worst case. Prints medians of five runs and the ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
size_mib=${1:-1024}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEMILO_BUILD_UI=OFF -DVEMILO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target vemilo-cli >/dev/null
cli=$PWD/build-bench/vemilo-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$size_mib" <<'PY'
import os, struct, sys
work, mib = sys.argv[1], int(sys.argv[2])

def header(rate, channels, bits, data_bytes):
    align = channels * bits // 8
    fmt = struct.pack('<HHIIHH', 1, channels, rate, rate * align, align, bits)
    return (b'RIFF' + struct.pack('<I', 36 + data_bytes) + b'WAVE' + b'fmt ' + struct.pack('<I', 16) + fmt
            + b'data' + struct.pack('<I', data_bytes))

data_bytes = mib * 1024 * 1024 // 4 * 4
chunk = os.urandom(16 * 1024 * 1024)
with open(f'{work}/a.wav', 'wb') as out:
    out.write(header(44100, 2, 16, data_bytes))
    left = data_bytes
    while left:
        piece = chunk[:min(left, len(chunk))]
        out.write(piece)
        left -= len(piece)
os.system(f'cp {work}/a.wav {work}/b.wav && cp {work}/a.wav {work}/c.wav')
with open(f'{work}/c.wav', 'r+b') as out:  # one frame near the end differs
    out.seek(44 + data_bytes - 4 * 1000)
    byte = out.read(1)
    out.seek(-1, 1)
    out.write(bytes([byte[0] ^ 0xFF]))

# Match search worst case: 192 kHz 16-bit stereo, N = 32767; file 1 holds 32766 frames of one
# value, then other audio; file 2 two seconds of that value only.
value = struct.pack('<hh', 1234, -1234)
audio1 = value * 32766 + os.urandom(4 * 192000)
audio2 = value * (2 * 192000)
with open(f'{work}/m1.wav', 'wb') as out:
    out.write(header(192000, 2, 16, len(audio1)) + audio1)
with open(f'{work}/m2.wav', 'wb') as out:
    out.write(header(192000, 2, 16, len(audio2)) + audio2)
PY

cat "$work"/a.wav "$work"/b.wav "$work"/c.wav >/dev/null  # warm the page cache

python3 - "$work" "$cli" <<'PY'
import os, resource, statistics, subprocess, sys, time
work, cli = sys.argv[1], sys.argv[2]
a, b, c = f'{work}/a.wav', f'{work}/b.wav', f'{work}/c.wav'

def timed(command, expect, runs=5):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        status = subprocess.run(command, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        times.append(time.perf_counter() - start)
        if status != expect:
            sys.exit(f'unexpected exit status {status} from: {command}')
    return statistics.median(times)

size_mib = os.path.getsize(a) / 2**20
vemilo = timed(f'{cli} {a} {b}', 0)
vemilo_diff = timed(f'{cli} {a} {c}', 1)
cmp = timed(f'cmp -s {a} {b}', 0)
cat = timed(f'cat {a} {b} > /dev/null', 0)
match = timed(f'{cli} --match-samples 32767 {work}/m1.wav {work}/m2.wav', 1)

# The largest resident set of any child so far; cmp and cat stay far below vemilo-cli's.
peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
block_mib = 44100 * 4 * 15 / 2**20

print(f'files: {size_mib:.0f} MiB each, 16-bit stereo 44.1 kHz; medians of 5 runs, warm cache')
print(f'  vemilo-cli identical pair    {vemilo:8.3f} s  ({2 * size_mib / vemilo:7.0f} MiB/s read)')
print(f'  vemilo-cli one frame differs {vemilo_diff:8.3f} s')
print(f'  cmp -s                       {cmp:8.3f} s')
print(f'  cat a b > /dev/null          {cat:8.3f} s')
print(f'  ratio vemilo/cmp             {vemilo / cmp:8.2f}   (target <= 1.0)')
print(f'  ratio vemilo/cat             {vemilo / cat:8.2f}   (target <= 1.5)')
print(f'match search worst case (192 kHz, N = 32767): {match:.3f} s  (target < 0.5 s)')
print(f'peak RSS of vemilo-cli: {peak_kib / 1024:.1f} MiB (limit 2 x {block_mib:.1f} MiB + 32 MiB = {2 * block_mib + 32:.1f} MiB)')
PY
