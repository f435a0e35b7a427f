"""Checks the built user manual: a well-formed PDF of a few pages, which says
what a user needs (parameters, presets, detector HPF for bass, latency,
installation), and which the typesetter reproduces byte for byte.

DUV_MANUAL names the built PDF (ctest sets it to the build folder's copy)."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
MANUAL = os.environ.get("DUV_MANUAL", os.path.join(ROOT, "build", "Pelko-DUV.pdf"))
TYPESETTER = os.path.join(ROOT, "docs", "make_manual.py")
SOURCE = os.path.join(ROOT, "docs", "manual.txt")


def read_manual():
    with open(MANUAL, "rb") as f:
        return f.read()


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
        self.assertLessEqual(pages, 6)

    def test_page_counter_sees_pages(self):
        self.assertEqual(page_count(b"<< /Type /Pages /Count 2 >> << /Type /Page >> << /Type/Page >>"), 2)

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
        self.assertRegex(self.text, r"Rich Slapback 0\.40 \+8\.5 65 \+10\.5 66 50 0\.5")

    def test_latency_and_installation(self):
        self.assertIn("4096 samples", self.text)
        self.assertIn("delay compensation", self.text)
        self.assertIn("~/.vst/", self.text)
        self.assertIn("DUV.so", self.text)
        self.assertIn("cmake --install build", self.text)


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
