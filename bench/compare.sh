#!/usr/bin/env bash
# Times vemilo against the least that reading the same bytes costs, case by case, and prints a
# table of ratios against each goal. Limits are measured in the same run by bench/limits.c.
#   bench/compare.sh [MiB]   size of the large pairs (default 1024; the 192 kHz pair and the
#                            silent file are half of it)
set -euo pipefail
cd "$(dirname "$0")/.."
size_mib=${1:-1024}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEMILO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target vemilo-cli vemilo-window-bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/limits" bench/limits.c

python3 - "$work" "$size_mib" "$PWD/build-bench" <<'PY'
import os, resource, statistics, struct, subprocess, sys, time

work, mib, build = sys.argv[1], int(sys.argv[2]), sys.argv[3]
cli, window, limits = f'{build}/vemilo-cli', f'{build}/bench/vemilo-window-bench', f'{work}/limits'

def header(rate, channels, bits, data_bytes, tag=1):
    align = channels * bits // 8
    fmt = struct.pack('<HHIIHH', tag, channels, rate, rate * align, align, bits)
    return (b'RIFF' + struct.pack('<I', 36 + data_bytes) + b'WAVE' + b'fmt ' + struct.pack('<I', 16) + fmt
            + b'data' + struct.pack('<I', data_bytes))

def write(path, rate, channels, bits, size, fill=None):
    align = channels * bits // 8
    data = size // align * align
    chunk = fill if fill is not None else os.urandom(16 * 2**20)
    with open(path, 'wb') as out:
        out.write(header(rate, channels, bits, data))
        left = data
        while left:
            piece = chunk[:min(left, len(chunk))]
            out.write(piece)
            left -= len(piece)
    return data

def flip(path, offsets):
    with open(path, 'r+b') as out:
        for at in offsets:
            out.seek(at)
            byte = out.read(1)
            out.seek(at)
            out.write(bytes([byte[0] ^ 0xFF]))

big = mib * 2**20
a = f'{work}/a.wav'
data = write(a, 44100, 2, 16, big)
os.system(f'cp {work}/a.wav {work}/b.wav && cp {work}/a.wav {work}/c.wav && cp {work}/a.wav {work}/spread.wav')
flip(f'{work}/c.wav', [44 + data - 4 * 1000])                               # one frame near the end
flip(f'{work}/spread.wav', [44 + (k * (data // 1999) // 4) * 4 for k in range(1999)])  # 1,999 frames
# Three gaps: 4,096 frames dropped a quarter in, 100 frames inserted half way, 1 frame dropped
# three quarters in.
frames = data // 4
cuts = [(frames // 4, 4096, 0), (frames // 2, 0, 100), (3 * frames // 4, 1, 0)]
with open(a, 'rb') as source, open(f'{work}/gaps.wav', 'wb') as out:
    out.write(header(44100, 2, 16, data - 4 * (4096 + 1 - 100)))
    source.seek(44)
    at = 0
    for frame, dropped, inserted in cuts:
        left = 4 * (frame - at)
        while left:
            piece = source.read(min(left, 16 * 2**20))
            out.write(piece)
            left -= len(piece)
        source.seek(4 * dropped, 1)
        out.write(os.urandom(4 * inserted))
        at = frame + dropped
    while piece := source.read(16 * 2**20):
        out.write(piece)
write(f'{work}/hi1.wav', 192000, 2, 24, big // 2)
os.system(f'cp {work}/hi1.wav {work}/hi2.wav')
# A 24-bit 96 kHz master of the full size, a copy of it and its FLAC.
write(f'{work}/m96.wav', 96000, 2, 24, big)
os.system(f'cp {work}/m96.wav {work}/c96.wav')
# The 44.1 kHz master with its polarity inverted: every sample differs.
os.system(f'sox -D {work}/a.wav {work}/inverted.wav vol -1')
write(f'{work}/silent.wav', 44100, 2, 16, big // 2, fill=bytes(16 * 2**20))
for folder in ('one', 'two'):
    os.mkdir(f'{work}/{folder}')
second = 44100 * 4
for i in range(1000):
    body = header(44100, 2, 16, second) + os.urandom(second)
    for folder in ('one', 'two'):
        with open(f'{work}/{folder}/{i:04d}.wav', 'wb') as out:
            out.write(body)
# Match search worst case: 192 kHz 16-bit stereo, N = 32767; file 1 holds 32766 frames of one
# value, then other audio; file 2 two seconds of that value only.
value = struct.pack('<hh', 1234, -1234)
for name, audio in (('m1', value * 32766 + os.urandom(4 * 192000)), ('m2', value * (2 * 192000))):
    with open(f'{work}/{name}.wav', 'wb') as out:
        out.write(header(192000, 2, 16, len(audio)) + audio)
# The master's FLAC copy, for the decoded path.
if os.system(f'flac -s -f {work}/m96.wav -o {work}/m96.flac') != 0:
    sys.exit('flac could not encode the master (scripts/install-deps.sh --tests installs flac)')
os.system(f'cat {work}/*.wav {work}/*.flac {work}/one/* {work}/two/* > /dev/null')  # warm the page cache

def timed(command, expect, runs=5, prepare=None):
    times = []
    for _ in range(runs):
        if prepare:
            subprocess.run(prepare, shell=True, check=True)
        start = time.perf_counter()
        result = subprocess.run(command, shell=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
        if result.returncode not in expect:
            sys.exit(f'unexpected exit status {result.returncode} from: {command}')
    return statistics.median(times), result.stdout

def peak_kib(command):
    result = subprocess.run(f'/usr/bin/time -f %M {command} >/dev/null', shell=True, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])

a, b, c = f'{work}/a.wav', f'{work}/b.wav', f'{work}/c.wav'
rows = []
def case(name, vemilo, limit, goal):
    rows.append((name, vemilo, limit, vemilo / limit, goal))

t, _ = timed(f'{cli} {a} {b}', {0}); l, _ = timed(f'{limits} compare {a} {b}', {0})
case(f'identical pair, 44.1 kHz 16-bit, {mib} MiB', t, l, 1.3)
t, _ = timed(f'{cli} {a} {c}', {1}); l, _ = timed(f'{limits} compare {a} {c}', {1})
case('one frame differs near the end', t, l, 1.3)
t, _ = timed(f'{cli} {work}/hi1.wav {work}/hi2.wav', {0}); l, _ = timed(f'{limits} compare {work}/hi1.wav {work}/hi2.wav', {0})
case(f'identical pair, 192 kHz 24-bit, {mib // 2} MiB', t, l, 1.3)
t, _ = timed(f'{cli} --info {work}/silent.wav', {0}); l, _ = timed(f'{limits} scan {work}/silent.wav 44', {0})
case(f'--info on {mib // 2} MiB of silence', t, l, 1.5)
t, _ = timed(f'{cli} --continuous {work}/one {work}/two', {0}); l, _ = timed(f'{limits} folders {work}/one {work}/two', {0})
case('--continuous, 1,000 pairs of 1 s', t, l, 4.0)
window_runs = [float(timed(f'QT_QPA_PLATFORM=offscreen {window} {a} {work}/spread.wav', {0}, runs=1)[1]) for _ in range(5)]
t, _ = timed(f'{cli} --details --max-lines=2000 {a} {work}/spread.wav', {1})
case('window log, 1,999 differences, against vemilo-cli', statistics.median(window_runs), t, 1.5)
identical, _ = timed(f'{cli} {a} {b}', {0})
t, out = timed(f'{cli} --resync {a} {work}/gaps.wav', {1})
if out.count('サンプル欠落'.encode()) != 2 or out.count('サンプル挿入'.encode()) != 1:
    sys.exit('--resync did not find the three gaps')
case('--resync, three gaps, against the identical pair', t, identical, 1.5)

# Over seconds this machine's speed drifts: each pair of commands is run in turn, seven times.
def in_turn(first, second, expect=({0}, {0}), prepare=None, pick=statistics.median):
    runs = [(timed(first, expect[0], 1, prepare)[0], timed(second, expect[1], 1, prepare)[0]) for _ in range(7)]
    return pick(r[0] for r in runs), pick(r[1] for r in runs)

m96, c96 = f'{work}/m96.wav', f'{work}/c96.wav'
t, l = in_turn(f'{cli} {m96} {c96}', f'cat {m96} > /dev/null & cat {c96} > /dev/null; wait')
case(f'identical pair, 96 kHz 24-bit, {mib} MiB, against both read at once (cat & cat)', t, l, 1.2)
t, l = in_turn(f'{cli} {m96} {work}/m96.flac', f'flac -t -s {work}/m96.flac')
case(f'WAV master against its FLAC copy, 96 kHz 24-bit, against flac -t on the FLAC alone', t, l, 1.0)
t, l = in_turn(f'{cli} --measure {a} {work}/inverted.wav', f'{cli} {a} {b}', ({1}, {0}))
case(f'--measure, every sample differs (polarity inverted), against the identical pair unmeasured', t, l, 1.3)

# The same two cases read from the disk, the page cache dropped before each command (where this user may):
# from a warm cache both are bound by the processor, from a cold one by the reading. The fastest of
# seven: on a virtual machine some cold runs of any reader, cat too, spend twice as long copying
# out of freshly allocated pages.
cold = 'sync; echo 3 > /proc/sys/vm/drop_caches'
if subprocess.run(cold, shell=True, stderr=subprocess.DEVNULL).returncode == 0:
    t, l = in_turn(f'{cli} {m96} {c96}', f'cat {m96} > /dev/null & cat {c96} > /dev/null; wait',
                   prepare=cold, pick=min)
    case(f'identical pair, 96 kHz 24-bit, {mib} MiB, cold cache, against cat & cat', t, l, 1.2)
    t, l = in_turn(f'{cli} --measure {a} {work}/inverted.wav', f'{cli} {a} {b}', ({1}, {0}), cold, min)
    case(f'--measure, polarity inverted, cold cache, against the identical pair unmeasured', t, l, 1.3)

cmp, _ = timed(f'cmp -s {a} {b}', {0})
match, _ = timed(f'{cli} --align --match-samples 32767 {work}/m1.wav {work}/m2.wav', {1})
peaks = {name: peak_kib(command) / 1024 for name, command in (
    ('44.1 kHz pair', f'{cli} {a} {b}'), ('192 kHz 24-bit pair', f'{cli} {work}/hi1.wav {work}/hi2.wav'),
    ('--continuous', f'{cli} --continuous {work}/one {work}/two'),
    ('--resync, three gaps', f'{cli} --resync {a} {work}/gaps.wav'),
    ('96 kHz 24-bit pair', f'{cli} {m96} {c96}'), ('WAV against FLAC', f'{cli} {m96} {work}/m96.flac'),
    ('--measure, polarity inverted', f'{cli} --measure {a} {work}/inverted.wav'))}

print(f'medians of 5 runs, warm page cache, {os.cpu_count()} cores')
print(f'| case | vemilo | limit | ratio | goal |')
print(f'| --- | --- | --- | --- | --- |')
for name, vemilo, limit, ratio, goal in rows:
    print(f'| {name} | {vemilo:.3f} s | {limit:.3f} s | {ratio:.2f} | <= {goal} |')
print(f'| cmp -s on the identical pair | {cmp:.3f} s | | vemilo/cmp {rows[0][1] / cmp:.2f} | |')
print(f'| match search worst case (192 kHz, N = 32767) | {match:.3f} s | | | < 0.5 s |')
for name, mib_peak in peaks.items():
    print(f'| peak memory, {name} | {mib_peak:.1f} MiB | | | <= 16 MiB |')
failed = [row[0] for row in rows if row[3] > row[4]] + [name for name, value in peaks.items() if value > 16]
print('every goal met' if not failed else 'goals missed: ' + ', '.join(failed))
PY
