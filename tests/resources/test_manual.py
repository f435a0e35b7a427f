"""Checks the built user manual: a well-formed PDF of a few pages, which says
what a user needs (parameters, presets, detector HPF for bass, latency,
installation, the tools, troubleshooting), whose panel callouts point at the
controls they name, and which the typesetter reproduces byte for byte.

DUV_MANUAL names the built PDF (ctest sets it to the build folder's copy)."""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
MANUAL = os.environ.get("DUV_MANUAL", os.path.join(ROOT, "build", "Pelko-DUV.pdf"))
TYPESETTER = os.path.join(ROOT, "docs", "make_manual.py")
SOURCE = os.path.join(ROOT, "docs", "manual.txt")
LAYOUT = os.path.join(ROOT, "effect", "DUVEditorLayout.h")
RESOURCES = os.path.join(ROOT, "resources")


def read_manual():
    with open(MANUAL, "rb") as f:
        return f.read()


def typesetter_markers():
    sys.dont_write_bytecode = True  # no cache files in the source tree
    sys.path.insert(0, os.path.dirname(TYPESETTER))
    try:
        import make_manual
    finally:
        sys.path.pop(0)
    return make_manual.MARKERS


def led_displays_rect():
    """The four LED displays' common rectangle (L, T, R, B, half-open) in panel
    pixels, from the editor's layout table and the LED strip's frame height."""
    with open(LAYOUT, encoding="utf-8") as f:
        layout = f.read()
    corners = [(int(x), int(y)) for x, y in
               re.findall(r"constexpr Point kPosLed\w+\{(\d+), (\d+)\}", layout)]
    if len(corners) != 4:
        raise AssertionError("expected four LED displays in %s, found %d" % (LAYOUT, len(corners)))
    width = int(re.search(r"constexpr int kLedWidth = (\d+);", layout).group(1))
    file, frames = re.search(r'constexpr Image kImgLed\{\d+, "([^"]+)", (\d+)\}', layout).groups()
    with open(os.path.join(RESOURCES, file), "rb") as f:
        header = f.read(24)
    # PNG: 8-byte signature, then the IHDR chunk with width and height (big-endian).
    height = struct.unpack(">I", header[20:24])[0] // int(frames)
    return (min(x for x, _ in corners), min(y for _, y in corners),
            max(x for x, _ in corners) + width, max(y for _, y in corners) + height)


def page_count(data):
    """Pages counted from the page objects themselves, without a PDF library."""
    return len(re.findall(rb"/Type\s*/Page(?![a-zA-Z])", data))


class ManualStructureTest(unittest.TestCase):
    def test_is_a_pdf(self):
        data = read_manual()
        self.assertTrue(data.startswith(b"%PDF-1."), data[:16])
        self.assertTrue(data.rstrip().endswith(b"%%EOF"))

    def test_cross_reference_table_is_where_it_says(self):
        data = read_manual()
        m = re.search(rb"startxref\s+(\d+)\s+%%EOF\s*$", data)
        self.assertIsNotNone(m)
        offset = int(m.group(1))
        self.assertEqual(data[offset:offset + 4], b"xref")

    def test_page_count_agrees_with_the_page_tree(self):
        data = read_manual()
        pages = page_count(data)
        counts = [int(c) for c in re.findall(rb"/Count\s+(\d+)", data)]
        self.assertIn(pages, counts)
        self.assertGreaterEqual(pages, 2)
        self.assertLessEqual(pages, 10)

    def test_page_counter_sees_pages(self):
        self.assertEqual(page_count(b"<< /Type /Pages /Count 2 >> << /Type /Page >> << /Type/Page >>"), 2)

    def test_led_callout_lies_on_the_displays(self):
        rect = led_displays_rect()
        x, y = typesetter_markers()[6]
        self.assertTrue(rect[0] <= x < rect[2] and rect[1] <= y < rect[3], ((x, y), rect))

    def test_fixed_creation_date(self):
        self.assertIn(b"/CreationDate (D:20000101000000", read_manual())


class ManualTextTest(unittest.TestCase):
    def setUp(self):
        if shutil.which("pdftotext") is None:
            self.skipTest("pdftotext (poppler-utils) is not installed: text checks skipped")
        out = subprocess.run(["pdftotext", "-layout", MANUAL, "-"], check=True, capture_output=True)
        self.text = " ".join(out.stdout.decode("utf-8").split())

    def test_names_the_product(self):
        for phrase in ("DUV", "Pelko", "stereo doubler"):
            self.assertIn(phrase, self.text)

    def test_every_parameter_with_range_and_unit(self):
        for phrase in ("wet", "cents 1", "cents 2", "delay 1", "delay 2", "stereo width", "color",
                       "bypass", "knob action", "rocker action", "detector HPF", "5 to 100 ms",
                       "\u221250 to +50 cents", "50 to 100 %", "50 to 150 Hz", "drag", "rotate",
                       "fade", "jump"):
            with self.subTest(phrase=phrase):
                self.assertIn(phrase, self.text)

    def test_bass_needs_detector_hpf_lowered(self):
        self.assertRegex(self.text, r"below (about )?100 Hz.{0,200}lower detector HPF")

    def test_presets(self):
        for name in ("Default", "Silky Vocal", "Heroic Guitar", "Rich Slapback", "Wide Snare",
                     "Brindle", "user preset"):
            with self.subTest(name=name):
                self.assertIn(name, self.text)
        # Numbered from 1, as hosts and the tools count them.
        self.assertRegex(self.text, r"# Preset wet .{0,80}color 1 Default 0\.75 ")
        self.assertRegex(self.text, r"4 Rich Slapback 0\.40 \+8\.5 65 \+10\.5 66 50 0\.5 ")
        self.assertRegex(self.text, r"7 Brindle 0\.50 ")
        self.assertIn("numbered 1 to 12", self.text)

    def test_bank_keeps_only_the_current_program(self):
        self.assertRegex(self.text, r"whole bank .{0,40}keeps only the current program")

    def test_every_callout_is_explained(self):
        labels = {1: "1 Manual", 2: "2 Wheel action", 3: "3 Rocker action",
                  4: "4, 5 Voice 1 and voice 2", 5: "4, 5 Voice 1 and voice 2",
                  6: "6 LED displays", 7: "7 Bypass", 8: "8 Stereo width", 9: "9 Color",
                  10: "10 Wet", 11: "11 Version", 12: "12 Emblem"}
        self.assertEqual(sorted(typesetter_markers()), sorted(labels))
        for number, label in labels.items():
            with self.subTest(number=number):
                self.assertIn(label, self.text)

    def test_latency_and_installation(self):
        for phrase in ("4096 samples", "delay compensation", "~/.vst/", "DUV.so",
                       "cmake --install build", "--prefix", "lib/vst/DUV.so",
                       "share/doc/duv/Pelko-DUV.pdf", "DESTDIR", "DUV.dll",
                       "C:\\Program Files\\VSTPlugins", "Uninstalling"):
            with self.subTest(phrase=phrase):
                self.assertIn(phrase, self.text)

    def test_command_line_tools(self):
        for phrase in ("duv-render", "duv-info", "duv-snapshot", "--preset", "--set", "--list",
                       "--channels 2", "--float", "--window", "-o FILE.png", "demo-duv.wav",
                       "wav, flac, aiff, ogg, mp3 or opus", "8, 12, 16, 24 or 48 kHz",
                       "number in --list, counted from 1"):
            with self.subTest(phrase=phrase):
                self.assertIn(phrase, self.text)
        self.assertRegex(self.text, r"duv-render [^.]*- - \|")  # a pipe through standard input and output
        # Commands in running text keep the straight quotes a shell needs.
        for command in ('--preset "Silky Vocal"', '--set "delay 2=30"', '--set "knob action=rotate"'):
            with self.subTest(command=command):
                self.assertIn(command, self.text)

    def test_troubleshooting(self):
        for phrase in ("Troubleshooting", "The host does not find DUV", "x86-64",
                       "A mono track sounds one-sided", "The track is late", "Sending a trace log",
                       "DUV_TRACE="):
            with self.subTest(phrase=phrase):
                self.assertIn(phrase, self.text)
        self.assertRegex(self.text, r"duv-info ~/.vst/DUV.so\. If it prints")

    def test_cpu_and_memory_figures(self):
        self.assertRegex(self.text, r"one instance at 44\.1 kHz stereo uses about \d+(\.\d+)? % of one core")
        self.assertRegex(self.text, r"Each further instance adds about \d+(\.\d+)? MiB")
        self.assertIn("Xeon", self.text)


class ManualReproducibleTest(unittest.TestCase):
    def test_typesetting_again_gives_the_same_bytes(self):
        with tempfile.TemporaryDirectory() as tmp:
            again = os.path.join(tmp, "again.pdf")
            env = dict(os.environ, PYTHONDONTWRITEBYTECODE="1")
            subprocess.run([sys.executable, TYPESETTER, SOURCE, again], check=True, env=env)
            with open(again, "rb") as f:
                self.assertEqual(f.read(), read_manual())


if __name__ == "__main__":
    unittest.main()
