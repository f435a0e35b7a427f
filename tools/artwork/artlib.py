"""Small drawing vocabulary for the editor artwork.

Pictures are float arrays (height, width, 3) with channels in 0..255, coverage
and alpha maps are float arrays (height, width) in 0..1. Shapes are drawn with
analytic anti-aliasing (signed distances) where that is easy, and through an
8x supersampled PIL mask for polygons and text-like glyphs. Nothing here reads
the clock or an unseeded random source, so every picture is reproducible.

The light comes from the upper left everywhere: LIGHT is the unit vector that
points from a surface towards the light, in screen coordinates (y grows down).
"""

import math

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

LIGHT = np.array([-0.45, -0.62, 0.64])
LIGHT = LIGHT / np.linalg.norm(LIGHT)

FONT_DIR_DEJAVU = "/usr/share/fonts/truetype/dejavu"
FONT_DIR_URW = "/usr/share/fonts/opentype/urw-base35"


def font(name, size):
    """Loads one of the packaged fonts by short name at a pixel size."""
    paths = {
        "sans": f"{FONT_DIR_DEJAVU}/DejaVuSans.ttf",
        "sans-bold": f"{FONT_DIR_DEJAVU}/DejaVuSans-Bold.ttf",
        "gothic": f"{FONT_DIR_URW}/URWGothic-Demi.otf",
        "gothic-book": f"{FONT_DIR_URW}/URWGothic-Book.otf",
        "narrow": f"{FONT_DIR_URW}/NimbusSansNarrow-Regular.otf",
        "narrow-bold": f"{FONT_DIR_URW}/NimbusSansNarrow-Bold.otf",
    }
    return ImageFont.truetype(paths[name], size)


def grid(width, height, cx, cy):
    """Pixel-centre offsets (dx, dy) from the point (cx, cy)."""
    ys, xs = np.mgrid[0:height, 0:width].astype(np.float64)
    return xs + 0.5 - cx, ys + 0.5 - cy


def clamp01(a):
    return np.clip(a, 0.0, 1.0)


def disc(dx, dy, radius):
    """Coverage of a disc of the given radius around the grid's origin."""
    return clamp01(radius - np.hypot(dx, dy) + 0.5)


def annulus(dx, dy, r_inner, r_outer):
    return clamp01(disc(dx, dy, r_outer) - disc(dx, dy, r_inner))


def rounded_rect(width, height, left, top, right, bottom, radius):
    """Coverage of a rounded rectangle given by its edges in pixel units."""
    dx, dy = grid(width, height, (left + right) / 2.0, (top + bottom) / 2.0)
    hx = (right - left) / 2.0 - radius
    hy = (bottom - top) / 2.0 - radius
    qx = np.abs(dx) - hx
    qy = np.abs(dy) - hy
    outside = np.hypot(np.maximum(qx, 0.0), np.maximum(qy, 0.0))
    inside = np.minimum(np.maximum(qx, qy), 0.0)
    dist = outside + inside - radius
    return clamp01(0.5 - dist)


def over(dst, color, alpha):
    """Paints colour (a triple or a picture) over dst with the given alpha map."""
    a = np.asarray(alpha, dtype=np.float64)[..., None]
    src = np.asarray(color, dtype=np.float64)
    dst[...] = dst * (1.0 - a) + src * a


def shade(normal_x, normal_y, normal_z):
    """Lambert term of a surface normal towards LIGHT, in -1..1."""
    n = np.sqrt(normal_x ** 2 + normal_y ** 2 + normal_z ** 2)
    return (normal_x * LIGHT[0] + normal_y * LIGHT[1] + normal_z * LIGHT[2]) / n


def tone(base, factor):
    """base colour scaled by a per-pixel factor map (1 keeps it)."""
    return np.asarray(base, dtype=np.float64)[None, None, :] * np.asarray(factor)[..., None]


def supersampled_mask(width, height, paint, scale=8):
    """Coverage map of whatever paint(draw, s) draws in white on a scale-times
    larger canvas; s converts picture coordinates to canvas coordinates."""
    img = Image.new("L", (width * scale, height * scale), 0)
    draw = ImageDraw.Draw(img)
    paint(draw, lambda v: v * scale)
    img = img.reduce(scale)
    return np.asarray(img, dtype=np.float64) / 255.0


def polygon_mask(width, height, points, scale=8):
    def paint(draw, s):
        draw.polygon([(s(x), s(y)) for x, y in points], fill=255)
    return supersampled_mask(width, height, paint, scale)


def thick_polyline_mask(width, height, points, thickness, scale=8):
    def paint(draw, s):
        pts = [(s(x), s(y)) for x, y in points]
        draw.line(pts, fill=255, width=max(1, int(round(s(thickness)))), joint="curve")
        r = s(thickness) / 2.0
        for x, y in (pts[0], pts[-1]):
            draw.ellipse((x - r, y - r, x + r, y + r), fill=255)
    return supersampled_mask(width, height, paint, scale)


def text_mask(width, height, text, fnt, xy, anchor="ls", spacing=0.0):
    """Coverage of a text drawn with hinting at 1x (crisp at small sizes).
    spacing adds letter spacing in pixels (the text is then set glyph by glyph
    from the anchor's left edge; only left anchors are supported with it)."""
    img = Image.new("L", (width, height), 0)
    draw = ImageDraw.Draw(img)
    if spacing == 0.0:
        draw.text(xy, text, font=fnt, fill=255, anchor=anchor)
    else:
        x, y = xy
        total = text_width(text, fnt, spacing)
        if anchor[0] == "m":
            x -= total / 2.0
        elif anchor[0] == "r":
            x -= total
        for ch in text:
            draw.text((round(x), y), ch, font=fnt, fill=255, anchor="l" + anchor[1])
            x += fnt.getlength(ch) + spacing
    return np.asarray(img, dtype=np.float64) / 255.0


def text_width(text, fnt, spacing=0.0):
    return sum(fnt.getlength(ch) for ch in text) + spacing * (len(text) - 1)


def blur(alpha, radius):
    """Gaussian blur (sigma = radius) of a 0..1 map, zero outside. A float
    separable kernel keeps it independent of PIL's 8-bit rounding."""
    if radius <= 0:
        return alpha
    half = int(math.ceil(radius * 3))
    taps = np.exp(-0.5 * (np.arange(-half, half + 1, dtype=np.float64) / radius) ** 2)
    taps /= taps.sum()
    h, w = alpha.shape
    padded = np.pad(alpha, half, mode="constant")
    rows = np.zeros((h + 2 * half, w))
    for i, t in enumerate(taps):
        rows += t * padded[:, i:i + w]
    out = np.zeros((h, w))
    for i, t in enumerate(taps):
        out += t * rows[i:i + h, :]
    return out


def shift(alpha, dx, dy):
    """Moves a map by whole pixels, filling with 0."""
    out = np.zeros_like(alpha)
    h, w = alpha.shape
    xs0, xs1 = max(0, dx), min(w, w + dx)
    ys0, ys1 = max(0, dy), min(h, h + dy)
    out[ys0:ys1, xs0:xs1] = alpha[ys0 - dy:ys1 - dy, xs0 - dx:xs1 - dx]
    return out


def drop_shadow(dst, shape, dx=2, dy=3, radius=2.0, strength=0.55):
    """Darkens dst under a blurred, offset copy of a shape's coverage."""
    s = blur(shift(shape, dx, dy), radius) * strength
    dst[...] = dst * (1.0 - s[..., None])


def to_u8(picture):
    return np.clip(np.rint(picture), 0, 255).astype(np.uint8)


def save_png(path, picture, alpha=None):
    """PNG, 8 bits per channel, non-interlaced, RGB or RGBA, no metadata."""
    rgb = to_u8(picture)
    if alpha is None:
        img = Image.fromarray(rgb, "RGB")
    else:
        a = np.clip(np.rint(alpha * 255.0), 0, 255).astype(np.uint8)
        img = Image.fromarray(np.dstack([rgb, a]), "RGBA")
    img.save(path, format="PNG", optimize=False, compress_level=9)


def save_jpeg(path, picture):
    """Baseline JPEG, three components, fixed quality, full chroma resolution
    (thin coloured indicator lines would smear under 4:2:0 subsampling)."""
    img = Image.fromarray(to_u8(picture), "RGB")
    img.save(path, format="JPEG", quality=93, subsampling=0, optimize=False,
             progressive=False)


def stack(frames):
    """Frames stacked vertically, first frame on top."""
    return np.concatenate(frames, axis=0)
