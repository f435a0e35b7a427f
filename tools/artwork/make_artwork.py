#!/usr/bin/python3
"""Renders every image of the DUV editor from code.

usage: make_artwork.py OUTDIR [--preview PNG]

Writes the images under OUTDIR with the file names the editor loads them by
(bg.png, wheel-inner.jpg, ...); the committed copies live in resources/img/.
With --preview it also writes the assembled panel: the background with every
control image at its rectangle, the wheels masked and the inner ring laid on
as the editor does, so the whole face can be judged at a glance.

The output is byte-identical from run to run: fixed seeds, fixed PNG and JPEG
settings, no timestamps. Needs Debian's python3-pil and python3-numpy and the
fonts of fonts-dejavu-core and fonts-urw-base35.
"""

import argparse
import math
import os
import sys

import numpy as np
from PIL import Image

sys.dont_write_bytecode = True  # keep the source tree clean when run from the build
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import artlib as A  # noqa: E402

W, H = 716, 227

# Palette. Charcoal anodised panel, cream silkscreen, amber for what is lit.
PANEL = (54, 56, 60)
INK = (222, 214, 196)
INK_DIM = (150, 146, 136)
AMBER = (255, 164, 52)
AMBER_DIM = (74, 46, 22)
WELL = (20, 20, 22)
LED_GLASS = (16, 12, 11)

# Control rectangles (left, top, right, bottom), as the editor lays them out.
OUTER = [(26, 62, 171, 207), (260, 62, 405, 207)]
INNER = [(54, 93, 142, 181), (288, 93, 376, 181)]
KNOB_SELECTOR = (412, 10, 456, 28)
ROCKER_SELECTOR = (467, 10, 511, 28)
WET = (613, 0, 716, 227)
WIDTH = (430, 129, 523, 227)
COLOR = (523, 38, 612, 138)
BYPASS = (447, 58, 508, 113)
LEDS = [(186, 72), (217, 72), (186, 100), (217, 100)]  # cents 1, cents 2, delay 1, delay 2
VERSION = (530, 8, 605, 28)
MANUAL = (10, 10, 25, 25)

WHEEL_FRAMES = 181
ROCKER_FRAMES = 50


def centre_of(rect):
    return ((rect[0] + rect[2]) / 2.0, (rect[1] + rect[3]) / 2.0)


# ---------------------------------------------------------------- LED glyphs

# Seven segments in a 7 x 11 cell: (x0, y0, x1, y1) boxes, drawn with bevelled
# ends so neighbouring segments meet in a point like a real display.
SEG_T = 1.5
SEGMENTS = {
    "a": (1.35, 0.35, 5.65, 0.35 + SEG_T, "h"),
    "g": (1.35, 4.75, 5.65, 4.75 + SEG_T, "h"),
    "d": (1.35, 9.15, 5.65, 9.15 + SEG_T, "h"),
    "f": (0.25, 1.25, 0.25 + SEG_T, 5.3, "v"),
    "b": (5.25, 1.25, 5.25 + SEG_T, 5.3, "v"),
    "e": (0.25, 5.7, 0.25 + SEG_T, 9.75, "v"),
    "c": (5.25, 5.7, 5.25 + SEG_T, 9.75, "v"),
}
DIGIT_SEGMENTS = ["abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg",
                  "abcdfg"]


def segment_polygon(box):
    x0, y0, x1, y1, kind = box
    if kind == "h":
        m = (y0 + y1) / 2.0
        e = (y1 - y0) / 2.0
        return [(x0, m), (x0 + e, y0), (x1 - e, y0), (x1, m), (x1 - e, y1), (x0 + e, y1)]
    m = (x0 + x1) / 2.0
    e = (x1 - x0) / 2.0
    return [(m, y0), (x1, y0 + e), (x1, y1 - e), (m, y1), (x0, y1 - e), (x0, y0 + e)]


def glyph_coverage(segments, plus_bar=False):
    def paint(draw, s):
        for name in segments:
            draw.polygon([(s(x), s(y)) for x, y in segment_polygon(SEGMENTS[name])], fill=255)
        if plus_bar:
            draw.polygon([(s(x), s(y)) for x, y in
                          segment_polygon((2.75, 2.6, 2.75 + SEG_T, 8.4, "v"))], fill=255)
    return A.supersampled_mask(7, 11, paint, scale=16)


def make_led():
    """12 frames of 7 x 11: digits 0-9, minus, plus; lit amber on transparency."""
    frames_rgb, frames_a = [], []
    shapes = [(d, False) for d in DIGIT_SEGMENTS] + [("g", False), ("g", True)]
    for segs, bar in shapes:
        cov = glyph_coverage(segs, bar)
        # A hot core and a faint halo: the halo reads as glow on the dark glass
        # without thickening the strokes.
        halo = A.blur(cov, 0.7) * 0.35
        alpha = np.maximum(cov, halo)
        core = np.clip(cov * 1.2, 0, 1)[..., None]
        rgb = np.asarray(AMBER, float) * (1 - core * 0.25) + np.array([255, 236, 190]) * core * 0.25
        frames_rgb.append(rgb)
        frames_a.append(alpha)
    return A.stack(frames_rgb), A.stack(frames_a)


# ---------------------------------------------------------------- wheels

def wheel_local_angle(dx, dy, value):
    """Angle of each pixel in the wheel's own frame: 0 where the indicator is.
    The indicator of value v points at screen angle pi/2 + 2 pi v (y down):
    straight below the centre for 0, left for 0.25, above for 0.5, right for
    0.75, so the wheel turns clockwise from the bottom as the value grows."""
    return np.arctan2(dy, dx) - (math.pi / 2 + 2 * math.pi * value)


def indicator_coverage(dx, dy, value, r0, r1, half_width):
    local = wheel_local_angle(dx, dy, value)
    r = np.hypot(dx, dy)
    along = r * np.cos(local)
    across = np.abs(r * np.sin(local))
    cov = A.clamp01(half_width - across + 0.5)
    cov *= A.clamp01(along - r0 + 0.5) * A.clamp01(r1 - along + 0.5)
    return cov


def spun_face(r, angle, base, rng_rings):
    """Spun metal: fine concentric rings and a bow-tie highlight that stays put
    while the wheel turns (it belongs to the light, not the metal)."""
    rings = rng_rings[np.clip((r * 5).astype(int), 0, len(rng_rings) - 1)]
    bow = np.cos(2 * (angle + math.pi / 4))  # light at upper left
    factor = 0.86 + 0.13 * bow + 0.035 * rings
    return A.tone(base, factor)


def make_outer_wheel(value, rings):
    size = 145
    dx, dy = A.grid(size, size, size / 2.0, size / 2.0)
    r = np.hypot(dx, dy)
    angle = np.arctan2(dy, dx)
    local = wheel_local_angle(dx, dy, value)
    ux, uy = dx / np.maximum(r, 1e-6), dy / np.maximum(r, 1e-6)
    tx, ty = -uy, ux

    metal = np.array([196.0, 198.0, 203.0])
    pic = spun_face(r, angle, metal, rings)

    # Knurled grip band: 90 ridges that turn with the wheel.
    ridge = np.sin(90 * local)
    nz = np.full_like(r, 1.0)
    lam = A.shade(tx * ridge * 0.9 + ux * 0.15, ty * ridge * 0.9 + uy * 0.15, nz)
    grip = A.tone(metal * 0.92, 0.42 + 0.62 * lam)
    band = A.clamp01(r - 59.5 + 0.5) * A.clamp01(70.0 - r + 0.5)
    A.over(pic, grip, band)

    # Engraved groove between face and grip.
    groove = A.clamp01(1.0 - np.abs(r - 59.0) / 1.1)
    A.over(pic, (70, 72, 76), groove * 0.9)
    A.over(pic, (235, 236, 240), A.clamp01(1.0 - np.abs(r - 60.3) / 0.7) * 0.35 *
           A.clamp01(-(ux * A.LIGHT[0] + uy * A.LIGHT[1]) * 2 + 0.5))

    # Rounded outer edge, then fall-off into the dark well so the mask's hard
    # cut meets nearly the same colour on both sides.
    edge_t = A.clamp01((r - 69.0) / 3.5)
    lam_e = A.shade(ux * edge_t, uy * edge_t, np.sqrt(1 - np.minimum(edge_t, 0.95) ** 2))
    A.over(pic, A.tone(metal, 0.35 + 0.7 * lam_e), A.clamp01(r - 69.5 + 0.5))
    A.over(pic, WELL, A.clamp01((r - 70.8) / 1.7))

    # Indicator: an engraved slot filled with amber paint.
    ind = indicator_coverage(dx, dy, value, 47.5, 57.5, 1.9)
    slot = indicator_coverage(dx, dy, value, 46.8, 58.2, 2.6)
    A.over(pic, (60, 52, 44), slot)
    A.over(pic, AMBER, ind)
    A.over(pic, (255, 220, 160), indicator_coverage(dx, dy, value, 48.5, 56.5, 0.6) * 0.6)
    return pic


def make_inner_wheel(value, rings):
    size = 88
    dx, dy = A.grid(size, size, size / 2.0, size / 2.0)
    r = np.hypot(dx, dy)
    angle = np.arctan2(dy, dx)
    local = wheel_local_angle(dx, dy, value)
    ux, uy = dx / np.maximum(r, 1e-6), dy / np.maximum(r, 1e-6)
    tx, ty = -uy, ux

    black = np.array([58.0, 58.0, 64.0])
    # Cap: black anodised, very slightly domed, with its own spun sheen.
    dome = A.clamp01(r / 30.0) * 0.45
    lam = A.shade(ux * dome, uy * dome, np.ones_like(r))
    sheen = np.cos(2 * (angle + math.pi / 4))
    rr = rings[np.clip((r * 5).astype(int), 0, len(rings) - 1)]
    pic = A.tone(black, 0.55 + 0.55 * lam + 0.12 * sheen + 0.04 * rr)

    # Rubber-like ribbed grip band that turns with the wheel.
    ridge = np.sin(40 * local)
    lam_g = A.shade(tx * ridge * 1.1 - ux * 0.1, ty * ridge * 1.1 - uy * 0.1, np.ones_like(r))
    grip = A.tone(np.array([44.0, 44.0, 48.0]), 0.35 + 1.05 * np.maximum(lam_g, 0) ** 1.5 + 0.25)
    band = A.clamp01(r - 29.0 + 0.5) * A.clamp01(44.5 - r + 0.5)
    A.over(pic, grip, band)
    A.over(pic, (14, 14, 16), A.clamp01(1.0 - np.abs(r - 28.8) / 0.9) * 0.9)

    # Under the bezel ring and at the very edge: dark, like the well below.
    A.over(pic, WELL, A.clamp01((r - 41.0) / 2.0))

    # Indicator: a luminous amber line from near the centre to the grip.
    A.over(pic, (20, 16, 12), indicator_coverage(dx, dy, value, 8.0, 27.5, 2.4))
    A.over(pic, AMBER, indicator_coverage(dx, dy, value, 8.8, 26.8, 1.7))
    A.over(pic, (255, 226, 170), indicator_coverage(dx, dy, value, 10.0, 25.5, 0.5) * 0.7)
    return pic


def make_inner_ring():
    """Chrome bezel around the inner wheel (fixed, it does not turn), with the
    shadow its lip casts onto the wheel. Alpha is 0 outside the wheel circle."""
    size = 88
    dx, dy = A.grid(size, size, size / 2.0, size / 2.0)
    r = np.hypot(dx, dy)
    ux, uy = dx / np.maximum(r, 1e-6), dy / np.maximum(r, 1e-6)
    r_in, r_out = 37.5, 44.0
    t = np.clip((r - r_in) / (r_out - r_in), 0, 1)
    # Rounded profile: rising on the inside, falling on the outside.
    slope = np.cos(t * math.pi)  # +1 inner edge .. -1 outer edge
    nx, ny, nz = -ux * slope * 0.8, -uy * slope * 0.8, np.ones_like(r)
    lam = A.shade(nx, ny, nz)
    specular = np.clip(lam, 0, 1) ** 18
    steel = np.array([176.0, 180.0, 188.0])
    rgb = A.tone(steel, 0.30 + 0.75 * lam)
    rgb = rgb + specular[..., None] * 120.0
    ring = A.annulus(dx, dy, r_in, r_out)
    # Lip shadow falls down and right onto the wheel face.
    shadow = A.blur(A.clamp01(A.shift(1.0 - A.disc(dx, dy, r_in), 2, 2)), 1.6) * 0.65
    shadow *= 1.0 - ring
    alpha = np.maximum(ring, shadow)
    out = np.where(ring[..., None] > 0, rgb, 0.0)
    alpha *= wheel_mask(size, 44.0)
    return out, alpha


def wheel_mask(size, radius):
    """1 inside the wheel circle, 0 outside: the masks are hard-edged."""
    dx, dy = A.grid(size, size, size / 2.0, size / 2.0)
    return (np.hypot(dx, dy) <= radius - 0.2).astype(np.float64)


# ---------------------------------------------------------------- panel

def brushed_panel(rng):
    noise = rng.standard_normal((H, W + 80))
    k = np.ones(80) / 80.0
    streak = np.stack([np.convolve(row, k, mode="valid")[:W] for row in noise]) * 7.0
    fine = rng.standard_normal((H, W)) * 0.25
    light = 1.04 - 0.08 * (np.arange(H)[:, None] / H) - 0.03 * (np.arange(W)[None, :] / W)
    factor = light * (1.0 + 0.03 * streak + 0.012 * fine)
    return A.tone(PANEL, factor)


def panel_edges(pic):
    pic[0, :, :] = pic[0, :, :] * 0.6 + 255 * 0.4 * 0.35
    pic[1, :, :] = pic[1, :, :] * 1.08
    pic[-1, :, :] *= 0.45
    pic[-2, :, :] *= 0.8
    pic[:, 0, :] = pic[:, 0, :] * 0.7 + 255 * 0.3 * 0.3
    np.clip(pic, 0, 255, out=pic)


def recess(pic, cov, depth=0.6, floor=WELL):
    """A pocket in the panel: its floor, the shadow of its upper-left lip and a
    lit lower-right lip."""
    A.over(pic, floor, cov)
    lip_shadow = A.blur(A.shift(1.0 - cov, 2, 2), 1.3) * cov * depth
    pic[...] = pic * (1 - lip_shadow[..., None])
    outline = np.clip(cov - A.shift(cov, -1, -1), 0, 1)
    A.over(pic, (120, 122, 128), outline * 0.55)


def raised_plate(pic, cov, color, strength=0.5):
    A.drop_shadow(pic, cov, 1, 2, 1.5, strength)
    A.over(pic, color, cov)
    hi = np.clip(cov - A.shift(cov, 1, 1), 0, 1)
    lo = np.clip(cov - A.shift(cov, -1, -1), 0, 1)
    A.over(pic, (255, 255, 255), hi * 0.16)
    A.over(pic, (0, 0, 0), lo * 0.35)


def print_text(pic, text, fnt, xy, anchor="ls", color=INK, spacing=0.0, alpha=1.0):
    cov = A.text_mask(pic.shape[1], pic.shape[0], text, fnt, xy, anchor, spacing)
    A.over(pic, color, cov * alpha)


def screw(pic, cx, cy, slot_angle):
    dx, dy = A.grid(W, H, cx, cy)
    r = np.hypot(dx, dy)
    cov = A.disc(dx, dy, 3.6)
    A.drop_shadow(pic, cov, 1, 1, 0.8, 0.6)
    ux, uy = dx / np.maximum(r, 1e-6), dy / np.maximum(r, 1e-6)
    dome = np.clip(r / 3.6, 0, 1) * 0.7
    lam = A.shade(ux * dome, uy * dome, np.ones_like(r))
    A.over(pic, A.tone((150, 152, 158), 0.45 + 0.75 * lam), cov)
    ca, sa = math.cos(slot_angle), math.sin(slot_angle)
    across = np.abs(-dx * sa + dy * ca)
    along = np.abs(dx * ca + dy * sa)
    slot = A.clamp01(0.75 - across + 0.5) * A.clamp01(2.8 - along + 0.5) * cov
    A.over(pic, (35, 35, 38), slot)


def wheel_well(pic, rect, ticks=True):
    cx, cy = centre_of(rect)
    dx, dy = A.grid(W, H, cx, cy)
    recess(pic, A.disc(dx, dy, 75.0), depth=0.75)
    if not ticks:
        return
    # 60 ticks; every fifth one longer. Value v sits at screen angle
    # pi/2 + 2 pi v, the same rule as the wheels' indicators.
    for i in range(60):
        a = math.pi / 2 + 2 * math.pi * i / 60
        major = i % 5 == 0
        r0, r1 = (77.5, 82.5) if major else (78.0, 80.5)
        along = dx * math.cos(a) + dy * math.sin(a)
        across = np.abs(-dx * math.sin(a) + dy * math.cos(a))
        cov = A.clamp01((0.55 if major else 0.4) - across + 0.5)
        cov *= A.clamp01(along - r0 + 0.5) * A.clamp01(r1 - along + 0.5)
        A.over(pic, INK if major else INK_DIM, cov * (0.95 if major else 0.7))
    # The end stop, where 0 and the top of the range meet: an amber notch.
    tri = A.polygon_mask(W, H, [(cx - 3.2, cy + 85.5), (cx + 3.2, cy + 85.5), (cx, cy + 79.0)])
    A.over(pic, AMBER, tri)


def led_windows(pic, fonts):
    ghost_cells = []
    for row_top in (68, 96):
        bezel = A.rounded_rect(W, H, 180, row_top - 2, 249, row_top + 21, 3.5)
        raised_plate(pic, bezel, (30, 30, 33), 0.5)
        for left, right in ((183, 213), (215, 246)):
            glass = A.rounded_rect(W, H, left, row_top, right, row_top + 19, 1.5)
            recess(pic, glass, depth=0.8, floor=LED_GLASS)
    # Unlit segments behind every digit position, as on a real display.
    for left, top in LEDS:
        for col in (0, 9, 18):
            ghost_cells.append((left + col, top))
    ghost = glyph_coverage("abcdefg")
    for x, y in ghost_cells:
        A.over(pic[y:y + 11, x:x + 7], AMBER_DIM, ghost * 0.3)
    # Column and row captions.
    small = fonts["narrow"]
    print_text(pic, "cents 1", small, (198, 63), "ms")
    print_text(pic, "cents 2", small, (230.5, 63), "ms")
    print_text(pic, "delay 1", small, (198, 127), "ms")
    print_text(pic, "delay 2", small, (230.5, 127), "ms")


def manual_icon(pic):
    """A little booklet with a folded corner: the link to the manual."""
    x0, y0 = MANUAL[0], MANUAL[1]

    def page(draw, s):
        draw.polygon([(s(2.0), s(0.5)), (s(10.5), s(0.5)), (s(13.5), s(3.5)), (s(13.5), s(14.5)),
                      (s(2.0), s(14.5))], fill=255)

    cov = A.supersampled_mask(15, 15, page)
    sub = pic[y0:y0 + 15, x0:x0 + 15]
    A.drop_shadow(sub, cov, 1, 1, 0.7, 0.6)
    A.over(sub, INK, cov)
    fold = A.polygon_mask(15, 15, [(10.5, 0.5), (10.5, 3.5), (13.5, 3.5)])
    A.over(sub, (150, 140, 120), fold)
    spine = A.polygon_mask(15, 15, [(2.0, 0.5), (4.0, 0.5), (4.0, 14.5), (2.0, 14.5)])
    A.over(sub, AMBER, spine)
    for yy in (5.0, 7.5, 10.0, 12.5):
        line = A.polygon_mask(15, 15, [(5.5, yy), (12.0 if yy > 5 else 9.5, yy),
                                       (12.0 if yy > 5 else 9.5, yy + 1.0), (5.5, yy + 1.0)])
        A.over(sub, (90, 86, 78), line * 0.85)


def doubling_emblem(pic, cx, cy):
    """Two overlapping rings, one per voice: the maker's mark for a doubler,
    engraved (dark groove with a lit lower edge)."""
    for ox in (-7.0, 7.0):
        dx, dy = A.grid(W, H, cx + ox, cy)
        groove = A.annulus(dx, dy, 10.2, 12.0)
        A.over(pic, (26, 27, 30), groove * 0.9)
        lit = A.annulus(*A.grid(W, H, cx + ox + 0.6, cy + 0.8), 10.2, 12.0) - groove
        A.over(pic, (140, 142, 148), np.clip(lit, 0, 1) * 0.35)
    lens = A.disc(*A.grid(W, H, cx - 7.0, cy), 10.2) * A.disc(*A.grid(W, H, cx + 7.0, cy), 10.2)
    A.over(pic, AMBER, lens * 0.85)


def make_background(fonts):
    rng = np.random.default_rng(20110101)
    pic = brushed_panel(rng)

    for rect in OUTER:
        wheel_well(pic, rect)

    led_windows(pic, fonts)

    # Selector bays, bypass bay, rocker bays.
    for sel in (KNOB_SELECTOR, ROCKER_SELECTOR):
        recess(pic, A.rounded_rect(W, H, sel[0] - 3, sel[1] - 3, sel[2] + 3, sel[3] + 3, 4.0),
               depth=0.6, floor=(30, 30, 33))
    recess(pic, A.rounded_rect(W, H, BYPASS[0] + 2, BYPASS[1] + 1, BYPASS[2] - 2, BYPASS[3] - 1, 6.0),
           depth=0.7, floor=(26, 26, 28))
    for rect in (WIDTH, COLOR):
        recess(pic, A.rounded_rect(W, H, rect[0] + 3, rect[1] + 3, rect[2] - 3, rect[3] - 3, 6.0),
               depth=0.7, floor=(32, 33, 36))
    # The wet rocker's bay along the right edge, behind a milled step.
    bay = np.zeros((H, W))
    bay[:, WET[0]:] = 1.0
    A.over(pic, (38, 39, 42), bay)
    A.over(pic, (12, 12, 14), A.clamp01(1.0 - np.abs(A.grid(W, H, WET[0], 0)[0]) / 1.2))
    A.over(pic, (110, 112, 118), A.clamp01(1.0 - np.abs(A.grid(W, H, WET[0] - 2, 0)[0]) / 0.8) * 0.5)

    # Brand.
    manual_icon(pic)
    print_text(pic, "Pelko", fonts["brand"], (32, 26), "ls", INK)
    print_text(pic, "PITCH-SYNCHRONOUS STEREO DOUBLER", fonts["tiny"], (33, 37), "ls", INK_DIM,
               spacing=0.9)
    duv = A.text_mask(W, H, "DUV", fonts["logo"], (567.5, 192), "ms", spacing=3.0)
    A.drop_shadow(pic, duv, 1, 1, 0.8, 0.7)
    A.over(pic, AMBER, duv)
    print_text(pic, "DOUBLER", fonts["tiny"], (567.5, 206), "ms", INK_DIM, spacing=2.2)

    # Voice titles above, wheel captions in the lower corners of each section.
    for i, rect in enumerate(OUTER):
        cx = (rect[0] + rect[2]) / 2.0
        n = i + 1
        print_text(pic, f"VOICE {n}", fonts["title"], (cx, 49), "ms", AMBER, spacing=1.6)
        print_text(pic, f"delay {n}", fonts["label"], (rect[0] - 16, 222), "ls")
        print_text(pic, "outer", fonts["tiny"], (rect[0] - 16, 212), "ls", INK_DIM)
        print_text(pic, f"cents {n}", fonts["label"], (rect[2] + 10, 222), "rs")
        print_text(pic, "inner", fonts["tiny"], (rect[2] + 10, 212), "rs", INK_DIM)

    # Right-hand section captions.
    cap = fonts["label"]
    print_text(pic, "drag", fonts["tiny"], (420.5, 39), "ms")
    print_text(pic, "rotate", fonts["tiny"], (447.5, 39), "ms")
    print_text(pic, "fade", fonts["tiny"], (475.5, 39), "ms")
    print_text(pic, "jump", fonts["tiny"], (502.5, 39), "ms")
    print_text(pic, "bypass", cap, (477.5, 53), "ms")
    print_text(pic, "stereo width", cap, (476.5, 124), "ms")
    print_text(pic, "color", cap, (567.5, 150), "ms")

    doubling_emblem(pic, 214.5, 178)
    screw(pic, 214.5, 219, 0.6)
    screw(pic, 604, 219, 1.2)

    panel_edges(pic)
    return pic


# ---------------------------------------------------------------- rockers

def slider_cap(w, h, cx, cy, cw, ch, horizontal):
    """Coverage and picture of a fader cap (w x h canvas), centred at cx, cy."""
    cov = A.rounded_rect(w, h, cx - cw / 2, cy - ch / 2, cx + cw / 2, cy + ch / 2, 3.0)
    dx, dy = A.grid(w, h, cx, cy)
    # Two bevelled halves meeting at a ridge across the cap's travel.
    if horizontal:
        t = dx / (cw / 2)
        lam = A.shade(np.sign(t) * 0.5 * (np.abs(t) > 0.15), np.zeros_like(t) - 0.05, np.ones_like(t))
    else:
        t = dy / (ch / 2)
        lam = A.shade(np.zeros_like(t) - 0.05, np.sign(t) * 0.5 * (np.abs(t) > 0.15), np.ones_like(t))
    pic = A.tone((168.0, 170.0, 176.0), 0.55 + 0.6 * lam)
    edge_hi = np.clip(cov - A.shift(cov, 1, 1), 0, 1)
    edge_lo = np.clip(cov - A.shift(cov, -1, -1), 0, 1)
    A.over(pic, (250, 250, 252), edge_hi * 0.5)
    A.over(pic, (40, 40, 44), edge_lo * 0.6)
    # The index line, lit.
    if horizontal:
        line = A.rounded_rect(w, h, cx - 1.0, cy - ch / 2 + 3, cx + 1.0, cy + ch / 2 - 3, 0.8)
    else:
        line = A.rounded_rect(w, h, cx - cw / 2 + 3, cy - 1.0, cx + cw / 2 - 3, cy + 1.0, 0.8)
    A.over(pic, AMBER, line)
    return cov, pic


def led_dot(pic, cx, cy, lit, radius=2.2):
    h, w = pic.shape[:2]
    dx, dy = A.grid(w, h, cx, cy)
    cov = A.disc(dx, dy, radius)
    A.over(pic, (12, 10, 9), A.disc(dx, dy, radius + 0.9))
    if lit:
        glow = A.blur(cov, 1.5) * 0.55
        A.over(pic, AMBER, glow)
        A.over(pic, AMBER, cov)
        A.over(pic, (255, 235, 200), A.disc(dx - 0.6, dy - 0.6, radius * 0.45) * 0.8)
    else:
        A.over(pic, AMBER_DIM, cov)


def lamp_lit(value, i, n):
    """Lamp i of n is lit once the value reaches its place; all are dark at 0."""
    return value > 0.0 and value >= i / (n - 1) - 1e-9


def make_rocker(base, horizontal, value, ends, fonts):
    """One frame of a rocker: a track with a cap that travels from the low end
    (left or bottom) to the high end as the value grows, and a row of lamps lit
    up to the value."""
    pic = base.copy()
    h, w = pic.shape[:2]
    if horizontal:
        y_track = h * 0.55
        x0, x1 = 14.0, w - 14.0
        track = A.rounded_rect(w, h, x0 - 2, y_track - 3, x1 + 2, y_track + 3, 3)
        recess(pic, track, 0.8, floor=(8, 8, 9))
        n = 9
        for i in range(n):
            x = x0 + (x1 - x0) * i / (n - 1)
            led_dot(pic, x, h * 0.23, lamp_lit(value, i, n), 2.0)
        cap_w, cap_h = 18, 30
        cx = x0 + (x1 - x0) * value
        cov, cap = slider_cap(w, h, cx, y_track, cap_w, cap_h, True)
        A.drop_shadow(pic, cov, 2, 3, 1.6, 0.7)
        A.over(pic, cap, cov)
        print_text(pic, ends[0], fonts["tiny"], (x0 - 2, h - 9), "ls", INK_DIM)
        print_text(pic, ends[1], fonts["tiny"], (x1 + 2, h - 9), "rs", INK_DIM)
    else:
        x_track = w * 0.6
        y0, y1 = h - 24.0, 40.0
        track = A.rounded_rect(w, h, x_track - 3, y1 - 2, x_track + 3, y0 + 2, 3)
        recess(pic, track, 0.8, floor=(8, 8, 9))
        n = 13
        for i in range(n):
            y = y0 + (y1 - y0) * i / (n - 1)
            led_dot(pic, w * 0.26, y, lamp_lit(value, i, n), 2.2)
            if i % 3 == 0:
                tick = A.rounded_rect(w, h, x_track + 18, y - 0.5, x_track + 25, y + 0.5, 0.3)
                A.over(pic, INK_DIM, tick)
        cap_w, cap_h = 40, 20
        cy = y0 + (y1 - y0) * value
        cov, cap = slider_cap(w, h, x_track, cy, cap_w, cap_h, False)
        A.drop_shadow(pic, cov, 2, 3, 1.8, 0.7)
        A.over(pic, cap, cov)
        print_text(pic, ends[1], fonts["tiny"], (x_track + 33, y1 + 3), "rs", INK_DIM)
        print_text(pic, ends[0], fonts["tiny"], (x_track + 33, y0 + 3), "rs", INK_DIM)
    return pic


def rocker_base(background, rect, fonts, title=None):
    pic = background[rect[1]:rect[3], rect[0]:rect[2]].copy()
    if title is not None:
        print_text(pic, title, fonts["title"], (pic.shape[1] / 2.0, 20), "ms", AMBER, spacing=1.6)
    return pic


def make_rocker_strip(background, rect, horizontal, ends, fonts, title=None):
    base = rocker_base(background, rect, fonts, title)
    return A.stack([make_rocker(base, horizontal, k / (ROCKER_FRAMES - 1), ends, fonts)
                    for k in range(ROCKER_FRAMES)])


# ---------------------------------------------------------------- bypass and selectors

def make_bypass(background):
    frames = []
    for on in (False, True):
        pic = background[BYPASS[1]:BYPASS[3], BYPASS[0]:BYPASS[2]].copy()
        h, w = pic.shape[:2]
        press = 1 if on else 0
        cov = A.rounded_rect(w, h, 9 + press, 6 + press, w - 9 + press, h - 8 + press, 5.0)
        A.drop_shadow(pic, cov, 2 - press, 3 - press, 1.8, 0.75)
        dx, dy = A.grid(w, h, w / 2.0 + press, (h - 2) / 2.0 + press)
        # Slightly domed metal cap; flatter light once pressed down.
        ex, ey = dx / (w / 2.0 - 9), dy / (h / 2.0 - 8)
        k = 0.25 if on else 0.35
        lam = A.shade(ex * k, ey * k, np.ones_like(ex))
        cap = A.tone((178.0, 180.0, 186.0), (0.5 if on else 0.55) + 0.6 * lam)
        A.over(pic, cap, cov)
        A.over(pic, (250, 250, 252), np.clip(cov - A.shift(cov, 1, 1), 0, 1) * (0.3 if on else 0.55))
        A.over(pic, (30, 30, 34), np.clip(cov - A.shift(cov, -1, -1), 0, 1) * 0.6)
        # Jewel lamp in the middle of the cap.
        r = np.hypot(dx, dy)
        A.over(pic, (40, 38, 40), A.disc(dx, dy, 8.2))
        lens = A.disc(dx, dy, 6.5)
        if on:
            glow = A.blur(lens, 3.0) * 0.75
            A.over(pic, (255, 60, 30), glow * cov)
            lam_l = A.clamp01(1.0 - r / 6.5)
            A.over(pic, A.tone((255.0, 70.0, 36.0), 0.85 + 0.3 * lam_l), lens)
        else:
            A.over(pic, A.tone((96.0, 22.0, 16.0), 0.7 + 0.4 * A.clamp01(1 - r / 6.5)), lens)
        A.over(pic, (255, 255, 255), A.disc(dx + 2.2, dy + 2.4, 1.6) * (0.85 if on else 0.45))
        frames.append(pic)
    return A.stack(frames)


def icon_drag(s, draw):
    draw.polygon([(s(8.5), s(2.0)), (s(12.2), s(6.4)), (s(4.8), s(6.4))], fill=255)
    draw.polygon([(s(8.5), s(16.0)), (s(12.2), s(11.6)), (s(4.8), s(11.6))], fill=255)
    draw.rectangle((s(7.7), s(5.5), s(9.3), s(12.5)), fill=255)


def icon_rotate(s, draw):
    # A clockwise circle arrow: PIL's arc angles run clockwise from 3 o'clock
    # (y grows down); the gap sits at the top and the head ends the sweep.
    cx, cy, rad = 8.5, 9.6, 4.6
    draw.arc((s(cx - rad), s(cy - rad), s(cx + rad), s(cy + rad)), start=-40, end=215, fill=255,
             width=int(s(1.6)))
    end = math.radians(215)
    px, py = cx + rad * math.cos(end), cy + rad * math.sin(end)
    tx, ty = -math.sin(end), math.cos(end)  # clockwise tangent
    nx, ny = math.cos(end), math.sin(end)
    draw.polygon([(s(px + tx * 3.4), s(py + ty * 3.4)),
                  (s(px + nx * 2.5 - tx * 0.4), s(py + ny * 2.5 - ty * 0.4)),
                  (s(px - nx * 2.5 - tx * 0.4), s(py - ny * 2.5 - ty * 0.4))], fill=255)


def icon_fade(s, draw):
    draw.polygon([(s(2.5), s(14.5)), (s(14.5), s(14.5)), (s(14.5), s(3.5))], fill=255)


def icon_jump(s, draw):
    draw.arc((s(2.5), s(4.0), s(12.5), s(18.0)), start=180, end=330, fill=255, width=int(s(1.6)))
    ax, ay = 7.5 + 5.0 * math.cos(math.radians(330)), 11.0 + 7.0 * math.sin(math.radians(330))
    draw.polygon([(s(ax + 3.2), s(ay + 3.0)), (s(ax - 1.8), s(ay + 0.4)), (s(ax + 2.0), s(ay - 2.2))],
                 fill=255)
    draw.rectangle((s(2.0), s(14.6), s(5.0), s(16.0)), fill=255)
    draw.rectangle((s(12.0), s(14.6), s(15.0), s(16.0)), fill=255)


def make_selector_half(background, x, y, icon):
    frames = []
    glyph = A.supersampled_mask(17, 18, lambda d, s: icon(s, d), scale=8)
    for lit in (False, True):
        pic = background[y:y + 18, x:x + 17].copy()
        key = A.rounded_rect(17, 18, 0.5, 0.5, 16.5, 17.5, 2.5)
        dx, dy = A.grid(17, 18, 8.5, 9.0)
        lam = A.shade(dx / 8.5 * 0.3, dy / 9.0 * 0.3, np.ones_like(dx))
        A.over(pic, A.tone((62.0, 63.0, 68.0) if lit else (52.0, 53.0, 57.0), 0.7 + 0.45 * lam), key)
        A.over(pic, (200, 200, 206), np.clip(key - A.shift(key, 1, 1), 0, 1) * 0.35)
        A.over(pic, (8, 8, 10), np.clip(key - A.shift(key, -1, -1), 0, 1) * 0.6)
        if lit:
            A.over(pic, AMBER, A.blur(glyph, 1.0) * 0.5 * key)
            A.over(pic, (255, 190, 100), glyph)
        else:
            A.over(pic, (128, 126, 120), glyph)
        frames.append(pic)
    return A.stack(frames)


# ---------------------------------------------------------------- output

def fonts_table():
    return {
        "brand": A.font("gothic", 24),
        "logo": A.font("gothic", 30),
        "title": A.font("sans-bold", 8),
        "label": A.font("sans-bold", 9),
        "tiny": A.font("sans", 7),
        "narrow": A.font("narrow-bold", 9),
        "version": A.font("sans", 12),
    }


def render_all(outdir):
    os.makedirs(outdir, exist_ok=True)
    fonts = fonts_table()
    bg = make_background(fonts)
    A.save_png(os.path.join(outdir, "bg.png"), bg)

    rng = np.random.default_rng(4096)
    rings = rng.standard_normal(800)
    A.save_jpeg(os.path.join(outdir, "wheel-outer.jpg"),
                A.stack([make_outer_wheel(k / 180.0, rings) for k in range(WHEEL_FRAMES)]))
    A.save_jpeg(os.path.join(outdir, "wheel-inner.jpg"),
                A.stack([make_inner_wheel(k / 180.0, rings) for k in range(WHEEL_FRAMES)]))
    ring_rgb, ring_a = make_inner_ring()
    A.save_png(os.path.join(outdir, "wheels-inner-ring.png"),
               A.stack([ring_rgb] * WHEEL_FRAMES), A.stack([ring_a] * WHEEL_FRAMES))
    for name, size, radius in (("wheel-out-mask.png", 145, 72.5), ("wheel-in-mask.png", 88, 44.0)):
        m = wheel_mask(size, radius)
        A.save_png(os.path.join(outdir, name), np.dstack([m * 255.0] * 3))

    led_rgb, led_a = make_led()
    A.save_png(os.path.join(outdir, "led.png"), led_rgb, led_a)

    A.save_jpeg(os.path.join(outdir, "wet.jpg"),
                make_rocker_strip(bg, WET, False, ("0", "1"), fonts, title="WET"))
    A.save_jpeg(os.path.join(outdir, "width.jpg"),
                make_rocker_strip(bg, WIDTH, True, ("50%", "100%"), fonts))
    A.save_jpeg(os.path.join(outdir, "color.jpg"),
                make_rocker_strip(bg, COLOR, True, ("0", "1"), fonts))
    A.save_jpeg(os.path.join(outdir, "bypass.jpg"), make_bypass(bg))

    halves = (
        ("knob-relative.png", KNOB_SELECTOR[0], KNOB_SELECTOR[1], icon_drag),
        ("knob-absolute.png", KNOB_SELECTOR[2] - 17, KNOB_SELECTOR[1], icon_rotate),
        ("rocker-relative.png", ROCKER_SELECTOR[0], ROCKER_SELECTOR[1], icon_fade),
        ("rocker-absolute.png", ROCKER_SELECTOR[2] - 17, ROCKER_SELECTOR[1], icon_jump),
    )
    for name, x, y, icon in halves:
        A.save_png(os.path.join(outdir, name), make_selector_half(bg, x, y, icon))
    return fonts


# ---------------------------------------------------------------- preview

def load(outdir, name):
    img = Image.open(os.path.join(outdir, name))
    img.load()
    arr = np.asarray(img.convert("RGBA"), dtype=np.float64)
    return arr[..., :3], arr[..., 3] / 255.0


def frame_of(strip, alpha, n, index0):
    fh = strip.shape[0] // n
    return strip[index0 * fh:(index0 + 1) * fh], alpha[index0 * fh:(index0 + 1) * fh]


def strip_frame(n, value):
    return min(int((n - 1) * value + 0.5) + 1, n) - 1


def paste(dst, src, alpha, x, y):
    h, w = src.shape[:2]
    A.over(dst[y:y + h, x:x + w], src, alpha)


def compose_preview(outdir, path, fonts, values=None):
    """Assembles the editor as it first opens, from the written files."""
    v = {"wet": 0.75, "cents1": -10.0, "delay1": 7.5, "cents2": 10.0, "delay2": 15.0,
         "width": 100, "color": 0.25, "bypass": 0, "knob": 0, "rocker": 0}
    if values:
        v.update(values)
    pic, _ = load(outdir, "bg.png")

    def sel(name, frame_index):
        s, a = load(outdir, name)
        return frame_of(s, a, 2, frame_index)

    for rect, left, right, value in ((KNOB_SELECTOR, "knob-relative.png", "knob-absolute.png", v["knob"]),
                                     (ROCKER_SELECTOR, "rocker-relative.png", "rocker-absolute.png",
                                      v["rocker"])):
        s, a = sel(left, 1 if value < 0.5 else 0)
        paste(pic, s, a, rect[0], rect[1])
        s, a = sel(right, 0 if value < 0.5 else 1)
        paste(pic, s, a, rect[2] - 17, rect[1])

    outer, _ = load(outdir, "wheel-outer.jpg")
    inner, _ = load(outdir, "wheel-inner.jpg")
    ring, ring_a = load(outdir, "wheels-inner-ring.png")
    mask_o = load(outdir, "wheel-out-mask.png")[0][..., 0] > 0
    mask_i = load(outdir, "wheel-in-mask.png")[0][..., 0] > 0
    delays = ((v["delay1"] - 5) / 95, (v["delay2"] - 5) / 95)
    cents = ((v["cents1"] + 50) / 100, (v["cents2"] + 50) / 100)
    for i in range(2):
        f = strip_frame(181, delays[i])
        fr = outer[f * 145:(f + 1) * 145]
        paste(pic, fr, mask_o.astype(float), OUTER[i][0], OUTER[i][1])
    for i in range(2):
        f = strip_frame(181, cents[i])
        fr = inner[f * 88:(f + 1) * 88].copy()
        A.over(fr, ring[f * 88:(f + 1) * 88], ring_a[f * 88:(f + 1) * 88])
        paste(pic, fr, mask_i.astype(float), INNER[i][0], INNER[i][1])

    for name, rect, value in (("wet.jpg", WET, v["wet"]), ("width.jpg", WIDTH, (v["width"] - 50) / 50),
                              ("color.jpg", COLOR, v["color"])):
        s, a = load(outdir, name)
        fr, fa = frame_of(s, a, 50, strip_frame(50, value))
        paste(pic, fr, fa, rect[0], rect[1])
    s, a = load(outdir, "bypass.jpg")
    fr, fa = frame_of(s, a, 2, 1 if v["bypass"] >= 0.5 else 0)
    paste(pic, fr, fa, BYPASS[0], BYPASS[1])

    led, led_a = load(outdir, "led.png")
    for (left, top), value, plus in zip(LEDS, (v["cents1"], v["cents2"], v["delay1"], v["delay2"]),
                                        (True, True, False, False)):
        n = int(value)
        m = abs(n)
        hundreds, tens, ones = m // 100, (m % 100) // 10, m % 10
        cols = (left, left + 9, left + 18)
        sign_col = cols[0] if (hundreds or tens) else cols[1]
        glyphs = []
        if n < 0:
            glyphs.append((10, sign_col))
        elif plus and m:
            glyphs.append((11, sign_col))
        if hundreds:
            glyphs.append((hundreds, cols[0]))
        if hundreds or tens:
            glyphs.append((tens, cols[1]))
        glyphs.append((ones, cols[2]))
        for g, x in glyphs:
            paste(pic, led[g * 11:(g + 1) * 11], led_a[g * 11:(g + 1) * 11], x, top)

    # Version label as the editor draws it: grey, right-aligned, upper half.
    cov = A.text_mask(W, H, "v1.01", fonts["version"], (VERSION[2], 8), "rt")
    A.over(pic, (120, 120, 120), cov)
    A.save_png(path, pic)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir")
    parser.add_argument("--preview", help="also write the assembled panel to this PNG")
    parser.add_argument("--preview-values", default="",
                        help="comma-separated name=value overrides for the preview")
    args = parser.parse_args(argv)
    fonts = render_all(args.outdir)
    if args.preview:
        values = {}
        for item in filter(None, args.preview_values.split(",")):
            k, val = item.split("=")
            values[k] = float(val)
        compose_preview(args.outdir, args.preview, fonts, values)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
