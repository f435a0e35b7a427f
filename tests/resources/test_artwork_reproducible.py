"""Running the artwork generator again must give the committed files byte for
byte (so the committed images are what the generator makes), and its preview
of the assembled panel must come out at the editor's size."""

import filecmp
import os
import subprocess
import sys
import tempfile
import unittest

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
IMG_DIR = os.environ.get("DUV_IMG_DIR", os.path.join(ROOT, "resources", "img"))
GENERATOR = os.environ.get("DUV_ARTWORK_GENERATOR",
                           os.path.join(ROOT, "tools", "artwork", "make_artwork.py"))


class ReproducibleTest(unittest.TestCase):
    def test_generator_reproduces_committed_images(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "img")
            preview = os.path.join(tmp, "preview.png")
            env = dict(os.environ, PYTHONDONTWRITEBYTECODE="1")
            subprocess.run([sys.executable, GENERATOR, out, "--preview", preview], check=True, env=env)
            committed = sorted(os.listdir(IMG_DIR))
            self.assertEqual(sorted(os.listdir(out)), committed)
            for name in committed:
                with self.subTest(name=name):
                    self.assertTrue(filecmp.cmp(os.path.join(out, name), os.path.join(IMG_DIR, name),
                                                shallow=False), "%s differs from the generator's" % name)
            with Image.open(preview) as img:
                self.assertEqual(img.size, (716, 227))


if __name__ == "__main__":
    unittest.main()
