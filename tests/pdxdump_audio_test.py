#!/usr/bin/env python3
"""pdxdump's sound, checked from outside: its WAV files as Python's wave
module reads them, its decoding beside sox's, and its page in a real browser.

  python3 pdxdump_audio_test.py --pdxdump PATH --keep DIR [TestCase...]

Where sox or chromium is missing, the tests that need it are skipped with a
notice, except in CI (CI set and not "false"), where they fail.
"""

import argparse
import json
import math
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

PDXDUMP = None
KEEP = None
TABLE_SIZE = 768

# The decoder's rule, for the test's own encoder only: the expected
# decodings below are worked by hand.
STEPS = [16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60, 66, 73,
         80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279,
         307, 337, 371, 408, 449, 494, 544, 598, 658, 724, 796, 876, 963,
         1060, 1166, 1282, 1411, 1552]
MOVES = [-1, -1, -1, -1, 2, 4, 6, 8]


def in_ci():
    return os.environ.get("CI", "") not in ("", "false")


def need(test, program, package):
    path = shutil.which(program)
    if path:
        return path
    if in_ci():
        test.fail(f"{program} is missing in CI (apt-get install {package})")
    test.skipTest(f"Skipped: {program} not found (apt-get install {package})")


def make_bank(slots, data):
    """slots: {slot: (offset, length)}; data follows the table."""
    table = bytearray(TABLE_SIZE)
    for slot, (offset, length) in slots.items():
        struct.pack_into(">II", table, slot * 8, offset, length)
    return bytes(table) + data


def bank_of(samples, shared=None):
    """Samples back to back in slots 0, 1, ...; shared: {slot: first}."""
    slots, data = {}, b""
    for slot, sample in enumerate(samples):
        slots[slot] = (TABLE_SIZE + len(data), len(sample))
        data += sample
    for slot, first in (shared or {}).items():
        slots[slot] = slots[first]
    return make_bank(slots, data)


def step(signal, index, code):
    size = STEPS[index]
    difference = size >> 3
    if code & 4:
        difference += size
    if code & 2:
        difference += size >> 1
    if code & 1:
        difference += size >> 2
    if code & 8:
        difference = -difference
    signal = max(-2048, min(2047, signal + difference))
    return signal, max(0, min(48, index + MOVES[code & 7]))


def encode(target):
    """Closed loop: each code is the one whose decoding lands nearest."""
    signal, index, codes = 0, 0, []
    for value in target:
        code = min(range(16),
                   key=lambda c: abs(step(signal, index, c)[0] - value))
        signal, index = step(signal, index, code)
        codes.append(code)
    if len(codes) % 2:
        codes.append(0)
    return bytes(codes[i] | codes[i + 1] << 4 for i in range(0, len(codes), 2))


def synthetic_signal(rate, seconds):
    """Decaying tones, then a burst of noise, well inside 12 bits."""
    rng = random.Random(11)
    out = []
    for frequency in (220.0, 523.25, 1760.0):
        n = int(rate * seconds / 4)
        out += [1400 * math.exp(-2.5 * k / n) *
                math.sin(2 * math.pi * frequency * k / rate) for k in range(n)]
    n = int(rate * seconds / 4)
    out += [rng.uniform(-900, 900) * math.exp(-3 * k / n) for k in range(n)]
    return [int(round(v)) for v in out]


def moving_average(values, half):
    """Each value's mean over the 2 * half + 1 values around it."""
    sums = [0]
    for v in values:
        sums.append(sums[-1] + v)
    out = []
    for k in range(len(values)):
        low, high = max(0, k - half), min(len(values), k + half + 1)
        out.append((sums[high] - sums[low]) / (high - low))
    return out


def read_wav(path):
    with wave.open(path, "rb") as w:
        frames = w.readframes(w.getnframes())
        return {"channels": w.getnchannels(), "width": w.getsampwidth(),
                "rate": w.getframerate(), "frames": w.getnframes(),
                "samples": list(struct.unpack(f"<{len(frames) // 2}h",
                                              frames))}


class Scratch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="pdxdump-audio-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def pdxdump(self, *args, status=0):
        run = subprocess.run([PDXDUMP, *args], cwd=self.dir,
                             capture_output=True, timeout=60)
        self.assertEqual(run.returncode, status, run.stderr.decode())
        return run


class WavFile(Scratch):
    HAND_WORKED = [
        (bytes([0x77, 0x77, 0x77, 0x77]),
         [30, 93, 229, 522, 1153, 2047, 2047, 2047]),
        (bytes([0x17, 0x7F, 0x80, 0x31]), [30, 42, -14, 109, 126, 110, 153,
                                           245]),
        (bytes([0x88, 0x88]), [-2, -4, -6, -8]),
    ]

    def test_header_and_samples_as_the_wave_module_reads_them(self):
        self.write("hand.pdx", bank_of([b for b, _ in self.HAND_WORKED],
                                       shared={7: 0}))
        for rate_args, rate in (([], 15625), (["--rate", "1000"], 1000),
                                (["--rate=48000"], 48000)):
            out = f"out{rate}"
            self.pdxdump("--extract", out, "--wav", *rate_args, "hand.pdx")
            for slot, (coded, signal) in enumerate(self.HAND_WORKED):
                wav = read_wav(self.path(f"{out}/s{slot:02d}.wav"))
                self.assertEqual(
                    (wav["channels"], wav["width"], wav["rate"],
                     wav["frames"]), (1, 2, rate, 2 * len(coded)))
                self.assertEqual(wav["samples"], [16 * v for v in signal])
            # A shared sample is one file, named after its first slot.
            self.assertFalse(os.path.exists(self.path(f"{out}/s07.wav")))

    def test_refuses_rates_out_of_range(self):
        self.write("hand.pdx", bank_of([b"\x77"]))
        for rate in ("999", "48001", "0", "15625.0"):
            run = self.pdxdump("-x", "out", "--wav", "--rate", rate,
                               "hand.pdx", status=2)
            self.assertEqual(run.stdout, b"")
            self.assertIn(b"--rate", run.stderr)
            self.assertFalse(os.path.exists(self.path("out")))


class SoxCrossCheck(Scratch):
    RATE = 15625

    def test_agrees_with_sox_on_a_synthetic_signal(self):
        sox = need(self, "sox", "sox libsox-fmt-all")
        coded = encode(synthetic_signal(self.RATE, 3.0))
        self.write("synth.pdx", bank_of([coded]))
        self.pdxdump("--extract", "out", "--wav", "synth.pdx")
        ours = read_wav(self.path("out/s00.wav"))["samples"]
        # The test's signal never reaches the clamps, where the two
        # decoders' different rounding would part further.
        self.assertLess(max(abs(v) for v in ours), 2000 * 16)
        # Headerless 4-bit codes (sox's default encoding for the type),
        # the low nibble first.
        subprocess.run([sox, "-t", "vox", "-r", str(self.RATE), "-N",
                        self.path("out/s00.pcm"), "-t", "wav", "-b", "16",
                        self.path("sox.wav")], check=True, timeout=60)
        theirs = read_wav(self.path("sox.wav"))
        self.assertEqual(theirs["frames"], len(ours))
        # Both scale the 12-bit signal to 16 bits by 16. Neither decoder
        # leaks, so their different rounding adds up to a slow wander of
        # the difference, an offset no one hears: what of the difference
        # changes slower than about 60 Hz is taken out before comparing.
        difference = [a - b for a, b in zip(ours, theirs["samples"])]
        wander = moving_average(difference, 128)
        power = sum(v * v for v in ours)
        raw = sum(d * d for d in difference)
        error = sum((d - w) ** 2 for d, w in zip(difference, wander))
        ratio = 10 * math.log10(power / max(error, 1))
        print(f"signal-to-difference ratio against sox: {ratio:.1f} dB "
              f"({10 * math.log10(power / max(raw, 1)):.1f} dB with the "
              f"wander)")
        self.assertGreaterEqual(ratio, 25.0)


# Added to the test's copy of the page only: gathers console errors, then
# waits for every player's metadata and writes what it found into the page.
PROBE = """<script>
window.probeErrors = [];
addEventListener('error', e => probeErrors.push(String(e.message ||
    (e.target && e.target.outerHTML && e.target.outerHTML.slice(0, 80)))),
    true);
addEventListener('unhandledrejection', e => probeErrors.push(String(e.reason)));
for (const level of ['error', 'warn']) {
  const original = console[level];
  console[level] = (...a) => { probeErrors.push(a.join(' '));
                               original.apply(console, a); };
}
addEventListener('load', () => {
  const audios = [...document.querySelectorAll('audio')];
  Promise.all(audios.map(a => new Promise(done => {
    const report = () => done({id: a.id, same: a.dataset.same || null,
        slot: a.closest('section').id, duration: a.duration,
        error: a.error ? a.error.code : null});
    // A player with nothing to play never says so: give up on it in time.
    if (a.readyState >= 1 || !a.currentSrc && !a.src) return report();
    a.addEventListener('loadedmetadata', report);
    a.addEventListener('error', report);
    setTimeout(report, 4000);
  }))).then(audio => {
    const pre = document.createElement('pre');
    pre.id = 'probe-results';
    pre.textContent = JSON.stringify({audio, errors: probeErrors,
        waves: [...document.querySelectorAll('section.slot svg.wave')]
            .map(s => s.closest('section').id)});
    document.body.appendChild(pre);
  });
});
</script>"""


class Browser(Scratch):
    RATE = 10417

    def chromium(self, browser, *args):
        profile = tempfile.mkdtemp(prefix="profile-", dir=self.dir)
        return subprocess.run(
            [browser, "--headless", "--no-sandbox", "--disable-gpu",
             "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update",
             "--disable-sync", f"--user-data-dir={profile}", *args],
            capture_output=True, timeout=120, text=True, errors="replace")

    def test_page_plays_every_slot_in_a_real_browser(self):
        browser = need(self, "chromium", "chromium")
        tones = [encode([int(1200 * math.sin(k * f)) for k in range(n)])
                 for f, n in ((0.05, 3000), (0.21, 12001), (0.9, 700))]
        # Slots 0 to 2, slot 9 sharing slot 1, and a sample past the end.
        data = b"".join(tones)
        slots = {0: (TABLE_SIZE, len(tones[0])),
                 1: (TABLE_SIZE + len(tones[0]), len(tones[1])),
                 2: (TABLE_SIZE + len(tones[0]) + len(tones[1]),
                     len(tones[2])),
                 9: (TABLE_SIZE + len(tones[0]), len(tones[1])),
                 4: (TABLE_SIZE + len(data) - 100, 400)}
        self.write("song<&>.pdx", make_bank(slots, data))
        self.pdxdump("--html", "page.html", "--rate", str(self.RATE),
                     "song<&>.pdx", status=1)
        with open(self.path("page.html"), encoding="utf-8") as f:
            page = f.read()
        self.assertNotIn("song<&>", page)
        self.assertNotRegex(page, r"(src|href)=\"(?!data:|#)")
        with open(self.path("probe.html"), "w", encoding="utf-8") as f:
            f.write(page.replace("<head>", "<head>\n" + PROBE, 1))

        run = self.chromium(browser, "--virtual-time-budget=10000",
                            "--enable-logging=stderr", "--v=0", "--dump-dom",
                            "file://" + self.path("probe.html"))
        found = re.search(r'<pre id="probe-results">(.*?)</pre>', run.stdout,
                          re.S)
        self.assertIsNotNone(found, run.stderr[-2000:])
        results = json.loads(found.group(1).replace("&amp;", "&")
                             .replace("&lt;", "<").replace("&gt;", ">")
                             .replace("&quot;", '"'))
        self.assertEqual(results["errors"], [])
        # The page itself writes nothing to the console.
        console = [line for line in run.stderr.splitlines()
                   if ":CONSOLE" in line]
        self.assertEqual(console, [])

        filled = sorted(slots)
        self.assertEqual(results["waves"], [f"slot-{s}" for s in filled])
        self.assertEqual([a["slot"] for a in results["audio"]],
                         [f"slot-{s}" for s in filled])
        for audio in results["audio"]:
            slot = int(audio["slot"].split("-")[1])
            offset, length = slots[slot]
            there = min(length, TABLE_SIZE + len(data) - offset)
            with self.subTest(slot=slot):
                self.assertIsNone(audio["error"])
                self.assertIsNotNone(audio["duration"], "no duration known")
                self.assertAlmostEqual(audio["duration"],
                                       there * 2 / self.RATE,
                                       delta=1 / self.RATE)
        shot = self.chromium(browser, "--window-size=1200,1800",
                             "--hide-scrollbars",
                             "--screenshot=" + self.path("page.png"),
                             "file://" + self.path("page.html"))
        self.assertTrue(os.path.exists(self.path("page.png")), shot.stderr)
        os.makedirs(KEEP, exist_ok=True)
        for name in ("page.html", "page.png"):
            shutil.copy(self.path(name), os.path.join(KEEP, name))
        print(f"screenshot kept at {os.path.join(KEEP, 'page.png')}")


def main():
    global PDXDUMP, KEEP
    parser = argparse.ArgumentParser()
    parser.add_argument("--pdxdump", required=True)
    parser.add_argument("--keep", required=True,
                        help="where the page and its screenshot are kept")
    args, rest = parser.parse_known_args()
    PDXDUMP, KEEP = os.path.abspath(args.pdxdump), os.path.abspath(args.keep)
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
