#!/usr/bin/env python3
"""Draws the add-in's artwork: four 16x16 toolbar glyphs and the delete-option
icon as 24-bit bitmap files on black (black shows as transparent, so no
pixel of a subject is pure black), the same four subjects drawn again at
32x32 for the ribbon's large buttons as 32-bit bitmap files whose background
is transparent by its alpha, the 150x52 product logo, written as PPM and
turned into JPEG with cjpeg, and a PNG of the four toolbar glyphs as a
toolbar shows them, for the documentation.
Usage: make_artwork.py [OUTPUT_FOLDER [DOCS_FOLDER]]"""
import math
import os
import struct
import subprocess
import sys
import zlib

BLACK = (0, 0, 0)
OUTLINE = (40, 40, 40)
WHITE = (250, 250, 250)
PAPER = (235, 235, 225)
RED = (220, 30, 30)
ORANGE = (250, 150, 20)
BLUE = (40, 90, 200)
GREEN = (40, 160, 60)
GREY = (150, 150, 160)
NAVY = (0, 26, 51)


class Canvas:
    """Drawn in the coordinates of a 16x16 glyph; scale 2 draws the same
    subject on 32x32 pixels, with rounder discs and rings and lines as thick
    as the small glyph's."""

    def __init__(self, width, height, fill, scale=1):
        self.scale = scale
        self.width, self.height = width * scale, height * scale
        self.pixels = [[fill] * self.width for _ in range(self.height)]

    def dot(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def put(self, x, y, colour):
        s = self.scale
        for dy in range(s):
            for dx in range(s):
                self.dot(x * s + dx, y * s + dy, colour)

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        s = self.scale
        steps = max(abs(x1 - x0), abs(y1 - y0), 1) * s
        for i in range(steps + 1):
            x = (x0 + (x1 - x0) * i / steps) * s
            y = (y0 + (y1 - y0) * i / steps) * s
            for dy in range(s):
                for dx in range(s):
                    self.dot(round(x) + dx, round(y) + dy, colour)

    def disc(self, cx, cy, r, colour):
        """Pixel centres within r, measured in glyph units."""
        s = self.scale
        for y in range(self.height):
            for x in range(self.width):
                if ((x + 0.5) / s - 0.5 - cx) ** 2 + ((y + 0.5) / s - 0.5 - cy) ** 2 <= r * r:
                    self.dot(x, y, colour)

    def ring(self, cx, cy, r, colour):
        """Every pixel whose centre lies within half a glyph pixel of the circle: no gaps."""
        s = self.scale
        for y in range(self.height):
            for x in range(self.width):
                if abs(math.hypot((x + 0.5) / s - 0.5 - cx, (y + 0.5) / s - 0.5 - cy) - r) <= 0.5:
                    self.dot(x, y, colour)

    def bmp(self):
        """A bottom-up 24-bit bitmap file (rows padded to 4 bytes)."""
        row_size = (self.width * 3 + 3) // 4 * 4
        body = bytearray()
        for row in reversed(self.pixels):
            data = bytearray()
            for r, g, b in row:
                data += bytes((b, g, r))
            body += data + bytes(row_size - len(data))
        header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
        return header + info + bytes(body)

    def bmp32(self):
        """A bottom-up 32-bit bitmap file with alpha: the background (None) is
        transparent, every drawn pixel opaque."""
        body = bytearray()
        for row in reversed(self.pixels):
            for pixel in row:
                body += bytes((0, 0, 0, 0)) if pixel is None else bytes((pixel[2], pixel[1], pixel[0], 255))
        header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 32, 0, len(body), 2835, 2835, 0, 0)
        return header + info + bytes(body)

    def ppm(self):
        data = bytearray(b"P6\n%d %d\n255\n" % (self.width, self.height))
        for row in self.pixels:
            for pixel in row:
                data += bytes(pixel)
        return bytes(data)


def envelope(background=BLACK, scale=1):
    c = Canvas(16, 16, background, scale)
    c.rect(1, 4, 14, 12, WHITE)
    c.frame(1, 4, 14, 12, OUTLINE)
    for i in range(7):                       # red flap
        c.line(1 + i, 4 + i, 14 - i, 4 + i, RED)
    c.line(1, 4, 7, 10, OUTLINE)
    c.line(14, 4, 8, 10, OUTLINE)
    return c


def sheet_with_pencil(background=BLACK, scale=1):
    c = Canvas(16, 16, background, scale)
    c.rect(2, 1, 11, 14, WHITE)
    c.frame(2, 1, 11, 14, OUTLINE)
    for y in (4, 6, 8, 10):
        c.line(4, y, 9, y, GREY)
    for d in range(3):                        # orange pencil, tip at the lower left
        c.line(7 + d, 13, 14, 5 + d, ORANGE)
    c.line(6, 14, 7, 13, OUTLINE)
    c.put(14, 4, RED)
    return c


def document_with_magnifier(background=BLACK, scale=1):
    c = Canvas(16, 16, background, scale)
    c.rect(1, 1, 10, 14, WHITE)
    c.frame(1, 1, 10, 14, OUTLINE)
    for y in (4, 6, 8):
        c.line(3, y, 8, y, GREY)
    c.disc(9, 8, 3.5, (190, 220, 250))       # the glass meets its rim
    c.ring(9, 8, 4, BLUE)
    for d in range(2):
        c.line(12 + d, 11, 15, 14 - d, OUTLINE)
    return c


def globe_with_arrow(background=BLACK, scale=1):
    c = Canvas(16, 16, background, scale)
    c.disc(7, 8, 6, BLUE)
    c.rect(4, 5, 7, 7, GREEN)
    c.rect(8, 9, 10, 11, GREEN)
    c.ring(7, 8, 6, OUTLINE)
    for d in range(2):                        # red arrow to the upper right: a thick shaft
        c.line(7 + d, 10, 13, 4 + d, RED)
    for i in range(5):                        # and a solid head in the corner
        c.line(9 + i, 1 + i, 14, 1 + i, RED)
    return c


def deleted_items():
    c = Canvas(16, 16, BLACK)
    c.rect(3, 3, 12, 4, GREY)
    c.rect(6, 1, 9, 2, GREY)
    c.rect(4, 5, 11, 14, (200, 200, 210))
    c.frame(4, 5, 11, 14, OUTLINE)
    for x in (6, 8, 10):
        c.line(x, 7, x, 12, GREY)
    return c


GLYPH_FONT = {  # 5x7 letters for the logo
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
}


def logo():
    c = Canvas(150, 52, WHITE)
    for i in range(18):                       # a funnel that filters mail
        c.line(6 + i // 2, 8 + i, 40 - i // 2, 8 + i, NAVY if i < 14 else RED)
    c.rect(21, 26, 25, 44, NAVY)
    c.rect(16, 44, 30, 46, RED)
    x = 52
    for letter in "QAV":
        for row, bits in enumerate(GLYPH_FONT[letter]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    c.rect(x + col * 4, 9 + row * 4, x + col * 4 + 3, 9 + row * 4 + 3, NAVY)
        x += 30
    c.rect(52, 42, 140, 44, RED)
    return c


def png(width, height, rows):
    """A truecolour PNG of rows of (r, g, b) pixels."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def toolbar_preview(canvases, scale=8, gap=4):
    """The glyphs side by side on the button-face colour, black shown as transparent, enlarged."""
    face = (240, 240, 240)
    width = len(canvases) * (16 + gap) + gap
    rows = []
    for y in range(-gap, 16 + gap):
        row = [face] * gap
        for canvas in canvases:
            for x in range(16):
                pixel = canvas.pixels[y][x] if 0 <= y < 16 else BLACK
                row.append(face if pixel == BLACK else pixel)
            row += [face] * gap
        rows.append([p for p in row for _ in range(scale)])
    rows = [row for row in rows for _ in range(scale)]
    return png(width * scale, len(rows), rows)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else here
    docs = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, os.pardir, "docs")
    subjects = [envelope, sheet_with_pencil, document_with_magnifier, globe_with_arrow]
    toolbar = [draw() for draw in subjects]
    glyphs = dict(zip(["spam.bmp", "settings.bmp", "analyzer.bmp", "login.bmp"], toolbar))
    for name, draw in zip(["spam32.bmp", "settings32.bmp", "analyzer32.bmp", "login32.bmp"], subjects):
        data = draw(background=None, scale=2).bmp32()
        assert len(data) == 54 + 32 * 32 * 4, name
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    glyphs["deleted_items.bmp"] = deleted_items()
    for name, canvas in glyphs.items():
        data = canvas.bmp()
        assert len(data) == 822, name
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    ppm = os.path.join(out, "logo.ppm")
    with open(ppm, "wb") as f:
        f.write(logo().ppm())
    with open(os.path.join(out, "logo.jpg"), "wb") as f:
        subprocess.run(["cjpeg", "-quality", "92", "-optimize", ppm], stdout=f, check=True)
    os.remove(ppm)
    with open(os.path.join(docs, "toolbar-buttons.png"), "wb") as f:
        f.write(toolbar_preview(toolbar))


if __name__ == "__main__":
    main()
