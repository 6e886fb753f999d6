#!/usr/bin/env python3
"""adpcm, the built program, on sound files the test makes: sox makes the
other formats of a 16-bit WAV; Python's wave module reads what comes back.

  adpcm_program_test.py --adpcm PATH CASE
"""

import array
import json
import math
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import wave

ADPCM = None


def write_wav(path, frames, rate, channels=1, width=2):
    """frames: one tuple of ints per frame."""
    with wave.open(path, "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(width)
        out.setframerate(rate)
        data = bytearray()
        for frame in frames:
            for value in frame:
                if width == 1:
                    data += struct.pack("<B", value + 128)
                else:
                    data += struct.pack("<h", value)
        out.writeframes(bytes(data))


def tone(frequency, rate, seconds, level=0.5):
    return [(int(round(level * 32767 *
                       math.sin(2 * math.pi * frequency * i / rate))),)
            for i in range(int(rate * seconds))]


def run(*args, env_limit=None, ignore_limit_signal=True):
    def limit():
        if env_limit is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (env_limit, env_limit))
            # Python ignores the signal itself; the child decides here.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN if ignore_limit_signal
                          else signal.SIG_DFL)
    return subprocess.run([ADPCM, *args], capture_output=True,
                          preexec_fn=limit, restore_signals=False,
                          env={"LC_ALL": "C"})


def decoded(path):
    """The WAV that adpcm decode makes of path, as 12-bit values."""
    wav = path[:-4] + ".wav"
    result = run("decode", "--force", path)
    assert result.returncode == 0, result.stderr
    with wave.open(wav) as reader:
        data = array.array("h", reader.readframes(reader.getnframes()))
    return [v // 16 for v in data]


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def case_formats(work):
    """Lossless copies of a 16-bit WAV encode to the same bytes."""
    if not shutil.which("sox"):
        print("Skipped: sox is not installed")
        return 1 if os.environ.get("CI") == "true" else 0
    source = os.path.join(work, "source.wav")
    write_wav(source, tone(440, 15625, 0.5), 15625)
    check(run("encode", source).returncode == 0, "the WAV does not encode")
    with open(os.path.join(work, "source.pcm"), "rb") as f:
        expected = f.read()
    copies = {"w24.wav": ["-b", "24"],
              "float.wav": ["-e", "floating-point", "-b", "32"],
              "copy.aiff": [], "copy.flac": []}
    for name, options in copies.items():
        out = os.path.join(work, name)
        subprocess.run(["sox", source, *options, out], check=True)
        if name == "w24.wav":
            # sox writes 24 bits as WAVE_FORMAT_EXTENSIBLE.
            with open(out, "rb") as f:
                check(f.read(22)[20:22] == b"\xfe\xff", "not EXTENSIBLE")
        result = run("encode", "-o", out + ".pcm", out)
        check(result.returncode == 0, f"{name}: {result.stderr}")
        with open(out + ".pcm", "rb") as f:
            check(f.read() == expected, f"{name} encodes differently")
    # 8-bit input is read, and comes out as the same tone.
    eight = os.path.join(work, "eight.wav")
    write_wav(eight, [(v // 256,) for (v,) in tone(440, 15625, 0.5)], 15625,
              width=1)
    check(run("encode", eight).returncode == 0, "8-bit input fails")
    check(abs(crossings(decoded(os.path.join(work, "eight.pcm"))[:7812])
              - 440) < 5, "8-bit input lost its tone")


def crossings(signal):
    """The frequency at 15625 Hz, from the upward zero crossings."""
    ups = [i for i in range(1, len(signal))
           if signal[i - 1] < 0 <= signal[i]]
    return (len(ups) - 1) * 15625 / (ups[-1] - ups[0])


def case_resampling(work):
    source = os.path.join(work, "tone.wav")
    write_wav(source, tone(1000, 44100, 2.0), 44100)
    result = run("encode", "--no-settle", source)
    check(result.returncode == 0, result.stderr)
    signal = decoded(os.path.join(work, "tone.pcm"))
    check(len(signal) == 31250, f"{len(signal)} samples")
    check(abs(crossings(signal[200:-200]) - 1000) < 2, "the tone moved")
    # The input is read and converted in blocks: a sample lost or doubled
    # where two meet would put the rest out of step with the tone it should
    # be (about 8 dB instead of 30).
    peak = 2048 * 10 ** (-1 / 20)
    ideal = [peak * math.sin(2 * math.pi * 1000 * i / 15625)
             for i in range(len(signal))]
    power = sum(y * y for y in ideal[300:-300])
    noise = sum((x - y) ** 2 for x, y in zip(signal[300:-300], ideal[300:-300]))
    check(10 * math.log10(power / noise) > 25,
          f"the tone is out of step: {10 * math.log10(power / noise):.1f} dB")
    # Above the new Nyquist frequency: gone, at a fixed gain.
    high = os.path.join(work, "high.wav")
    write_wav(high, tone(10000, 44100, 1.0), 44100)
    result = run("encode", "--gain", "0", high)
    check(result.returncode == 0, result.stderr)
    signal = decoded(os.path.join(work, "high.pcm"))
    rms = math.sqrt(sum(v * v for v in signal[500:-500]) / len(signal))
    # The tone itself would stand at about 0.35 * 2048 = 724.
    check(rms < 8, f"the tone above Nyquist came through at {rms:.1f}")


def case_stereo_and_sizes(work):
    stereo = os.path.join(work, "stereo.wav")
    write_wav(stereo, [(v, -v) for (v,) in tone(440, 15625, 0.2)], 15625,
              channels=2)
    result = run("encode", stereo)
    check(result.returncode == 0, result.stderr)
    check(b"the input is silent" in result.stderr, result.stderr)
    check(set(open(os.path.join(work, "stereo.pcm"), "rb").read())
          <= {0x00, 0x08, 0x80, 0x88}, "silence encoded as sound")
    # Below one 12-bit step the input counts as silent rather than being
    # blown up to full scale; a little above it, it is normalised.
    for amplitude, silent in ((12, True), (40, False)):
        name = os.path.join(work, f"quiet{amplitude}.wav")
        write_wav(name, [(int(round(amplitude * math.sin(i / 5))),)
                         for i in range(3000)], 15625)
        result = run("encode", "--json", name)
        check(result.returncode == 0, result.stderr)
        check((b"the input is silent" in result.stderr) == silent,
              result.stderr)
        codes = set(open(name[:-4] + ".pcm", "rb").read())
        check((codes <= {0x00, 0x08, 0x80, 0x88}) == silent,
              f"amplitude {amplitude}: codes {sorted(codes)}")
        check((b'"gain_db": 0.00' in result.stdout) == silent, result.stdout)
    for count, size in ((0, 0), (1, 1)):
        name = os.path.join(work, f"n{count}.wav")
        write_wav(name, [(1000,)] * count, 15625)
        result = run("encode", "--no-settle", name)
        check(result.returncode == 0, result.stderr)
        check(os.path.getsize(name[:-4] + ".pcm") == size,
              f"{count} samples make {os.path.getsize(name[:-4] + '.pcm')}")


def case_failures(work):
    text = os.path.join(work, "notes.txt")
    with open(text, "w") as f:
        f.write("not a sound\n")
    good = os.path.join(work, "good.wav")
    write_wav(good, tone(440, 15625, 0.2), 15625)
    result = run("encode", text, good)
    check(result.returncode == 1, "a failed input is not reported")
    check(b"notes.txt: cannot read it as sound" in result.stderr,
          result.stderr)
    check(not os.path.exists(os.path.join(work, "notes.pcm")),
          "something was written for text")
    check(os.path.exists(os.path.join(work, "good.pcm")),
          "the good input was not made")
    # Never replacing without --force.
    with open(os.path.join(work, "good.pcm"), "wb") as f:
        f.write(b"keep")
    result = run("encode", good)
    check(result.returncode == 1 and b"exists" in result.stderr,
          result.stderr)
    check(open(os.path.join(work, "good.pcm"), "rb").read() == b"keep",
          "an existing file was replaced")
    check(run("encode", "--force", good).returncode == 0, "--force fails")
    check(os.path.getsize(os.path.join(work, "good.pcm")) > 4,
          "--force did not replace")
    # A file-size limit below the sample: nothing of it stays.
    # Ignored, the limit fails the write; left to its signal, it ends the
    # process. Either way, no file.
    os.remove(os.path.join(work, "good.pcm"))
    for ignored, status in ((True, 1), (False, -signal.SIGXFSZ)):
        result = run("encode", good, env_limit=1000,
                     ignore_limit_signal=ignored)
        check(result.returncode == status,
              f"status {result.returncode}: {result.stderr}")
        check(sorted(os.listdir(work)) == ["good.wav", "notes.txt"],
              f"left behind: {sorted(os.listdir(work))}")
    for usage in (["--rate", "999"], ["--gain", "3", "--peak", "-3"]):
        result = run("encode", *usage, good)
        check(result.returncode == 2, f"{usage}: {result.returncode}")


def case_interrupted(work):
    """Ctrl-C while a long encoding is under way: the sample being made
    leaves nothing, and an old one that --force was to replace stays whole."""
    import random
    rng = random.Random(7)
    noisy = os.path.join(work, "noise.wav")
    write_wav(noisy, [(rng.randint(-20000, 20000),)
                      for _ in range(15625 * 30)], 15625)
    old = os.path.join(work, "noise.pcm")
    for existing in (None, b"old sample"):
        if existing is not None:
            with open(old, "wb") as f:
                f.write(existing)
        before = sorted(os.listdir(work))
        process = subprocess.Popen(
            [ADPCM, "encode", "--force", "--quality", "best", noisy],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
            env={"LC_ALL": "C"})
        # Interrupted once its temporary file exists, well before the end.
        deadline = time.monotonic() + 20
        while (sorted(os.listdir(work)) == before and
               time.monotonic() < deadline and process.poll() is None):
            time.sleep(0.01)
        check(process.poll() is None, "the encoding ended before Ctrl-C")
        time.sleep(0.2)
        process.send_signal(signal.SIGINT)
        _, errors = process.communicate(timeout=30)
        check(process.returncode == -signal.SIGINT,
              f"status {process.returncode}: {errors}")
        check(sorted(os.listdir(work)) == before,
              f"left behind: {sorted(os.listdir(work))}, was {before}")
        if existing is not None:
            check(open(old, "rb").read() == existing, "the old sample changed")


def case_refusals(work):
    """Inputs and outputs refused before any work, each with its reason, the
    other inputs still made."""
    good = os.path.join(work, "good.wav")
    write_wav(good, tone(440, 15625, 0.2), 15625)
    os.mkfifo(os.path.join(work, "pipe.wav"))
    os.mkdir(os.path.join(work, "folder.wav"))
    cases = [
        # Encoding reads an input twice: a FIFO is refused, never waited on.
        (["encode", "pipe.wav", "good.wav"], 1,
         b"adpcm: pipe.wav: is not a regular file\n"),
        (["encode", "folder.wav", "good.wav"], 1,
         b"adpcm: folder.wav: is a directory\n"),
        (["encode", "absent.wav", "good.wav"], 1,
         b"adpcm: absent.wav: names no file\n"),
        # Two inputs of one name: the second would undo the first.
        (["encode", "-f", "-d", "out", "good.wav", "sub/good.wav"], 1,
         b"adpcm: sub/good.wav: its output out/good.pcm was made from "
         b"another input of this run\n"),
        (["encode", "-o", "-", "good.wav"], 2,
         b"adpcm: -o needs a file name (adpcm writes files, not the "
         b"standard output)\n"),
    ]
    os.mkdir(os.path.join(work, "sub"))
    shutil.copy(good, os.path.join(work, "sub", "good.wav"))
    os.mkdir(os.path.join(work, "out"))
    for args, status, message in cases:
        for made in ("good.pcm", "out/good.pcm"):
            if os.path.exists(os.path.join(work, made)):
                os.remove(os.path.join(work, made))
        result = subprocess.run([ADPCM, *args], capture_output=True,
                                cwd=work, env={"LC_ALL": "C"}, timeout=30)
        check(result.returncode == status,
              f"{args}: status {result.returncode}: {result.stderr}")
        check(message in result.stderr, f"{args}: {result.stderr}")
        if status == 1:
            check(os.path.exists(os.path.join(
                work, "out/good.pcm" if "-d" in args else "good.pcm")),
                f"{args}: the good input was not made")
    # Rates further apart than the converter takes: said plainly.
    high = os.path.join(work, "high.wav")
    write_wav(high, tone(1000, 384000, 0.05), 384000)
    result = run("encode", "--rate", "1000", high)
    check(result.returncode == 1 and b"384000 Hz to 1000 Hz: the rates may "
          b"differ 256 times at most" in result.stderr, result.stderr)


def case_json(work):
    """One JSON object per input, failed ones too, whatever the names and
    whatever the samples hold."""
    names = ["plain.wav", "quote\"back\\slash.wav", "line\nfeed.wav",
             "bad\udcff.wav"]
    for name in names:
        write_wav(os.path.join(work, os.fsencode(name).decode(
            "utf-8", "surrogateescape")), tone(440, 15625, 0.1), 15625)
    # A float file with an infinite sample: taken as full scale, so that the
    # gain and the SNR stay numbers.
    infinite = os.path.join(work, "infinite.wav")
    values = [0.5 * math.sin(i / 5) for i in range(2000)]
    values[100] = float("inf")
    values[200] = float("nan")
    with open(infinite, "wb") as f:
        data = struct.pack(f"<{len(values)}f", *values)
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " +
                struct.pack("<IHHIIHH", 16, 3, 1, 15625, 15625 * 4, 4, 32) +
                b"data" + struct.pack("<I", len(data)) + data)
    inputs = [os.fsencode(n) for n in names] + [b"infinite.wav",
                                                 b"absent.wav"]
    result = subprocess.run([os.fsencode(ADPCM), b"encode", b"--json",
                             *inputs], capture_output=True, cwd=work,
                            env={"LC_ALL": "C"})
    check(result.returncode == 1, result.stderr)
    objects = [json.loads(line)
               for line in result.stdout.decode("utf-8").splitlines()]
    check([o["input"] for o in objects] ==
          names[:3] + ["bad\u00ff.wav", "infinite.wav", "absent.wav"],
          objects)
    check(objects[-1] == {"input": "absent.wav", "error": "names no file"},
          objects[-1])
    check(not objects[4]["silent"] and
          isinstance(objects[4]["gain_db"], float) and
          isinstance(objects[4]["snr_db"], float), objects[4])
    # Only warnings and the failure reach standard error.
    check(b" -> " not in result.stderr, result.stderr)


CASES = {"Formats": case_formats, "Resampling": case_resampling,
         "StereoAndSizes": case_stereo_and_sizes, "Failures": case_failures,
         "Interrupted": case_interrupted, "Refusals": case_refusals,
         "Json": case_json}


def main(argv):
    global ADPCM
    if len(argv) != 4 or argv[1] != "--adpcm" or argv[3] not in CASES:
        print(__doc__, file=sys.stderr)
        return 2
    ADPCM = os.path.abspath(argv[2])
    with tempfile.TemporaryDirectory() as work:
        return CASES[argv[3]](work) or 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
