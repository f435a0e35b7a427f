#!/usr/bin/python3
"""Typesets the user manual from its text source.

usage: make_manual.py SOURCE.txt OUTPUT.pdf [--images DIR]

The panel picture is assembled from the committed editor images (by default
resources/img of this tree) exactly as the editor shows them when it opens, and
numbered markers point at the controls the text describes. The PDF is
reproducible: reportlab's invariant mode fixes the creation date and the
document id, and the fonts come from Debian packages (fonts-dejavu-core).
"""

import argparse
import os
import re
import sys
import tempfile

sys.dont_write_bytecode = True

from reportlab import rl_config  # noqa: E402

rl_config.invariant = 1

from PIL import Image  # noqa: E402
from reportlab.lib import colors  # noqa: E402
from reportlab.lib.utils import ImageReader  # noqa: E402
from reportlab.lib.enums import TA_LEFT  # noqa: E402
from reportlab.lib.pagesizes import A4  # noqa: E402
from reportlab.lib.styles import ParagraphStyle  # noqa: E402
from reportlab.lib.units import mm  # noqa: E402
from reportlab.pdfbase import pdfmetrics  # noqa: E402
from reportlab.pdfbase.ttfonts import TTFont  # noqa: E402
from reportlab.lib.fonts import addMapping  # noqa: E402
from reportlab.platypus import (Flowable, KeepTogether, ListFlowable, ListItem, PageBreak,  # noqa: E402
                                Paragraph, SimpleDocTemplate, Spacer, Table, TableStyle,
                                XPreformatted)

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, ".."))
sys.path.insert(0, os.path.join(ROOT, "tools", "artwork"))
import make_artwork  # noqa: E402

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
AMBER = colors.Color(0.93, 0.55, 0.12)
CHARCOAL = colors.Color(0.16, 0.17, 0.19)
GREY = colors.Color(0.42, 0.42, 0.44)
RULE = colors.Color(0.80, 0.80, 0.80)
PAPER = colors.Color(0.96, 0.95, 0.93)
# A table with more rows than this (its header included) may break across
# pages; a shorter one is kept on one page.
LONG_TABLE_ROWS = 9

# Where the numbered markers sit, in panel pixels (the panel is 716 x 227;
# negative or larger coordinates lie in the margin around the picture).
# 6 sits between the two rows of LED displays, inside their common rectangle
# (the manual's tests hold it there, reading the editor's layout); 12 sits just
# above the engraved two-ring emblem (a decoration of the background, not a
# control).
MARKERS = {
    1: (17.5, -9), 2: (434, -9), 3: (489, -9), 4: (98.5, 237), 5: (332.5, 237),
    6: (219.5, 91.5), 7: (430, 85), 8: (476.5, 237), 9: (540, 150), 10: (664.5, 237),
    11: (590, -9), 12: (214.5, 152),
}


def register_fonts():
    for name, file in (("Sans", "DejaVuSans.ttf"), ("Sans-Bold", "DejaVuSans-Bold.ttf"),
                       ("Mono", "DejaVuSansMono.ttf"), ("Sans-Oblique", "DejaVuSans.ttf")):
        pdfmetrics.registerFont(TTFont(name, os.path.join(FONT_DIR, file)))
    addMapping("Sans", 0, 0, "Sans")
    addMapping("Sans", 1, 0, "Sans-Bold")
    # The core package has no oblique face: italics are set upright.
    addMapping("Sans", 0, 1, "Sans-Oblique")
    addMapping("Sans", 1, 1, "Sans-Bold")
    for bold in (0, 1):
        for italic in (0, 1):
            addMapping("Mono", bold, italic, "Mono")


def styles():
    base = dict(fontName="Sans", fontSize=9.5, leading=13.2, textColor=CHARCOAL, alignment=TA_LEFT)
    return {
        "title": ParagraphStyle("title", fontName="Sans-Bold", fontSize=30, leading=34,
                                textColor=AMBER, spaceAfter=2),
        "subtitle": ParagraphStyle("subtitle", fontName="Sans", fontSize=10.5, leading=14,
                                   textColor=GREY, spaceAfter=10),
        "h1": ParagraphStyle("h1", fontName="Sans-Bold", fontSize=14, leading=18, textColor=CHARCOAL,
                             spaceBefore=12, spaceAfter=5),
        "h2": ParagraphStyle("h2", fontName="Sans-Bold", fontSize=10.5, leading=14, textColor=CHARCOAL,
                             spaceBefore=6, spaceAfter=3),
        "body": ParagraphStyle("body", spaceAfter=6, **base),
        "code": ParagraphStyle("code", fontName="Mono", fontSize=8.2, leading=10.8,
                               textColor=CHARCOAL, backColor=PAPER, borderPadding=(3, 4, 3, 4),
                               leftIndent=4, rightIndent=4, spaceBefore=3, spaceAfter=9),
        "cell": ParagraphStyle("cell", fontName="Sans", fontSize=8.3, leading=10.6, textColor=CHARCOAL),
        "cellhead": ParagraphStyle("cellhead", fontName="Sans-Bold", fontSize=8.3, leading=10.6,
                                   textColor=colors.white),
    }


class PanelFigure(Flowable):
    """The assembled panel with numbered markers."""

    def __init__(self, png_path, width):
        super().__init__()
        # Named by a digest of its pixels (not of a temporary path), so the
        # PDF comes out the same every time.
        with Image.open(png_path) as img:
            img.load()
            self.image = ImageReader(img.convert("RGB"))
        self.scale = width / 716.0
        self.pad = 14.0
        self.width = width
        self.height = 227 * self.scale + 2 * self.pad

    def draw(self):
        c = self.canv
        s = self.scale
        c.drawImage(self.image, 0, self.pad, width=716 * s, height=227 * s)
        for number, (x, y) in MARKERS.items():
            px, py = x * s, self.pad + (227 - y) * s
            c.setFillColor(AMBER)
            c.setStrokeColor(CHARCOAL)
            c.setLineWidth(0.8)
            c.circle(px, py, 6.2, stroke=1, fill=1)
            c.setFillColor(CHARCOAL)
            c.setFont("Sans-Bold", 7.5)
            c.drawCentredString(px, py - 2.6, str(number))


def parse(source):
    """Turns the text source into a list of (kind, payload) blocks."""
    blocks, para, table, code = [], [], [], []

    def flush():
        if para:
            blocks.append(("p", " ".join(para)))
            para.clear()
        if table:
            blocks.append(("table", list(table)))
            table.clear()
        if code:
            blocks.append(("code", "\n".join(code)))
            code.clear()

    for raw in source.splitlines():
        line = raw.rstrip()
        if line.startswith("#"):
            continue
        if not line:
            flush()
            continue
        # Example lines keep their spacing; a run of them is one block.
        if line == ">" or line.startswith("> "):
            if para or table:
                flush()
            code.append(line[2:])
            continue
        if code:
            flush()
        for prefix, kind in (("=== ", "h2"), ("== ", "h1"), ("= ", "title"), ("~ ", "subtitle"),
                             ("- ", "bullet")):
            if line.startswith(prefix):
                flush()
                blocks.append((kind, line[len(prefix):]))
                break
        else:
            if line.startswith("| "):
                if para:
                    flush()
                table.append([cell.strip() for cell in line[2:].split("|")])
            elif line in ("@panel", "@break"):
                flush()
                blocks.append((line[1:], None))
            else:
                if table:
                    flush()
                para.append(line)
    flush()
    return blocks


def inline(text):
    """The source uses plain quotes; outside the markup tags they are set as
    typographic ones, except in the fixed-width face: commands keep the
    straight quotes a shell needs."""
    parts = re.split(r"(<[^>]*>)", text)
    # Pair the quotes across the whole text but leave tag attributes alone.
    out, opening, fonts = [], True, []  # fonts: open font tags, True for the fixed-width face
    for part in parts:
        if part.startswith("<"):
            if re.match(r"<font\b", part):
                face = re.search(r'face="([^"]*)"', part)  # without one, the face is inherited
                fonts.append(face.group(1) == "Mono" if face else bool(fonts and fonts[-1]))
            elif part.startswith("</font") and fonts:
                fonts.pop()
            out.append(part)
            continue
        if fonts and fonts[-1]:
            out.append(part)
            continue
        chars = []
        for ch in part:
            if ch == '"':
                chars.append("\u201c" if opening else "\u201d")
                opening = not opening
            else:
                chars.append(ch)
        out.append("".join(chars))
    return "".join(out)


def build_table(rows, st, width):
    head, body = rows[0], rows[1:]
    data = [[Paragraph(inline(c), st["cellhead"]) for c in head]]
    data += [[Paragraph(inline(c), st["cell"]) for c in r] for r in body]
    ncol = len(head)
    if ncol == 2:  # a term and what it means
        widths = [width * 0.30, width * 0.70]
    elif ncol == 4:  # the parameter table: the last column takes the rest
        fixed = [0.16, 0.17, 0.12]
        widths = [width * f for f in fixed] + [width * (1 - sum(fixed))]
    else:
        first = 0.06
        second = 0.22
        rest = (1 - first - second) / (ncol - 2)
        widths = [width * first, width * second] + [width * rest] * (ncol - 2)
    t = Table(data, colWidths=widths, repeatRows=1)
    t.setStyle(TableStyle([
        ("BACKGROUND", (0, 0), (-1, 0), CHARCOAL),
        ("VALIGN", (0, 0), (-1, -1), "TOP"),
        ("ROWBACKGROUNDS", (0, 1), (-1, -1), [colors.white, PAPER]),
        ("LINEBELOW", (0, 0), (-1, -1), 0.4, RULE),
        ("TOPPADDING", (0, 0), (-1, -1), 3),
        ("BOTTOMPADDING", (0, 0), (-1, -1), 3),
    ]))
    return t


def on_page(canvas, doc):
    canvas.saveState()
    w, h = A4
    canvas.setFillColor(AMBER)
    canvas.rect(0, h - 6 * mm, w, 6 * mm, stroke=0, fill=1)
    canvas.setFont("Sans", 7.5)
    canvas.setFillColor(GREY)
    canvas.drawString(doc.leftMargin, 12 * mm, "Pelko DUV \u00b7 pitch-synchronous stereo doubler")
    canvas.drawRightString(w - doc.rightMargin, 12 * mm, "page %d" % doc.page)
    canvas.restoreState()


def build(source_path, out_path, images_dir):
    register_fonts()
    st = styles()
    with open(source_path, encoding="utf-8") as f:
        blocks = parse(f.read())

    doc = SimpleDocTemplate(out_path, pagesize=A4, leftMargin=20 * mm, rightMargin=20 * mm,
                            topMargin=18 * mm, bottomMargin=20 * mm, title="DUV user manual",
                            author="Pelko", subject="Pitch-synchronous stereo doubler",
                            creator="DUV manual typesetter", invariant=1)
    width = doc.width
    story, bullets, pending = [], [], []

    def place(flowables, keep_with_next=False, may_break=False):
        """Headings, examples and paragraphs that end in a colon wait for what
        follows and go onto its page with it, so none is left alone at a page
        foot. What may break (a long table) is placed after them as it is."""
        if keep_with_next:
            pending.extend(flowables)
            return
        if may_break:
            story.extend(pending + flowables)
        else:
            story.append(KeepTogether(pending + flowables))
        pending.clear()

    def flush_bullets():
        # One list per item, so a long list may break between items while its
        # first item stays with the lines that lead into it.
        for b in bullets:
            place([ListFlowable([ListItem(Paragraph(inline(b), st["body"]), leftIndent=12,
                                          value="\u2022")],
                                bulletType="bullet", start="\u2022", leftIndent=12,
                                bulletColor=AMBER, bulletFontName="Sans-Bold")])
        if bullets:
            story.append(Spacer(1, 4))
            bullets.clear()

    with tempfile.TemporaryDirectory() as tmp:
        panel_png = os.path.join(tmp, "panel.png")
        make_artwork.compose_preview(images_dir, panel_png, make_artwork.fonts_table())
        for kind, payload in blocks:
            if kind != "bullet":
                flush_bullets()
            if kind == "bullet":
                bullets.append(payload)
            elif kind == "p":
                place([Paragraph(inline(payload), st["body"])], keep_with_next=payload.endswith(":"))
            elif kind == "code":
                # Set as it stands: the markup characters are escaped, the spacing kept.
                text = payload.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
                # An example goes onto the page of the text that explains it.
                place([XPreformatted(text, st["code"])], keep_with_next=True)
            elif kind in ("title", "subtitle", "h1", "h2"):
                place([Paragraph(inline(payload), st[kind])], keep_with_next=kind in ("h1", "h2"))
            elif kind == "table":
                # A short table stays on one page; a long one may break, its
                # header repeated, rather than leave half a page empty.
                place([build_table(payload, st, width), Spacer(1, 8)],
                      may_break=len(payload) > LONG_TABLE_ROWS)
            elif kind == "panel":
                place([PanelFigure(panel_png, width), Spacer(1, 6)])
            elif kind == "break":
                place([PageBreak()], may_break=True)
        flush_bullets()
        story.extend(pending)
        doc.build(story, onFirstPage=on_page, onLaterPages=on_page)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--images", default=os.path.join(ROOT, "resources", "img"))
    args = parser.parse_args(argv)
    build(args.source, args.output, args.images)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
