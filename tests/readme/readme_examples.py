#!/usr/bin/env python3
"""Runs every example of the README and compares what the programs print with the README's text.

An example is an indented block whose lines beginning with "$ " are commands; the lines after a
command, up to the next command or the end of the block, are what it prints (standard output and
standard error together). A line "..." stands for any number of lines. Times of day in "[debug]"
lines, and the start and end of a JSON report's run, may differ. A block that starts with
"cat FILE" shows scripts the README gives, with a run of them on a cluster or GNU parallel: the
recipe tests (tests/archive/*_recipe_test.sh) take those scripts from the README and run them.

The files the examples name are made here, the same every time, in a fresh folder.
  readme_examples.py README BIN_DIR [--show]   (--show: print every example's actual output)
"""
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile

RATE = 44100
FRAMES = 132300  # three seconds


def write_wav(path, frames, bits=24, channels=2, rate=RATE):
    """frames: a list of per-channel tuples of integers."""
    width = bits // 8
    data = bytearray()
    for frame in frames:
        for value in frame:
            data += int(value).to_bytes(width, 'little', signed=True)
    header = (b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVE' + b'fmt ' +
              struct.pack('<IHHIIHH', 16, 1, channels, rate, rate * channels * width, channels * width, bits) +
              b'data' + struct.pack('<I', len(data)))
    os.makedirs(os.path.dirname(path) or '.', exist_ok=True)
    with open(path, 'wb') as out:
        out.write(header + data)


def music(count, seed):
    """Two channels of noise at up to -12 dBFS, never silent at a frame."""
    rng = random.Random(seed)
    limit = 1 << 21
    frames = []
    for _ in range(count):
        left = rng.randint(-limit, limit) or 1
        right = rng.randint(-limit, limit) or -1
        frames.append((left, right))
    return frames


def make_files(folder):
    master = music(FRAMES, 1)
    write_wav(f'{folder}/master.wav', master)
    shutil.copy(f'{folder}/master.wav', f'{folder}/copy.wav')
    damaged = list(master)
    for frame in (70000, 70001, 100000):
        left, right = damaged[frame]
        damaged[frame] = (left + 1, right)
    write_wav(f'{folder}/damaged.wav', damaged)
    write_wav(f'{folder}/copy_truncated.wav', master[:88200])
    write_wav(f'{folder}/copy_shifted.wav', music(441, 2) + master)
    write_wav(f'{folder}/lost.wav', master[:60000] + master[64096:])
    write_wav(f'{folder}/quieter.wav', [(round(l / 2), round(r / 2)) for l, r in master])
    rng = random.Random(3)
    write_wav(f'{folder}/dithered.wav', [(l + rng.choice((-1, 0, 0, 1)), r + rng.choice((-1, 0, 0, 1))) for l, r in master])
    quiet = {'stdout': subprocess.DEVNULL, 'stderr': subprocess.DEVNULL, 'check': True}
    subprocess.run(['flac', '-s', '-f', '-o', f'{folder}/copy.flac', f'{folder}/master.wav'], **quiet)
    for container in ('aiff', 'w64', 'caf'):
        subprocess.run(['sox', f'{folder}/master.wav', f'{folder}/copy.{container}'], **quiet)
    # A session, its backup, and a delivery of it with one damaged file.
    write_wav(f'{folder}/session/take1.wav', master[:44100])
    write_wav(f'{folder}/session/take2.wav', master[44100:88200])
    write_wav(f'{folder}/backup/take1.wav', master[:44100])
    write_wav(f'{folder}/backup/take2.wav', master[44100:88200])
    write_wav(f'{folder}/delivery/take1.wav', master[:44100])
    write_wav(f'{folder}/delivery/take2.wav', damaged[44100:88200])
    # Two trees for --folders.
    write_wav(f'{folder}/fold1/extra.wav', music(4410, 4))
    write_wav(f'{folder}/fold1/lead.wav', master[:44100])
    write_wav(f'{folder}/fold2/lead.wav', music(441, 5) + master[:44100 - 441])
    write_wav(f'{folder}/fold1/mix.wav', master[:88200])
    write_wav(f'{folder}/fold2/mix.wav', master[:44100])
    write_wav(f'{folder}/fold1/sub/take1.wav', master[:22050])
    write_wav(f'{folder}/fold2/sub/take1.wav', master[:22050])
    # Masters and deliveries in other containers, paired by name without extension.
    write_wav(f'{folder}/masters/sub/take1.wav', master[:22050])
    write_wav(f'{folder}/masters/take2.wav', master[:22050])
    os.makedirs(f'{folder}/deliveries/sub', exist_ok=True)
    subprocess.run(['flac', '-s', '-f', '-o', f'{folder}/deliveries/sub/take1.flac', f'{folder}/masters/sub/take1.wav'],
                   **quiet)
    subprocess.run(['flac', '-s', '-f', '-o', f'{folder}/deliveries/take2.flac', f'{folder}/masters/take2.wav'], **quiet)
    subprocess.run(['sox', f'{folder}/masters/take2.wav', f'{folder}/deliveries/take2.aiff'], **quiet)


def examples(readme):
    """(line number, [(command, [expected lines])]) for each block with commands."""
    blocks, block, start = [], [], 0
    for number, line in enumerate(open(readme, encoding='utf-8').read().split('\n') + [''], 1):
        if line.startswith('    ') or (block and not line.strip()):
            if not block:
                start = number
            block.append(line[4:])
            continue
        if block:
            blocks.append((start, block))
            block = []
    found = []
    for start, lines in blocks:
        while lines and not lines[-1].strip():
            lines.pop()
        steps = []
        for line in lines:
            if line.startswith('$ '):
                steps.append((line[2:], []))
            elif steps:
                steps[-1][1].append(line)
        if not steps or not lines[0].startswith('$ '):
            continue
        if re.fullmatch(r'cat \S+', steps[0][0]):
            continue
        found.append((start, steps))
    return found


VARYING = [
    (re.compile(r'^\[debug\] \d\d:\d\d:\d\d$'), '[debug] TIME'),
    (re.compile(r'"(started|ended)": "[^"]*"'), r'"\1": "TIME"'),
]


def normal(line):
    for pattern, replacement in VARYING:
        line = pattern.sub(replacement, line)
    return line.rstrip()


def matches(expected, actual):
    """Whether actual lines match expected ones, where "..." stands for any lines."""
    if not expected:
        return not actual
    if expected[0] == '...':
        return any(matches(expected[1:], actual[i:]) for i in range(len(actual) + 1))
    return bool(actual) and normal(expected[0]) == normal(actual[0]) and matches(expected[1:], actual[1:])


def main():
    readme, bin_dir = sys.argv[1], os.path.abspath(sys.argv[2])
    show = '--show' in sys.argv[3:]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        make_files(folder)
        environment = dict(os.environ, PATH=f'{bin_dir}:{os.environ["PATH"]}', LC_ALL='C.UTF-8', TZ='UTC')
        for start, steps in examples(readme):
            # Each block runs in one shell, so that "echo $?" sees the command before it.
            # The marker between commands keeps the exit status for the next one.
            script = 'status=0\n' + ''.join(f'echo "@@step {i}"; (exit $status)\n{command}\nstatus=$?\n'
                                              for i, (command, _) in enumerate(steps))
            result = subprocess.run(['bash', '-c', script], cwd=folder, env=environment, stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT, text=True)
            outputs = re.split(r'^@@step \d+\n', result.stdout, flags=re.M)[1:]
            for (command, expected), output in zip(steps, outputs):
                actual = output.rstrip('\n').split('\n') if output.strip('\n') else []
                if show:
                    print(f'README line {start}: $ {command}\n' + '\n'.join(actual))
                if not matches(expected, actual):
                    failures += 1
                    print(f'FAILED: README line {start}: $ {command}\n--- the README shows:\n' + '\n'.join(expected) +
                          '\n--- the program printed:\n' + '\n'.join(actual))
            if len(outputs) != len(steps):
                failures += 1
                print(f'FAILED: README line {start}: the block stopped after {len(outputs)} of {len(steps)} commands')
    count = len(examples(readme))
    print(f'readme examples: {count} blocks, {failures} failed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
