#!/usr/bin/env python3
"""Measures adpcm in one run: encoding speed, memory, and quality beside
the generic route.

  python3 bench/adpcm_bench.py [--small] [--adpcm PATH] [--rounds N]

- Speed: each quality encodes a 60 s signal made here at 15625 Hz (4 s with
  --small); the CPU time of the process (one core) as a multiple of real
  time, and beside it sox's OKI-ADPCM writer on the same file.
- Memory: peak resident memory of encoding 1 minute and 10 minutes (2 s and
  20 s with --small) of stereo input, from GNU time.
- Quality: the signal-to-noise ratio, against the levelled input, of what
  src/adpcm decodes (`adpcm decode`) from sox's OKI-ADPCM with the nibbles
  of each byte swapped, and from adpcm's fast, good and best, on the
  signals the tests use and, when espeak-ng is installed, real speech.

Nothing here fails on a figure: a run fails only when a program fails.
"""

import argparse
import array
import math
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
RATE = 15625
QUALITIES = ("fast", "good", "best")
PI = math.pi


# The signals of src/adpcm/test_signals.cc, made again here.

class Noise:
    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return (self.state >> 8) / (1 << 23) - 1.0


def noise_burst():
    noise = Noise(12345)
    out = []
    for i in range(RATE // 2):
        t = i / RATE
        envelope = t / 0.01 if t < 0.01 else math.exp(-(t - 0.01) * 6)
        out.append(0.8 * envelope * noise.next())
    return out


def decaying_chord():
    notes = (220.0, 277.18, 329.63, 440.0)
    return [0.25 * sum(math.sin(2 * PI * f * i / RATE) for f in notes)
            * math.exp(-i / RATE * 3) for i in range(RATE)]


def square_wave():
    return [0.5 if math.fmod(i * 330.0 / RATE, 1.0) < 0.5 else -0.5
            for i in range(RATE // 2)]


def speech_like():
    formants = ((730, 1090), (270, 2290), (530, 1840), (300, 870),
                (660, 1720))
    syllable = 0.3
    state = [[0.0, 0.0], [0.0, 0.0]]

    def resonate(which, x, frequency, bandwidth):
        y1, y2 = state[which]
        r = math.exp(-PI * bandwidth / RATE)
        y = ((1 - r) * x + 2 * r * math.cos(2 * PI * frequency / RATE) * y1
             - r * r * y2)
        state[which] = [y, y1]
        return y

    breath = Noise(777)
    phase = 0.0
    out = []
    for i in range(int(RATE * 1.8)):
        t = i / RATE
        vowel = int(t / syllable) % 5
        within = math.fmod(t, syllable) / syllable
        phase += (120 + 25 * math.sin(2 * PI * 0.7 * t) + 10 * within) / RATE
        pulse = 0.0
        if phase >= 1:
            phase -= 1
            pulse = 1.0
        excitation = pulse + 0.02 * breath.next()
        f1, f2 = formants[vowel]
        y = (resonate(0, excitation, f1, 90)
             + 0.6 * resonate(1, excitation, f2, 120))
        envelope = math.sin(PI * within)
        out.append(y * envelope * envelope)
    return out


def levelled(signal):
    """The 12-bit target: the peak at -1 dBFS, as the tests level it."""
    peak = max((abs(x) for x in signal), default=0)
    gain = 2047 * 10 ** (-1 / 20) / peak if peak > 0 else 0
    return [int(round(x * gain)) for x in signal]


def write_wav(path, frames, channels=1, rate=RATE):
    """frames: 16-bit values, channels interleaved."""
    with wave.open(path, "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(array.array("h", frames).tobytes())


def read_wav(path):
    with wave.open(path) as reader:
        return array.array("h", reader.readframes(reader.getnframes()))


def write_target(path, target):
    """A 16-bit WAV whose samples are the target times 16: encoded with
    --keep-dc --gain 0, it is the target exactly."""
    write_wav(path, [v * 16 for v in target])


# Running the programs.

def run(argv, cwd):
    """Runs argv; returns (CPU seconds, peak RSS KiB). Exits on a failure."""
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(argv, cwd=cwd, stdout=null,
                                   stderr=subprocess.PIPE)
        _, status, usage = os.wait4(process.pid, 0)
        errors = process.stderr.read().decode(errors="replace")
        process.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(argv)} failed: {errors}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def peak_memory_kib(argv, cwd):
    """From GNU time, which forks from a process far smaller than this
    interpreter; None without it."""
    gnu_time = shutil.which("time", path="/usr/bin:/bin")
    if not gnu_time:
        return None
    with tempfile.NamedTemporaryFile("r", suffix=".time") as record:
        run([gnu_time, "-f", "%M", "-o", record.name] + argv, cwd)
        return int(record.read().split()[-1])


def encode(args, wav, quality, output, cwd, extra=()):
    return run([args.adpcm, "encode", "--force", "--quality", quality,
                *extra, "-o", output, wav], cwd)


def sox_route(wav, output, cwd):
    """sox's OKI-ADPCM writer, its nibbles swapped into the chip's order.
    Without dither (-D): the input is on the 12-bit grid already, and sox's
    dither is random, so that each run would score differently."""
    vox = output + ".vox"
    seconds, _ = run(["sox", "-D", wav, "-t", "vox", "-e", "oki-adpcm", "-r",
                      str(RATE), vox], cwd)
    with open(os.path.join(cwd, vox), "rb") as f:
        data = f.read()
    with open(os.path.join(cwd, output), "wb") as f:
        f.write(bytes(((b & 15) << 4) | (b >> 4) for b in data))
    return seconds


def decoded(args, pcm, cwd):
    """What src/adpcm plays of pcm, as 12-bit values."""
    run([args.adpcm, "decode", "--force", pcm], cwd)
    return [v // 16 for v in read_wav(os.path.join(cwd, pcm[:-4] + ".wav"))]


def snr_db(target, played):
    power = sum(x * x for x in target)
    noise = sum((p - x) ** 2 for x, p in zip(target, played))
    noise += sum(x * x for x in target[len(played):])
    return 10 * math.log10(power / max(noise, 1e-9))


# The measurements.

def speed(args, work):
    seconds = args.speed_seconds
    speech = levelled(speech_like())
    target = (speech * (seconds * RATE // len(speech) + 1))[:seconds * RATE]
    wav = "speed.wav"
    write_wav(os.path.join(work, wav), [v * 16 for v in target])
    print(f"\nSpeed: {seconds} s of the speech-like signal at {RATE} Hz, "
          f"CPU time of one process (median of {args.rounds})")
    print(f"  {'encoder':<18}{'CPU':>10}{'x real time':>14}")
    times = {}
    contenders = [(q, lambda q=q: encode(args, wav, q, f"speed-{q}.pcm",
                                         work)[0]) for q in QUALITIES]
    if shutil.which("sox"):
        contenders.append(("sox oki-adpcm",
                           lambda: sox_route(wav, "speed-sox.pcm", work)))
    for round_index in range(args.rounds):
        order = contenders if round_index % 2 == 0 else contenders[::-1]
        for name, go in order:
            times.setdefault(name, []).append(go())
    for name, _ in contenders:
        cpu = statistics.median(times[name])
        print(f"  {name:<18}{cpu:>9.3f}s{seconds / cpu:>13.1f}x")
    for name in ("good", "best"):
        ratios = [a / b for a, b in zip(times[name], times["fast"])]
        print(f"  {name} / fast: median {statistics.median(ratios):.1f}")
    if "sox oki-adpcm" in times:
        ratios = [a / b for a, b in zip(times["good"], times["sox oki-adpcm"])]
        print(f"  good / sox oki-adpcm: median {statistics.median(ratios):.1f}")


def memory(args, work):
    short, long = args.memory_seconds
    # One second of noise and chord, stereo, repeated: the input's length
    # is all that differs.
    noise = Noise(99)
    second = []
    for i in range(RATE):
        x = 0.3 * noise.next() + 0.3 * math.sin(2 * PI * 440 * i / RATE)
        second += [int(x * 32767), int(-0.5 * x * 32767)]
    print(f"\nMemory: peak resident memory, stereo 16-bit at {RATE} Hz, "
          "quality good")
    figures = []
    for seconds in (short, long):
        wav = f"memory-{seconds}.wav"
        write_wav(os.path.join(work, wav), second * seconds, channels=2)
        kib = peak_memory_kib([args.adpcm, "encode", "--force", "-o",
                               f"memory-{seconds}.pcm", wav], work)
        os.unlink(os.path.join(work, wav))
        figures.append(kib)
        shown = "n/a (apt-get install time)" if kib is None \
            else f"{kib / 1024:.1f} MiB"
        print(f"  {seconds:>5} s of input: {shown}")
    if None not in figures:
        print(f"  {long} s / {short} s: {figures[1] / figures[0]:.2f}")


def speech_from_espeak(work):
    """Real speech at RATE, or None without espeak-ng and sox."""
    if not shutil.which("espeak-ng") or not shutil.which("sox"):
        return None
    raw = os.path.join(work, "espeak.wav")
    at_rate = os.path.join(work, "espeak-15625.wav")
    subprocess.run(["espeak-ng", "-w", raw,
                    "The quick brown fox jumps over the lazy dog. "
                    "Sound becomes a sample, and the sample plays."],
                   check=True, capture_output=True)
    subprocess.run(["sox", "-D", raw, "-r", str(RATE), "-c", "1", "-b", "16",
                    at_rate], check=True, capture_output=True)
    return [float(v) for v in read_wav(at_rate)]


def quality(args, work):
    signals = [("noise burst", noise_burst()), ("decaying chord",
               decaying_chord()), ("square wave", square_wave()),
               ("speech-like", speech_like())]
    espeak = speech_from_espeak(work)
    if espeak is not None:
        signals.append(("espeak-ng speech", espeak))
    have_sox = shutil.which("sox") is not None
    routes = (["sox oki-adpcm"] if have_sox else []) + list(QUALITIES)
    print(f"\nQuality: SNR in dB against the levelled input (-1 dBFS, "
          f"{RATE} Hz), decoded by src/adpcm")
    print("  " + f"{'signal':<18}" + "".join(f"{r:>15}" for r in routes)
          + f"{'good - fast':>13}")
    for index, (name, signal) in enumerate(signals):
        target = levelled(signal)
        wav = f"q{index}.wav"
        write_target(os.path.join(work, wav), target)
        row = {}
        if have_sox:
            sox_route(wav, f"q{index}-sox.pcm", work)
            row["sox oki-adpcm"] = snr_db(
                target, decoded(args, f"q{index}-sox.pcm", work))
        for q in QUALITIES:
            output = f"q{index}-{q}.pcm"
            encode(args, wav, q, output, work,
                   ("--keep-dc", "--gain", "0", "--no-settle"))
            row[q] = snr_db(target, decoded(args, output, work))
        print("  " + f"{name:<18}" + "".join(f"{row[r]:>15.1f}"
                                             for r in routes)
              + f"{row['good'] - row['fast']:>13.1f}")
    if not have_sox:
        print("  (sox is not installed: no sox column)")
    if espeak is None:
        print("  (espeak-ng or sox is not installed: no real speech)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--small", action="store_true",
                        help="small sizes, to prove the script works")
    parser.add_argument("--adpcm",
                        default=os.path.join(ROOT, "build/default/adpcm"))
    parser.add_argument("--rounds", type=int)
    parser.add_argument("--work", help="scratch directory (default: a new "
                        "one under $TMPDIR)")
    args = parser.parse_args()
    args.adpcm = os.path.abspath(args.adpcm)
    if not os.access(args.adpcm, os.X_OK):
        sys.exit(f"no adpcm at {args.adpcm}: build it first "
                 "(cmake --build --preset default)")
    if args.small:
        args.speed_seconds, args.memory_seconds = 4, (2, 20)
        args.rounds = args.rounds or 1
    else:
        args.speed_seconds, args.memory_seconds = 60, (60, 600)
        args.rounds = args.rounds or 3
    work = tempfile.mkdtemp(prefix="adpcm-bench-", dir=args.work)
    try:
        print(f"adpcm: {args.adpcm}\nscratch: {work}")
        speed(args, work)
        memory(args, work)
        quality(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
