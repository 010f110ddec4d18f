# SPDX-License-Identifier: MIT
"""Draws every image of the application into the folder holding this script.

This script is the only source of the art: edit it and run it again rather
than touching the generated files.  It needs nothing but the Python 3
standard library, and it is deterministic, so rerunning it on an unchanged
tree leaves every output byte-identical (git shows no diff).

Shapes are signed distance functions (negative inside, in pixels).  A pixel's
coverage is taken from the distance at its centre, which gives a one-pixel
wide anti-aliased edge at any size without supersampling.
"""

import math
import os
import struct
import zlib

OUT_DIR = os.path.dirname(os.path.abspath(__file__))

# One restrained palette, chosen to sit on the dark window (43,43,43) and the
# top bar (29,29,29).
GREY = (0x8A, 0x8A, 0x8A)       # resting glyphs, same as the UI text
LIGHT = (0xC3, 0xC3, 0xC3)      # page icons and highlighted text
ACCENT = (0x4A, 0x90, 0xD9)     # the single accent: hover/pressed, card
PALE = (0xE6, 0xEC, 0xF2)       # details on blue fills, where LIGHT looks dull
FIELD = (0x23, 0x23, 0x23)      # input fields sit slightly below the window
EDGE = (0x45, 0x45, 0x45)       # hairline border around fields
BAR = (0x1D, 0x1D, 0x1D)        # the top bar colour, reused for the slot
WINDOW = (0x2B, 0x2B, 0x2B)

# Hover and pressed states of the chrome buttons all use this colour, so the
# three buttons react in the same way.
HOT = ACCENT


# --------------------------------------------------------------------------
# Signed distance shapes.  The combinators keep the functions 1-Lipschitz
# (a distance never grows faster than the point moves), which is what lets
# Canvas.fill judge a whole tile from its centre.

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def rect(x0, y0, x1, y1, r=0.0):
    """Rectangle with corner radius r, given by its outer edges."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return f


def segment_distance(x, y, ax, ay, bx, by):
    ex, ey = bx - ax, by - ay
    wx, wy = x - ax, y - ay
    t = clamp((wx * ex + wy * ey) / (ex * ex + ey * ey))
    return math.hypot(wx - ex * t, wy - ey * t)


def line(points, width):
    """Open polyline with round caps and joins, like a pen stroke."""
    pairs = list(zip(points, points[1:]))

    def f(x, y):
        return min(segment_distance(x, y, ax, ay, bx, by)
                   for (ax, ay), (bx, by) in pairs) - width / 2
    return f


def arc(cx, cy, r, start, end, width):
    """Stroke along a circle, round capped, from start to end degrees.

    Angles grow clockwise on screen (y points down), so start < end draws a
    clockwise arc; the caps come from measuring to the end points outside it.
    """
    ends = [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a)))
            for a in (start, end)]

    def f(x, y):
        a = (math.degrees(math.atan2(y - cy, x - cx)) - start) % 360
        if a <= end - start:
            d = abs(math.hypot(x - cx, y - cy) - r)
        else:
            d = min(math.hypot(x - ex, y - ey) for ex, ey in ends)
        return d - width / 2
    return f


def polygon(points):
    """Closed polygon; sign from the even-odd crossing rule."""
    n = len(points)

    def f(x, y):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i - 1]
            bx, by = points[i]
            best = min(best, segment_distance(x, y, ax, ay, bx, by))
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -best if inside else best
    return f


def gear(cx, cy, teeth, root, tip, tooth_width, rounding=0.6):
    """Wheel of radius root with square teeth reaching out to tip."""
    sector = 2 * math.pi / teeth
    tooth = rect(root - 1.0, -tooth_width / 2, tip, tooth_width / 2, rounding)

    def f(x, y):
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        # Fold every point into the sector of the nearest tooth, so one tooth
        # shape serves them all.  Half a sector of offset puts a tooth at 12.
        a = math.atan2(dy, dx) + math.pi / 2
        a = (a + sector / 2) % sector - sector / 2
        return min(r - root, tooth(r * math.cos(a), r * math.sin(a)))
    return f


def cut(shape, hole):
    return lambda x, y: max(shape(x, y), -hole(x, y))


def clip(shape, mask):
    return lambda x, y: max(shape(x, y), mask(x, y))


def below(y0):
    """Half plane y > y0, to clip shapes that come out of a slot."""
    return lambda x, y: y0 - y


def outline(shape, width):
    """Stroke centred on the shape's edge."""
    return lambda x, y: abs(shape(x, y)) - width / 2


def rotate(shape, degrees, cx, cy):
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))

    def f(x, y):
        dx, dy = x - cx, y - cy
        return shape(cx + c * dx + s * dy, cy - s * dx + c * dy)
    return f


def place(shape, scale, ox=0.0, oy=0.0):
    """Use a shape drawn in design units at another size and position."""
    return lambda x, y: shape((x - ox) / scale, (y - oy) / scale) * scale


# --------------------------------------------------------------------------
# Raster.

class Canvas:
    TILE = 8

    def __init__(self, width, height):
        self.width, self.height = width, height
        # Premultiplied RGBA in 0..1 keeps repeated source-over blending exact.
        self.px = [0.0] * (width * height * 4)

    def fill(self, shape, colour, opacity=1.0):
        r, g, b = (c / 255.0 for c in colour)
        t = self.TILE
        for ty in range(0, self.height, t):
            for tx in range(0, self.width, t):
                tw, th = min(t, self.width - tx), min(t, self.height - ty)
                reach = math.hypot(tw, th) / 2 + 0.5
                d = shape(tx + tw / 2, ty + th / 2)
                if d >= reach:
                    continue  # the whole tile is outside
                solid = d <= -reach
                for y in range(ty, ty + th):
                    for x in range(tx, tx + tw):
                        cov = 1.0 if solid else clamp(0.5 - shape(x + 0.5, y + 0.5))
                        if cov > 0.0:
                            self._over(x, y, r, g, b, cov * opacity)

    def _over(self, x, y, r, g, b, a):
        i = (y * self.width + x) * 4
        p = self.px
        keep = 1.0 - a
        p[i] = r * a + p[i] * keep
        p[i + 1] = g * a + p[i + 1] * keep
        p[i + 2] = b * a + p[i + 2] * keep
        p[i + 3] = a + p[i + 3] * keep

    def rgba(self):
        """Straight-alpha 8-bit pixels as a list of (r, g, b, a) rows."""
        rows = []
        for y in range(self.height):
            row = []
            for x in range(self.width):
                i = (y * self.width + x) * 4
                a = self.px[i + 3]
                a8 = int(round(clamp(a) * 255))
                if a8 == 0:
                    row.append((0, 0, 0, 0))
                    continue
                row.append(tuple(int(round(clamp(self.px[i + k] / a) * 255))
                                 for k in range(3)) + (a8,))
            rows.append(row)
        return rows


# --------------------------------------------------------------------------
# File formats.

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png_bytes(width, height, colour_type, scanlines, extra_chunks=()):
    # Filter type 0 on every row: simple, and the images are tiny anyway.
    raw = b"".join(b"\x00" + line for line in scanlines)
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + b"".join(png_chunk(kind, data) for kind, data in extra_chunks)
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def save_png(name, canvas):
    lines = [bytes(v for px in row for v in px) for row in canvas.rgba()]
    write(name, png_bytes(canvas.width, canvas.height, 6, lines))


def save_palette_png(name, canvas):
    rows = canvas.rgba()
    # Coarsen the colours until they fit in 256 entries; the step is the
    # smallest that works, so flat artwork usually keeps its exact colours.
    step = 1
    while True:
        quant = [[tuple(min(255, (v + step // 2) // step * step) for v in px)
                  for px in row] for row in rows]
        colours = {px for row in quant for px in row}
        if len(colours) <= 256:
            break
        step *= 2
    # Translucent entries first, so tRNS can stop at the last one of them.
    palette = sorted(colours, key=lambda c: (c[3] == 255, c))
    index = {c: i for i, c in enumerate(palette)}
    alphas = bytes(c[3] for c in palette if c[3] < 255)
    chunks = [(b"PLTE", bytes(v for c in palette for v in c[:3]))]
    if alphas:
        chunks.append((b"tRNS", alphas))
    lines = [bytes(index[px] for px in row) for row in quant]
    write(name, png_bytes(canvas.width, canvas.height, 3, lines, chunks))


def save_ico(name, canvas):
    """One 256x256 32-bit BMP image; Windows shells expect BMP, not PNG."""
    w, h = canvas.width, canvas.height
    assert (w, h) == (256, 256)
    rows = canvas.rgba()
    xor = b"".join(bytes(v for r, g, b, a in row for v in (b, g, r, a))
                   for row in reversed(rows))
    and_mask = bytes(w // 8 * h)  # alpha does the masking; keep all opaque
    dib = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
    image = dib + xor + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(image), 6 + 16)
    write(name, icondir + entry + image)


def write(name, data):
    with open(os.path.join(OUT_DIR, name), "wb") as f:
        f.write(data)


# --------------------------------------------------------------------------
# Brand mark: a dispenser with a card coming out of its slot.  Designed on a
# 512 unit square; `small` drops details that would only turn into mush.

def draw_mark(canvas, scale, ox=0.0, oy=0.0, small=False):
    def fill(shape, colour, opacity=1.0):
        canvas.fill(place(shape, scale, ox, oy), colour, opacity)

    # The card is landscape (ID-1 proportions) so it reads as a bank card and
    # not as paper leaving a printer.
    slot_y = 268
    fill(rect(56, 88, 456, 324, 52), LIGHT)
    fill(rect(104, 132, 408, 214, 22), WINDOW)
    if small:
        fill(line([(140, 173), (290, 173)], 26), ACCENT)
    else:
        fill(line([(140, 160), (290, 160)], 18), ACCENT)
        fill(line([(140, 188), (222, 188)], 18), GREY)
        fill(circle(366, 173, 15), ACCENT)
    fill(line([(104, slot_y), (408, slot_y)], 30), BAR)

    card = rect(124, slot_y - 40, 388, 424, 22)
    fill(clip(card, below(slot_y)), ACCENT)
    chip = rect(158, 302, 226, 352, 10)
    fill(chip, PALE)
    if not small:
        # Contact pads: a centre pad with leads to both sides, cut out of the
        # chip in the card colour.
        fill(outline(rect(181, 312, 203, 342, 5), 5), ACCENT)
        fill(line([(158, 318), (181, 318)], 5), ACCENT)
        fill(line([(158, 336), (181, 336)], 5), ACCENT)
        fill(line([(203, 318), (226, 318)], 5), ACCENT)
        fill(line([(203, 336), (226, 336)], 5), ACCENT)
        fill(line([(166, 390), (262, 390)], 14), PALE, 0.55)
        fill(line([(282, 390), (346, 390)], 14), PALE, 0.55)
    else:
        fill(line([(166, 390), (346, 390)], 22), PALE, 0.55)


# --------------------------------------------------------------------------
# Word mark: simple stroked capitals, so no font is involved.

LETTERS = {
    # Strokes in a cell 1 unit high; the value is (cell width, strokes).
    "T": (0.78, [[(0, 0), (0.78, 0)], [(0.39, 0), (0.39, 1)]]),
    "V": (0.82, [[(0, 0), (0.41, 1), (0.82, 0)]]),
    "E": (0.64, [[(0.64, 0), (0, 0), (0, 1), (0.64, 1)], [(0, 0.5), (0.54, 0.5)]]),
    "L": (0.62, [[(0, 0), (0, 1), (0.62, 1)]]),
}


def draw_word(canvas, text, left, top, height, width, colour, tracking):
    x = left + width / 2
    for ch in text:
        if ch == "O":
            cell = 0.94
            right, radius = x + cell * height, cell * height / 2 - 0.5
            ring = rect(x, top, right, top + height, radius)
            canvas.fill(outline(ring, width), colour)
        else:
            cell, strokes = LETTERS[ch]
            for stroke in strokes:
                pts = [(x + u * height, top + v * height) for u, v in stroke]
                canvas.fill(line(pts, width), colour)
        x += cell * height + tracking


# --------------------------------------------------------------------------
# Small icons, drawn straight in pixels.  Page icons use 2px strokes centred
# on whole pixels so horizontal and vertical edges stay crisp.

def icon_close(colour):
    c = Canvas(16, 16)
    c.fill(line([(4.5, 4.5), (11.5, 11.5)], 1.5), colour)
    c.fill(line([(11.5, 4.5), (4.5, 11.5)], 1.5), colour)
    return c


def icon_config(colour):
    c = Canvas(23, 22)
    # Solid rather than outlined: at this size an outlined gear turns to mush.
    wheel = gear(11.5, 11.0, 8, 6.4, 9.3, 3.0, 0.8)
    c.fill(cut(wheel, circle(11.5, 11.0, 2.8)), colour)
    return c


def icon_clear(colour):
    c = Canvas(28, 28)
    c.fill(line([(6, 8), (22, 8)], 2), colour)
    c.fill(line([(11.5, 8), (11.5, 5), (16.5, 5), (16.5, 8)], 2), colour)
    bin_ = polygon([(8, 8), (20, 8), (19, 23), (9, 23)])
    c.fill(outline(bin_, 2), colour)
    c.fill(line([(12, 12), (12, 19)], 2), colour)
    c.fill(line([(16, 12), (16, 19)], 2), colour)
    return c


def icon_card():
    c = Canvas(28, 28)
    c.fill(outline(rect(4, 7, 24, 21, 2.5), 2), LIGHT)
    c.fill(rect(7, 10, 12, 14, 1), ACCENT)
    c.fill(line([(8, 18), (12, 18)], 2), LIGHT)
    c.fill(line([(15, 18), (20, 18)], 2), LIGHT)
    return c


def icon_sign():
    c = Canvas(28, 28)
    # Pen along +x in its own frame, then tilted so the nib points down-left.
    body = polygon([(-8, -2.5), (4, -2.5), (8.5, 0), (4, 2.5), (-8, 2.5)])
    pen = rotate(lambda x, y: body(x - 15.5, y - 11.5), 135, 15.5, 11.5)
    c.fill(outline(pen, 1.8), LIGHT)
    # One and a half waves of signature that settle onto the baseline.
    steps = [i * 3 * math.pi / 36 for i in range(37)]
    wave = [(4 + t, 22.5 - 1.5 * math.sin(t)) for t in steps]
    c.fill(line(wave + [(24, 22.5)], 1.8), ACCENT)
    return c


def icon_burnin():
    c = Canvas(28, 28)
    # Two cards, one behind the other, and a clockwise repeat arrow: many
    # cards, over and over.  The front card keeps the chip of the card-issue
    # icon so the two pages read as related.
    cx, cy, r, end = 20.0, 20.0, 5.5, 270.0
    ring = arc(cx, cy, r, 20.0, end, 2)
    # Arrowhead on the arc's end, pointing along the clockwise tangent.
    t = math.radians(end)
    ex, ey = cx + r * math.cos(t), cy + r * math.sin(t)
    nx, ny, length, half = math.cos(t), math.sin(t), 3.5, 3.2
    head = polygon([(ex + nx * half, ey + ny * half), (ex - ny * length, ey + nx * length),
                    (ex - nx * half, ey - ny * half)])
    # The cards stop a gap short of the arrow and of the disc it encloses, so
    # the two colours never touch and the arrow stays legible when scaled down.
    disc = circle(cx, cy, r + 1)

    def clear(x, y):
        return min(disc(x, y), head(x, y)) - 1.5

    front = rect(3, 8, 21, 20, 2.5)
    back = cut(outline(rect(6, 4, 24, 16, 2.5), 2), lambda x, y: front(x, y) - 2.5)
    c.fill(cut(back, clear), LIGHT)
    c.fill(cut(outline(front, 2), clear), LIGHT)
    c.fill(rect(6, 11, 10, 14.5, 1), ACCENT)
    c.fill(ring, ACCENT)
    c.fill(head, ACCENT)
    return c


def star_points(cx, cy, outer, inner):
    pts = []
    for i in range(10):
        r = outer if i % 2 == 0 else inner
        a = math.radians(-90 + 36 * i)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def icon_rating():
    c = Canvas(28, 28)
    star = polygon(star_points(14, 15, 10.5, 4.6))
    c.fill(star, ACCENT, 0.45)
    c.fill(outline(star, 1.8), LIGHT)
    return c


def icon_basic(active):
    c = Canvas(28, 28)
    frame = rect(5, 5, 23, 23, 3)
    if active:
        c.fill(frame, ACCENT)
        ink, first = PALE, PALE
    else:
        c.fill(outline(frame, 2), LIGHT)
        ink, first = LIGHT, ACCENT
    c.fill(line([(10, 10), (16, 10)], 2), first)
    c.fill(line([(10, 14), (18, 14)], 2), ink)
    c.fill(line([(10, 18), (18, 18)], 2), ink)
    return c


def combo_field():
    c = Canvas(109, 30)
    c.fill(rect(0, 0, 109, 30, 3.5), EDGE)
    c.fill(rect(1, 1, 108, 29, 2.5), FIELD)
    return c


def down_arrow():
    c = Canvas(12, 12)
    c.fill(line([(3, 4.5), (6, 7.5), (9, 4.5)], 1.5), GREY)
    return c


# --------------------------------------------------------------------------

def main():
    big = Canvas(512, 512)
    draw_mark(big, 1.0)
    save_png("tovel.png", big)

    icon = Canvas(256, 256)
    draw_mark(icon, 0.5)
    save_ico("favicon.ico", icon)
    # The same picture as the desktop's application icon, which wants a PNG.
    save_png("card-dispenser-test.png", icon)

    # The mark spans 400 x 336 design units; fit it to the strip's height.
    word = Canvas(189, 37)
    mark_scale = 35 / 336
    draw_mark(word, mark_scale, 0.5 - 56 * mark_scale, 1 - 88 * mark_scale, small=True)
    draw_word(word, "TOVEL", 54, 8, 21, 3.2, LIGHT, 11.5)
    save_palette_png("logo.png", word)

    save_png("close_up.png", icon_close(GREY))
    save_png("close_down.png", icon_close(HOT))
    save_png("config_up.png", icon_config(GREY))
    save_png("config_down.png", icon_config(HOT))
    save_png("clear-normal.png", icon_clear(GREY))
    save_png("clear-move.png", icon_clear(HOT))
    save_png("icon_keypad_1.png", icon_card())
    save_png("icon_burnin_1.png", icon_burnin())
    save_png("combobox.png", combo_field())
    save_png("down_arrow.png", down_arrow())
    save_png("icon_sign_1.png", icon_sign())
    save_png("icon_eva_num_1.png", icon_rating())
    save_png("icon_basic_1.png", icon_basic(False))
    save_png("icon_basic_2.png", icon_basic(True))


if __name__ == "__main__":
    main()
