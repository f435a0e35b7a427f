"""Checks the committed editor images: file structure, sizes, frame layout and
colour layout as the editor and its decoders expect them, and that the
pictures behave as the controls use them (wheel indicators turn clockwise from
the bottom, masks cut the circle, rockers travel end to end, lamps light).

The image directory comes from DUV_IMG_DIR (ctest sets it); by default it is
resources/img of this source tree."""

import math
import os
import sys
import unittest

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import imagefiles  # noqa: E402

IMG_DIR = os.environ.get(
    "DUV_IMG_DIR",
    os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "img"))

# file name: (kind, stored width, stored height, frames, layout)
TABLE = {
    "bg.png": ("png", 716, 227, 1, "RGB"),
    "wheel-inner.jpg": ("jpg", 88, 15928, 181, 3),
    "wheel-outer.jpg": ("jpg", 145, 26245, 181, 3),
    "wheels-inner-ring.png": ("png", 88, 15928, 181, "RGBA"),
    "led.png": ("png", 7, 132, 12, "RGBA"),
    "wet.jpg": ("jpg", 103, 11350, 50, 3),
    "width.jpg": ("jpg", 93, 4900, 50, 3),
    "color.jpg": ("jpg", 89, 5000, 50, 3),
    "bypass.jpg": ("jpg", 61, 110, 2, 3),
    "wheel-out-mask.png": ("png", 145, 145, 1, "RGB"),
    "wheel-in-mask.png": ("png", 88, 88, 1, "RGB"),
    "knob-absolute.png": ("png", 17, 36, 2, "RGB"),
    "knob-relative.png": ("png", 17, 36, 2, "RGB"),
    "rocker-absolute.png": ("png", 17, 36, 2, "RGB"),
    "rocker-relative.png": ("png", 17, 36, 2, "RGB"),
}

# The background's areas that the editor draws on or that the images must keep.
VERSION_TEXT_AREA = (530, 8, 605, 18)
MANUAL_ICON_AREA = (10, 10, 25, 25)
LED_GLYPH_CELLS = [(x + c, y) for x, y in ((186, 72), (217, 72), (186, 100), (217, 100))
                   for c in (0, 9, 18)]


def read(name):
    with open(os.path.join(IMG_DIR, name), "rb") as f:
        return f.read()


def pixels(name, mode=None):
    img = Image.open(os.path.join(IMG_DIR, name))
    img.load()
    if mode is not None:
        img = img.convert(mode)
    return np.asarray(img)


def frames(arr, n):
    h = arr.shape[0] // n
    return [arr[i * h:(i + 1) * h] for i in range(n)]


def angle_value(cx, cy, x, y):
    """The editor's wheel rule: 0 below the centre, 0.25 left, 0.5 above,
    0.75 right (clockwise from the bottom)."""
    a = (math.atan2(cy - y, cx - x) + math.pi / 2) / (2 * math.pi)
    return a % 1.0


def circular_diff(a, b):
    return (a - b + 0.5) % 1.0 - 0.5


def indicator_value(rgb, cx, cy):
    """Where a wheel frame's amber indicator points, as a value; None when the
    frame has no indicator pixels."""
    r = rgb[..., 0].astype(float)
    b = rgb[..., 2].astype(float)
    ys, xs = np.nonzero((r - b > 90) & (r > 140))
    if len(xs) < 10:
        return None
    return angle_value(cx, cy, xs.mean() + 0.5, ys.mean() + 0.5)


class ImageFormatTest(unittest.TestCase):
    def test_exactly_the_tabled_files_exist(self):
        present = sorted(f for f in os.listdir(IMG_DIR) if not f.startswith("."))
        self.assertEqual(present, sorted(TABLE))

    def test_png_structure(self):
        for name, (kind, w, h, _n, layout) in TABLE.items():
            if kind != "png":
                continue
            with self.subTest(name=name):
                data = read(name)
                width, height, depth, ctype, interlace = imagefiles.png_header(data)
                self.assertEqual((width, height), (w, h))
                self.assertEqual(depth, 8)
                self.assertEqual(ctype, 2 if layout == "RGB" else 6)
                self.assertEqual(interlace, 0)
                kinds = [c for c, _ in imagefiles.png_chunks(data)]
                # No transparency chunk, no text or time stamps: only image data.
                self.assertEqual(set(kinds), {"IHDR", "IDAT", "IEND"})
                self.assertEqual(kinds[-1], "IEND")

    def test_jpeg_structure(self):
        for name, (kind, w, h, _n, components) in TABLE.items():
            if kind != "jpg":
                continue
            with self.subTest(name=name):
                marker, precision, width, height, ncomp = imagefiles.jpeg_frame(read(name))
                self.assertEqual(marker, 0xC0, "baseline frame header expected")
                self.assertEqual(precision, 8)
                self.assertEqual((width, height), (w, h))
                self.assertEqual(ncomp, components)

    def test_frames_stack_evenly(self):
        frame_sizes = {"wheel-inner.jpg": 88, "wheel-outer.jpg": 145, "wheels-inner-ring.png": 88,
                       "led.png": 11, "wet.jpg": 227, "width.jpg": 98, "color.jpg": 100,
                       "bypass.jpg": 55, "knob-absolute.png": 18, "knob-relative.png": 18,
                       "rocker-absolute.png": 18, "rocker-relative.png": 18}
        for name, fh in frame_sizes.items():
            with self.subTest(name=name):
                _kind, _w, h, n, _layout = TABLE[name]
                self.assertEqual(h, n * fh)

    def test_decoders_read_the_tabled_sizes(self):
        for name, (_kind, w, h, _n, _layout) in TABLE.items():
            with self.subTest(name=name):
                self.assertEqual(pixels(name).shape[:2], (h, w))

    def test_parsers_reject_broken_files(self):
        data = read("led.png")
        with self.assertRaises(ValueError):
            imagefiles.png_chunks(b"GIF89a" + data[6:])
        broken = bytearray(data)
        broken[20] ^= 0xFF  # inside IHDR: the CRC no longer matches
        with self.assertRaises(ValueError):
            imagefiles.png_chunks(bytes(broken))
        with self.assertRaises(ValueError):
            imagefiles.jpeg_frame(b"\xff\xd8\xff\xda\x00\x02")


class WheelTest(unittest.TestCase):
    def check_turns(self, rgb_frames, size):
        """Frame k (1-based) shows the value (k - 1) / 180: its indicator must
        point where the angle rule puts that value, and step clockwise."""
        previous = None
        for k, rgb in enumerate(rgb_frames, start=1):
            value = indicator_value(rgb, size / 2.0, size / 2.0)
            self.assertIsNotNone(value, "frame %d has no indicator" % k)
            expected = (k - 1) / 180.0
            self.assertLess(abs(circular_diff(value, expected)), 1.0 / 360.0,
                            "frame %d points at %.4f, expected %.4f" % (k, value, expected))
            if previous is not None:
                step = circular_diff(value, previous)
                self.assertGreater(step, 0.5 / 180, "frame %d does not turn clockwise" % k)
                self.assertLess(step, 1.5 / 180)
            previous = value

    def test_outer_indicator_turns_clockwise_from_bottom(self):
        self.check_turns(frames(pixels("wheel-outer.jpg", "RGB"), 181), 145)

    def test_inner_indicator_turns_clockwise_with_ring_on(self):
        wheel = frames(pixels("wheel-inner.jpg", "RGB").astype(float), 181)
        ring = frames(pixels("wheels-inner-ring.png", "RGBA").astype(float), 181)
        mask = pixels("wheel-in-mask.png", "RGB")[..., 0] > 0
        composed = []
        for w, r in zip(wheel, ring):
            a = r[..., 3:4] / 255.0
            c = w * (1 - a) + r[..., :3] * a
            c[~mask] = 0
            composed.append(np.rint(c).astype(np.uint8))
        self.check_turns(composed, 88)

    def test_first_quarter_points_as_the_rule_says(self):
        outer = frames(pixels("wheel-outer.jpg", "RGB"), 181)
        for k, (dx, dy) in ((1, (0, 1)), (46, (-1, 0)), (91, (0, -1)), (136, (1, 0))):
            with self.subTest(frame=k):
                rgb = outer[k - 1]
                ys, xs = np.nonzero((rgb[..., 0].astype(int) - rgb[..., 2] > 90) & (rgb[..., 0] > 140))
                mx, my = xs.mean() + 0.5 - 72.5, ys.mean() + 0.5 - 72.5
                self.assertGreater(mx * dx + my * dy, 40)  # far out along the expected direction
                self.assertLess(abs(mx * dy - my * dx), 3)  # and not off to the side

    def test_masks_cut_the_circle(self):
        for name, size in (("wheel-out-mask.png", 145), ("wheel-in-mask.png", 88)):
            with self.subTest(name=name):
                red = pixels(name, "RGB")[..., 0]
                ys, xs = np.mgrid[0:size, 0:size]
                d = np.hypot(xs + 0.5 - size / 2.0, ys + 0.5 - size / 2.0)
                self.assertTrue(np.all(red[d > size / 2.0] == 0), "red must be 0 outside")
                self.assertTrue(np.all(red[d < size / 2.0 - 1.0] > 0), "red must be set inside")

    def test_ring_is_see_through_in_the_middle_and_outside(self):
        ring = frames(pixels("wheels-inner-ring.png", "RGBA"), 181)
        mask = pixels("wheel-in-mask.png", "RGB")[..., 0] > 0
        ys, xs = np.mgrid[0:88, 0:88]
        d = np.hypot(xs + 0.5 - 44, ys + 0.5 - 44)
        for f in (ring[0], ring[90], ring[180]):
            alpha = f[..., 3]
            self.assertTrue(np.all(alpha[~mask] == 0))
            self.assertTrue(np.all(alpha[d < 25] == 0), "the ring must not cover the wheel's face")
            self.assertGreater(alpha[(d > 39) & (d < 42.5)].min(), 200, "the bezel must be opaque")


class LedTest(unittest.TestCase):
    def setUp(self):
        self.glyphs = frames(pixels("led.png", "RGBA"), 12)

    def lit(self, glyph):
        return glyph[..., 3] >= 128

    def test_every_glyph_differs_and_lights_something(self):
        keys = set()
        for i, g in enumerate(self.glyphs):
            self.assertGreater(self.lit(g).sum(), 2, "glyph %d is empty" % i)
            keys.add(self.lit(g).tobytes())
        self.assertEqual(len(keys), 12)

    def test_segment_pattern(self):
        # Probe each segment's middle: a (top), b, c (right), d (bottom), e, f (left), g (middle).
        probes = {"a": (3, 1), "b": (6, 3), "c": (6, 7), "d": (3, 9), "e": (0, 7), "f": (0, 3),
                  "g": (3, 5)}
        expected = ["abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg",
                    "abcdfg", "g", "g"]
        for i, segs in enumerate(expected):
            with self.subTest(glyph=i):
                lit = self.lit(self.glyphs[i])
                for name, (x, y) in probes.items():
                    self.assertEqual(bool(lit[y, x]), name in segs, "segment %s" % name)
        plus, minus = self.lit(self.glyphs[11]), self.lit(self.glyphs[10])
        self.assertTrue(plus[3, 3] and plus[7, 3], "plus has a vertical bar")
        self.assertFalse(minus[3, 3] or minus[7, 3])

    def test_transparent_between_segments(self):
        eight = self.glyphs[8][..., 3]
        self.assertLess(eight[3, 3], 100)  # the hole of the upper loop
        self.assertLess(eight[7, 3], 100)


class StripTest(unittest.TestCase):
    def cap_positions(self, name, n, horizontal):
        """Per frame, the centroid of what differs from the strip's per-pixel
        median: the moving part, since it covers each spot in few frames."""
        arr = frames(pixels(name, "RGB").astype(float), n)
        median = np.median(np.stack(arr), axis=0)
        positions = []
        for f in arr:
            diff = np.abs(f - median).sum(axis=2)
            diff[diff < 60] = 0
            ys, xs = np.nonzero(diff)
            weights = diff[ys, xs]
            positions.append((xs * weights).sum() / weights.sum() if horizontal
                             else (ys * weights).sum() / weights.sum())
        return positions

    def test_rockers_travel_end_to_end(self):
        for name, horizontal, length in (("wet.jpg", False, 227), ("width.jpg", True, 93),
                                         ("color.jpg", True, 89)):
            with self.subTest(name=name):
                pos = self.cap_positions(name, 50, horizontal)
                # Horizontal rockers grow to the right, the vertical one upwards.
                signed = pos if horizontal else [-p for p in pos]
                steps = np.diff(signed)
                self.assertTrue(np.all(steps > 0), "the cap must move at every frame")
                self.assertGreater(signed[-1] - signed[0], 0.55 * length)

    def test_bypass_on_frame_is_lit(self):
        off, on = frames(pixels("bypass.jpg", "RGB").astype(float), 2)
        redness = lambda f: np.clip(f[..., 0] - f[..., 2], 0, None).sum()
        self.assertGreater(redness(on), 2 * redness(off))
        self.assertGreater(np.abs(on - off).mean(), 3.0)

    def test_selector_halves_light_up(self):
        for name in ("knob-absolute.png", "knob-relative.png", "rocker-absolute.png",
                     "rocker-relative.png"):
            with self.subTest(name=name):
                unlit, lit = frames(pixels(name, "RGB").astype(float), 2)
                warm = lambda f: np.clip(f[..., 0] - f[..., 2], 0, None).sum()
                self.assertGreater(warm(lit), 4 * warm(unlit) + 200)

    def test_selector_icons_differ(self):
        icons = [pixels(n, "RGB")[18:].tobytes() for n in
                 ("knob-absolute.png", "knob-relative.png", "rocker-absolute.png",
                  "rocker-relative.png")]
        self.assertEqual(len(set(icons)), 4)


class BackgroundTest(unittest.TestCase):
    def setUp(self):
        self.bg = pixels("bg.png", "RGB").astype(float)

    def luminance(self, rect):
        l, t, r, b = rect
        return self.bg[t:b, l:r].mean(axis=2)

    def test_version_area_is_plain(self):
        # The editor writes grey text here: the panel below must be even.
        lum = self.luminance(VERSION_TEXT_AREA)
        self.assertLess(lum.max() - lum.min(), 20)

    def test_manual_icon_is_drawn(self):
        lum = self.luminance(MANUAL_ICON_AREA)
        self.assertGreater(lum.max() - lum.min(), 100)

    def test_led_windows_are_dark(self):
        for x, y in LED_GLYPH_CELLS:
            with self.subTest(cell=(x, y)):
                window = self.bg[y - 2:y + 13, x - 1:x + 8]
                self.assertLess(window.mean(), 40)

    def test_wet_bay_on_the_right_edge(self):
        bay = self.luminance((615, 0, 716, 227)).mean()
        panel = self.luminance((0, 40, 20, 60)).mean()
        self.assertLess(bay, panel)


if __name__ == "__main__":
    unittest.main()
