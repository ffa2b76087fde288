#!/usr/bin/env python3
"""Draws the installer's bitmaps for the Varnex Spreadsheet Add-In and writes them as BMP files.

    make_artwork.py [OUTPUT_DIR]      (default: the resources/ folder beside this script's folder)

Writes:
  product_icon.bmp  101   48 x 48, 16 colours (4 bits per pixel)
  side_picture.bmp  103   60 x 200, 24 bits: a tall picture, a rising chart over a sheet grid
  title_icon.bmp    111   16 x 16, 24 bits: the small sheet-and-chart icon of the title bar
  logo_strip.bmp    120   99 x 14, 24 bits: the VARNEX word mark on a white ground

The logo's anti-aliased edge uses exactly two pale pinks, (255, 239, 239) and (255, 223, 223):
the installer replaces them and the white ground by the window's colour, so the faintest edge
pixels must be exactly those. Only the standard library is used; the output is deterministic.
"""
import math
import os
import struct
import sys

WHITE = (255, 255, 255)
PINK_FAINT = (255, 239, 239)
PINK_PALE = (255, 223, 223)


class Canvas:
    """An RGB picture drawn with anti-aliased shapes (coverage from 4 x 4 samples per pixel)."""

    SAMPLES = 4

    def __init__(self, width, height, colour=WHITE):
        self.width = width
        self.height = height
        self.pixels = [[tuple(float(c) for c in colour) for _ in range(width)]
                       for _ in range(height)]

    def blend(self, x, y, colour, alpha):
        if 0 <= x < self.width and 0 <= y < self.height and alpha > 0:
            old = self.pixels[y][x]
            self.pixels[y][x] = tuple(o + (c - o) * alpha for o, c in zip(old, colour))

    def coverage(self, inside, box):
        """Per-pixel coverage of the predicate `inside(x, y)` within box (x0, y0, x1, y1)."""
        x0, y0, x1, y1 = box
        n = self.SAMPLES
        result = {}
        for py in range(max(0, int(math.floor(y0))), min(self.height, int(math.ceil(y1)) + 1)):
            for px in range(max(0, int(math.floor(x0))), min(self.width, int(math.ceil(x1)) + 1)):
                hits = 0
                for sy in range(n):
                    for sx in range(n):
                        if inside(px + (sx + 0.5) / n, py + (sy + 0.5) / n):
                            hits += 1
                if hits:
                    result[(px, py)] = hits / (n * n)
        return result

    def fill(self, shape, colour, alpha=1.0):
        for (x, y), c in self.coverage(shape.contains, shape.bounds()).items():
            self.blend(x, y, colour, c * alpha)

    def vertical_gradient(self, top, bottom):
        for y in range(self.height):
            t = y / max(1, self.height - 1)
            colour = tuple(a + (b - a) * t for a, b in zip(top, bottom))
            for x in range(self.width):
                self.pixels[y][x] = colour

    def rgb(self):
        return [[tuple(max(0, min(255, int(round(c)))) for c in p) for p in row]
                for row in self.pixels]


def polygon_contains(points, x, y):
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


class Shape:
    """A union of polygons minus a union of holes."""

    def __init__(self, solids, holes=()):
        self.solids = [list(p) for p in solids]
        self.holes = [list(p) for p in holes]

    def contains(self, x, y):
        return (any(polygon_contains(p, x, y) for p in self.solids) and
                not any(polygon_contains(p, x, y) for p in self.holes))

    def bounds(self):
        xs = [x for p in self.solids for x, _ in p]
        ys = [y for p in self.solids for _, y in p]
        return min(xs), min(ys), max(xs), max(ys)

    def moved(self, dx, dy, sx=1.0, sy=1.0):
        def move(poly):
            return [(dx + x * sx, dy + y * sy) for x, y in poly]
        return Shape([move(p) for p in self.solids], [move(p) for p in self.holes])


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def arc(cx, cy, r, start_deg, end_deg, steps=16):
    return [(cx + r * math.cos(math.radians(start_deg + (end_deg - start_deg) * i / steps)),
             cy + r * math.sin(math.radians(start_deg + (end_deg - start_deg) * i / steps)))
            for i in range(steps + 1)]


def circle(cx, cy, r):
    return arc(cx, cy, r, 0, 360, 24)[:-1]


def thick_line(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy)
    nx, ny = -dy / length * width / 2, dx / length * width / 2
    return [(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)]


def rounded_rect(x0, y0, x1, y1, r):
    return (arc(x1 - r, y0 + r, r, -90, 0, 6) + arc(x1 - r, y1 - r, r, 0, 90, 6) +
            arc(x0 + r, y1 - r, r, 90, 180, 6) + arc(x0 + r, y0 + r, r, 180, 270, 6))


# --- The word mark: capitals drawn on a cap height of 10 units, stems 2.2 units wide. -----------

def glyph_v():
    return Shape([[(0, 0), (2.3, 0), (4.5, 7.3), (6.7, 0), (9, 0), (5.7, 10), (3.3, 10)]]), 9


def glyph_a():
    outer = [(3.3, 0), (5.7, 0), (9, 10), (6.7, 10), (6.1, 7.9), (2.9, 7.9), (2.3, 10), (0, 10)]
    return Shape([outer], [[(3.5, 6.0), (5.5, 6.0), (4.5, 2.6)]]), 9


def glyph_r():
    bowl = [(0, 0), (4.6, 0)] + arc(4.6, 3.05, 3.05, -90, 90) + [(0, 6.1)]
    counter = [(2.2, 1.9), (4.6, 1.9)] + arc(4.6, 3.05, 1.15, -90, 90) + [(2.2, 4.2)]
    leg = [(3.7, 5.4), (6.0, 5.4), (8.6, 10), (6.2, 10)]
    return Shape([rect(0, 0, 2.2, 10), bowl, leg], [counter]), 8.6


def glyph_n():
    return Shape([rect(0, 0, 2.2, 10), rect(6.8, 0, 9, 10),
                  [(0, 0), (2.6, 0), (9, 10), (6.4, 10)]]), 9


def glyph_e():
    return Shape([rect(0, 0, 2.2, 10), rect(0, 0, 7.4, 2), rect(0, 4.1, 6.6, 5.9),
                  rect(0, 8, 7.4, 10)]), 7.4


def glyph_x():
    return Shape([[(0, 0), (2.5, 0), (9, 10), (6.5, 10)],
                  [(6.5, 0), (9, 0), (2.5, 10), (0, 10)]]), 9


def chart_mark():
    """Three rising bars, the product's mark."""
    return Shape([rect(0, 6, 2.4, 10), rect(3.4, 3, 5.8, 10), rect(6.8, 0, 9.2, 10)]), 9.2


def logo_strip():
    width, height = 99, 14
    ink_word = (176, 18, 38)
    ink_mark = (214, 0, 0)
    x_scale, spacing, top = 1.1, 1.7, 2.0
    parts = [(chart_mark(), ink_mark, 4.0)]
    for glyph in (glyph_v, glyph_a, glyph_r, glyph_n, glyph_e, glyph_x):
        parts.append((glyph(), ink_word, spacing))
    total = sum(w * x_scale + gap for (shape, w), _, gap in parts) - parts[0][2]
    x = (width - total) / 2
    first = True
    coverage = {}
    for (shape, w), ink, gap in parts:
        if not first:
            x += gap
        first = False
        canvas = Canvas(width, height)
        for pos, c in canvas.coverage(shape.moved(x, top, x_scale).contains,
                                      shape.moved(x, top, x_scale).bounds()).items():
            old = coverage.get(pos, (0.0, ink))
            coverage[pos] = (min(1.0, old[0] + c), ink)
        x += w * x_scale

    # White ground; the faintest edge pixels take exactly the two pale pinks, the stronger ones
    # a blend towards the ink, so that the word keeps its shape on any ground colour.
    rows = [[WHITE] * width for _ in range(height)]
    for (px, py), (c, ink) in coverage.items():
        if c < 0.12:
            continue
        if c < 0.30:
            colour = PINK_FAINT
        elif c < 0.48:
            colour = PINK_PALE
        else:
            colour = tuple(int(round(255 + (i - 255) * min(1.0, (c - 0.2) / 0.7))) for i in ink)
            if colour in (WHITE, PINK_FAINT, PINK_PALE):
                colour = ink
        rows[py][px] = colour
    return rows


# --- The icons: a sheet with a header row and a rising line. ------------------------------------

NAVY = (22, 62, 112)
SKY = (78, 146, 204)
SHEET = (250, 252, 255)
GRID = (184, 204, 226)
RED = (214, 40, 32)
ORANGE = (244, 140, 40)


def sheet_icon(size):
    s = size / 16.0
    canvas = Canvas(size, size, (236, 242, 250))
    canvas.fill(Shape([rounded_rect(0.5 * s, 0.5 * s, 15.5 * s, 15.5 * s, 2.2 * s)]), NAVY)
    canvas.fill(Shape([rect(2 * s, 2 * s, 14 * s, 14 * s)]), SHEET)
    canvas.fill(Shape([rect(2 * s, 2 * s, 14 * s, 5 * s)]), SKY)
    for gx in (5, 8, 11):
        canvas.fill(Shape([rect(gx * s, 5 * s, gx * s + max(1, s * 0.6), 14 * s)]), GRID)
    for gy in (8, 11):
        canvas.fill(Shape([rect(2 * s, gy * s, 14 * s, gy * s + max(1, s * 0.6))]), GRID)
    points = [(3.2, 12.6), (6.5, 10.2), (9.0, 11.0), (12.8, 6.4)]
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        canvas.fill(Shape([thick_line(x0 * s, y0 * s, x1 * s, y1 * s, 1.7 * s)]), RED)
    canvas.fill(Shape([[(11.0 * s, 5.6 * s), (14.2 * s, 4.6 * s), (13.6 * s, 8.0 * s)]]), RED)
    return canvas.rgb()


def quantize(rows, palette):
    def nearest(p):
        return min(range(len(palette)),
                   key=lambda i: sum((a - b) ** 2 for a, b in zip(p, palette[i])))
    return [[nearest(p) for p in row] for row in rows]


PALETTE16 = [(0, 0, 0), (22, 62, 112), (78, 146, 204), (184, 204, 226), (250, 252, 255),
             (236, 242, 250), (214, 40, 32), (244, 140, 40), (50, 96, 150), (130, 176, 216),
             (232, 150, 140), (120, 120, 120), (192, 192, 192), (160, 70, 70), (217, 228, 242),
             (255, 255, 255)]


# --- The side picture: dusk-blue gradient, a faint sheet grid and a rising chart. ---------------

def side_picture():
    width, height = 60, 200
    canvas = Canvas(width, height)
    canvas.vertical_gradient((20, 56, 104), (116, 176, 218))
    # A soft light band across the upper part.
    canvas.fill(Shape([[(0, 34), (60, 8), (60, 30), (0, 62)]]), (255, 255, 255), 0.07)
    # Spreadsheet grid, fading out towards the foot.
    for x in range(4, width, 13):
        canvas.fill(Shape([rect(x, 0, x + 1, height)]), (255, 255, 255), 0.10)
    for y in range(6, height, 11):
        canvas.fill(Shape([rect(0, y, width, y + 1)]), (255, 255, 255), 0.10)
    # Four rising columns standing on a base line.
    base = 96
    for i, top in enumerate((76, 64, 50, 34)):
        x = 7 + i * 12.5
        canvas.fill(Shape([rect(x + 1, top + 2, x + 9, base + 1)]), (0, 20, 50), 0.25)  # shadow
        canvas.fill(Shape([rect(x, top, x + 8, base)]), (236, 244, 252), 0.92)
        canvas.fill(Shape([rect(x, top, x + 8, top + 2)]), (150, 200, 240), 0.9)
    canvas.fill(Shape([rect(3, base, 57, base + 1.2)]), (255, 255, 255), 0.8)
    # The trend line with its points and an arrow head.
    points = [(9, 64), (22, 52), (34, 40), (47, 20)]
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        canvas.fill(Shape([thick_line(x0, y0, x1, y1, 2.2)]), ORANGE)
    for x, y in points[:-1]:
        canvas.fill(Shape([circle(x, y, 2.6)]), (255, 255, 255))
        canvas.fill(Shape([circle(x, y, 1.6)]), RED)
    canvas.fill(Shape([[(43.5, 17.5), (52, 11), (50.5, 22.5)]]), ORANGE)
    # Further down, rows of the sheet with a few filled cells, and a faint V monogram.
    for row, cells in enumerate(((0, 2), (1, 3), (0, 1, 3), (2,), (1, 2))):
        for cell in cells:
            x = 4 + cell * 13
            y = 116 + row * 11
            canvas.fill(Shape([rect(x + 1, y + 1, x + 13, y + 11)]), (255, 255, 255), 0.16)
    canvas.fill(Shape([[(14, 172), (21, 172), (30, 190), (39, 172), (46, 172), (33, 197),
                        (27, 197)]]), (255, 255, 255), 0.22)
    return canvas.rgb()


# --- BMP files. ---------------------------------------------------------------------------------

def bmp_24(rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    return bmp_file(width, height, 24, b"", bytes(data))


def bmp_4(indices, palette):
    height, width = len(indices), len(indices[0])
    stride = ((width + 1) // 2 + 3) & ~3
    data = bytearray()
    for row in reversed(indices):
        line = bytearray()
        for i in range(0, width, 2):
            high = row[i]
            low = row[i + 1] if i + 1 < width else 0
            line.append((high << 4) | low)
        data += line + bytes(stride - len(line))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return bmp_file(width, height, 4, table, bytes(data), colours=len(palette))


def bmp_file(width, height, bits, table, data, colours=0):
    header_size = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835,
                       colours, colours)
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(data), 0, 0, header_size)
    return file_header + info + table + data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(out, exist_ok=True)
    files = {
        "product_icon.bmp": bmp_4(quantize(sheet_icon(48), PALETTE16), PALETTE16),
        "side_picture.bmp": bmp_24(side_picture()),
        "title_icon.bmp": bmp_24(sheet_icon(16)),
        "logo_strip.bmp": bmp_24(logo_strip()),
    }
    for name, content in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(content)
    return 0


if __name__ == "__main__":
    sys.exit(main())
