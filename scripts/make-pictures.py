#!/usr/bin/env python3
"""Draws the catalogue picture (bitmap resource 4000) of every module server.

Writes modules/<deliverable>/picture.bmp for all seventeen deliverables: 32 x 32 pixels,
24-bit uncompressed Windows BMP (BITMAPINFOHEADER, bottom-up rows). The build embeds the
committed files; run this script again only after changing a picture:

    python3 scripts/make-pictures.py            # writes into the repository
    python3 scripts/make-pictures.py OUTDIR     # writes OUTDIR/<deliverable>/picture.bmp

Standard library only.
"""

import math
import os
import random
import struct
import sys

SIZE = 32

# Shared palette (red, green, blue).
WHITE = (255, 255, 255)
PAPER = (250, 250, 244)
BLACK = (0, 0, 0)
DARK = (70, 70, 70)
GREY = (150, 150, 150)
LIGHT = (210, 210, 210)
BLUE = (20, 70, 210)
SKY = (150, 200, 250)
RED = (215, 35, 35)
GREEN = (20, 150, 60)
LEAF = (110, 200, 90)
YELLOW = (245, 200, 20)
ORANGE = (245, 135, 20)
PURPLE = (135, 50, 170)
NAVY = (25, 35, 110)
BROWN = (120, 75, 35)
TEAL = (0, 150, 160)


class Canvas:
    """A 32 x 32 picture; (0, 0) is the top-left pixel, y grows downwards."""

    def __init__(self, background=WHITE):
        self.px = [[background] * SIZE for _ in range(SIZE)]

    def dot(self, x, y, colour):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = colour

    def line(self, x0, y0, x1, y1, colour):
        x0, y0, x1, y1 = (int(round(v)) for v in (x0, y0, x1, y1))
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.dot(x0, y0, colour)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def polyline(self, points, colour):
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            self.line(x0, y0, x1, y1, colour)

    def rect(self, x0, y0, x1, y1, colour):
        """Outline of the rectangle with corners (x0, y0) and (x1, y1), both included."""
        self.polyline([(x0, y0), (x1, y0), (x1, y1), (x0, y1), (x0, y0)], colour)

    def fill(self, x0, y0, x1, y1, colour):
        """Filled rectangle, corners included."""
        for y in range(min(y0, y1), max(y0, y1) + 1):
            for x in range(min(x0, x1), max(x0, x1) + 1):
                self.dot(x, y, colour)

    def polygon(self, points, colour):
        """Filled polygon (even-odd rule, sampled at pixel centres)."""
        for y in range(SIZE):
            yc = y + 0.5
            xs = []
            for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
                if (y0 <= yc < y1) or (y1 <= yc < y0):
                    xs.append(x0 + (yc - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(SIZE):
                    if a <= x + 0.5 < b:
                        self.dot(x, y, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.dot(x, y, colour)

    def ring(self, cx, cy, r, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                d = math.hypot(x - cx, y - cy)
                if r - 0.5 <= d < r + 0.5:
                    self.dot(x, y, colour)

    def curve(self, x0, x1, f, colour):
        """Plots y = f(x) for the integer columns x0..x1, joining neighbouring points."""
        self.polyline([(x, f(x)) for x in range(x0, x1 + 1)], colour)

    def text(self, x, y, word, colour):
        """Writes capital letters in the 3 x 5 font below, one blank column between letters."""
        for ch in word:
            rows = FONT[ch]
            for j, row in enumerate(rows):
                for i, bit in enumerate(row):
                    if bit == "#":
                        self.dot(x + i, y + j, colour)
            x += len(rows[0]) + 1

    def bmp(self):
        """The picture as a 24-bit bottom-up BMP file with a BITMAPINFOHEADER."""
        row_bytes = SIZE * 3  # 96: already a multiple of 4, so rows carry no padding
        image = bytearray()
        for y in range(SIZE - 1, -1, -1):  # bottom row first
            for r, g, b in self.px[y]:
                image += bytes((b, g, r))
        assert len(image) == row_bytes * SIZE
        info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(image), 2835, 2835, 0, 0)
        header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
        return header + info + bytes(image)


FONT = {
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    "B": ["##.", "#.#", "##.", "#.#", "##."],
    "M": ["#...#", "##.##", "#.#.#", "#...#", "#...#"],
    "P": ["##.", "#.#", "##.", "#..", "#.."],
    "V": ["#.#", "#.#", "#.#", "#.#", ".#."],
    "W": ["#...#", "#...#", "#.#.#", "##.##", "#...#"],
}


def arrow_right(c, x0, x1, y, colour):
    c.line(x0, y, x1, y, colour)
    c.line(x1 - 2, y - 2, x1, y, colour)
    c.line(x1 - 2, y + 2, x1, y, colour)


def sine(cx, amp, period, y0, phase=0.0):
    return lambda x: y0 - amp * math.sin(2 * math.pi * (x - cx) / period + phase)


def bars(c, x0, heights, base, colour, width=2, gap=1):
    x = x0
    for h in heights:
        if h > 0:
            c.fill(x, base - h + 1, x + width - 1, base, colour)
        x += width + gap


def window_frame(c, title_colour):
    """A small application window: border, title bar with a close box, white client area."""
    c.fill(1, 2, 30, 29, WHITE)
    c.fill(1, 2, 30, 6, title_colour)
    c.fill(26, 3, 28, 5, RED)
    c.fill(22, 3, 24, 5, LIGHT)
    c.rect(1, 2, 30, 29, DARK)


def document(c):
    """A page with a folded top-right corner covering most of the picture."""
    page = [(5, 1), (21, 1), (27, 7), (27, 30), (5, 30)]
    c.polygon(page, WHITE)
    c.polyline(page + [page[0]], DARK)
    c.polygon([(21, 1), (21, 7), (27, 7)], LIGHT)
    c.polyline([(21, 1), (21, 7), (27, 7)], DARK)


# One drawing per deliverable ------------------------------------------------------------------

def fwdtransform(c):
    """FFT: a waveform turning into spectrum bars."""
    c.curve(0, 12, lambda x: 16 - 7 * math.sin(2 * math.pi * x / 8.0) * (0.65 + 0.35 * math.cos(x / 1.3)), BLUE)
    arrow_right(c, 13, 18, 16, BLACK)
    c.line(20, 27, 31, 27, DARK)
    bars(c, 20, [4, 14, 7, 3], 26, RED)


def invtransform(c):
    """Inverse FFT: spectrum bars turning back into a waveform."""
    c.line(0, 27, 11, 27, DARK)
    bars(c, 1, [4, 14, 7, 3], 26, RED)
    arrow_right(c, 12, 17, 16, BLACK)
    c.curve(19, 31, lambda x: 16 - 7 * math.sin(2 * math.pi * (x - 19) / 8.0) * (0.65 + 0.35 * math.cos((x - 19) / 1.3)), BLUE)


def modulus(c):
    """Magnitude: spectrum bars under a logarithmic curve."""
    c.line(1, 29, 30, 29, DARK)
    c.line(1, 2, 1, 29, DARK)
    bars(c, 3, [3, 12, 22, 9, 16, 5, 19, 7, 4], 28, GREEN)
    c.curve(2, 30, lambda x: 28 - 7.5 * math.log(1 + 1.6 * (x - 2)), RED)


def bandgate(c):
    """Filter: a band-pass gain shape over a frequency axis."""
    c.line(1, 28, 30, 28, DARK)
    c.line(1, 3, 1, 28, DARK)
    shape = [(2, 27), (8, 27), (12, 7), (20, 7), (24, 27), (30, 27)]
    c.polygon([(8, 28), (12, 7), (20, 7), (24, 28)], SKY)
    c.polyline(shape, BLUE)
    for y in range(4, 28, 2):  # cut-off markers
        c.dot(10, y, GREY)
        c.dot(22, y, GREY)


def kernelapply(c):
    """Convolution: a signal and a kernel joined by a star, and their smooth result below."""
    c.curve(0, 11, sine(0, 4, 6, 8), BLUE)
    c.polyline([(20, 13), (21, 3), (23, 6), (25, 9), (27, 11), (31, 13)], RED)
    # the star
    c.line(16, 5, 16, 11, BLACK)
    c.line(13, 8, 19, 8, BLACK)
    c.line(14, 6, 18, 10, BLACK)
    c.line(18, 6, 14, 10, BLACK)
    c.line(1, 18, 30, 18, LIGHT)
    c.curve(1, 30, lambda x: 29 - 9 * math.exp(-((x - 14) / 6.5) ** 2) * (1 + 0.25 * math.sin(x / 1.5)), GREEN)


def reblocker(c):
    """Stream: a row of short blocks re-cut into longer blocks."""
    for x in (1, 11, 21):
        c.fill(x, 3, x + 8, 10, BLUE)
    for x in (1, 16):
        c.fill(x, 21, x + 13, 28, ORANGE)
    for x in (8, 16, 24):
        c.line(x, 12, x, 18, GREY)
        c.line(x - 1, 17, x, 18, GREY)
        c.line(x + 1, 17, x, 18, GREY)


def blockblend(c):
    """Overlap: successive blocks that share part of their samples."""
    blocks = [(1, 3, BLUE), (9, 11, GREEN), (17, 19, ORANGE)]
    for x, y, colour in blocks:
        c.fill(x, y, x + 13, y + 9, colour)
    # the shared stretches, darker where two blocks meet
    c.fill(9, 11, 14, 12, NAVY)
    c.fill(17, 19, 22, 20, BROWN)
    for x, y, colour in blocks:
        c.rect(x, y, x + 13, y + 9, BLACK)
    c.line(1, 30, 30, 30, DARK)


def summer(c):
    """Multiplier: two curves joined by a multiplication sign into one."""
    c.curve(0, 9, sine(0, 3, 5, 6), BLUE)
    c.curve(0, 9, sine(0, 3, 9, 25), RED)
    c.line(9, 7, 12, 13, DARK)
    c.line(9, 24, 12, 18, DARK)
    c.disc(16, 16, 5, YELLOW)
    c.ring(16, 16, 5, BLACK)
    c.line(14, 14, 18, 18, BLACK)
    c.line(18, 14, 14, 18, BLACK)
    c.line(22, 16, 23, 16, DARK)
    c.curve(23, 31, lambda x: 16 - 5 * math.sin(2 * math.pi * x / 5) * math.sin(2 * math.pi * x / 18), PURPLE)


def tonegen(c):
    """SignalW: sine, square, impulse and white noise in four panes."""
    c.line(15, 0, 15, 31, LIGHT)
    c.line(16, 0, 16, 31, LIGHT)
    c.line(0, 15, 31, 15, LIGHT)
    c.line(0, 16, 31, 16, LIGHT)
    c.curve(1, 14, sine(1, 5, 8.5, 7), BLUE)
    c.polyline([(17, 12), (20, 12), (20, 3), (24, 3), (24, 12), (28, 12), (28, 3), (30, 3)], RED)
    c.line(18, 28, 30, 28, GREEN)
    c.line(24, 28, 24, 19, GREEN)
    c.fill(23, 19, 25, 19, GREEN)
    rnd = random.Random(7)
    c.polyline([(x, 24 + rnd.randint(-5, 5)) for x in range(1, 15)], PURPLE)


def rampgen(c):
    """Sweep: a chirp whose frequency rises, over a rising ramp."""
    phase = lambda x: 2 * math.pi * (0.03 * x + 0.0035 * x * x)
    c.curve(0, 31, lambda x: 12 - 8 * math.sin(phase(x)), BLUE)
    c.line(1, 30, 29, 22, ORANGE)
    c.line(29, 22, 29, 30, ORANGE)
    c.line(1, 31, 30, 31, DARK)


def gainchart(c):
    """Spectrum: a gain chart, measured points of a resonance on a gridded chart."""
    for x in (8, 15, 22, 29):
        for y in range(2, 28, 2):
            c.dot(x, y, LIGHT)
    for y in (8, 15, 22):
        for x in range(3, 31, 2):
            c.dot(x, y, LIGHT)
    c.line(1, 1, 1, 28, BLACK)
    c.line(1, 28, 30, 28, BLACK)
    gain = lambda x: 26 - 19 / (1 + ((x - 13) / 3.5) ** 2) - 2
    points = [(x, gain(x)) for x in range(3, 31, 3)]
    c.polyline([(x, gain(x)) for x in range(3, 31)], RED)
    for x, y in points:
        c.fill(x - 1, int(round(y)) - 1, x, int(round(y)), NAVY)


def tapfilter(c):
    """FIR: the taps of a filter as a stem plot."""
    c.line(1, 18, 30, 18, DARK)
    for k in range(-6, 7):
        x = 16 + 2 * k
        h = 14 * (math.sin(1.1 * k) / (1.1 * k) if k else 1.0) * (0.54 + 0.46 * math.cos(math.pi * k / 7))
        y = int(round(18 - h))
        c.line(x, 18, x, y, BLUE)
        c.fill(x - 1 if h > 4 else x, y - 1 if h > 0 else y, x, y, RED)


def taperec(c):
    """Recorder: a tape reel paying out its tape, with the red record lamp."""
    c.disc(13, 13, 11, DARK)
    c.disc(13, 13, 8.5, BROWN)
    for a in (-90, 30, 150):
        t = math.radians(a)
        c.disc(13 + 5 * math.cos(t), 13 + 5 * math.sin(t), 2.6, WHITE)
    c.disc(13, 13, 1.2, WHITE)
    c.ring(13, 13, 11, BLACK)
    c.fill(13, 23, 31, 24, BROWN)
    c.disc(27, 28, 2.3, RED)


def soundfile(c):
    """WAV: a sound waveform in a file."""
    document(c)
    c.curve(7, 25, lambda x: 17 - 6 * math.sin(2 * math.pi * (x - 7) / 6.0) * math.exp(-(x - 7) / 14.0), BLUE)
    c.text(7, 23, "WAV", RED)


def bitmapio(c):
    """BMP: a picture in a file."""
    document(c)
    c.fill(7, 9, 24, 20, SKY)
    c.disc(20, 12, 2, YELLOW)
    c.polygon([(7, 21), (7, 17), (12, 12), (17, 17), (20, 15), (25, 20), (25, 21)], GREEN)
    c.rect(7, 9, 24, 20, DARK)
    c.text(8, 23, "BMP", NAVY)


def plotview(c):
    """GraphWindow: a plotted curve in a window."""
    window_frame(c, NAVY)
    for x in range(5, 29, 6):
        for y in range(8, 28, 2):
            c.dot(x, y, LIGHT)
    for x in range(3, 29, 2):
        c.dot(x, 18, GREY)
    c.curve(3, 28, lambda x: 18 - 7 * math.sin(2 * math.pi * (x - 3) / 13.0) * math.exp(-(x - 3) / 30.0), BLACK)


def picview(c):
    """Image: a picture in a window."""
    window_frame(c, TEAL)
    c.fill(3, 8, 28, 27, SKY)
    c.disc(23, 12, 2.5, YELLOW)
    c.polygon([(3, 28), (3, 21), (10, 13), (16, 20), (20, 17), (29, 26), (29, 28)], GREEN)
    c.polygon([(8, 15), (10, 13), (12, 15)], WHITE)
    c.fill(3, 25, 28, 27, LEAF)


PICTURES = [
    ("plotview", plotview), ("taperec", taperec), ("tonegen", tonegen), ("picview", picview),
    ("bitmapio", bitmapio), ("soundfile", soundfile), ("reblocker", reblocker),
    ("tapfilter", tapfilter), ("summer", summer), ("bandgate", bandgate),
    ("blockblend", blockblend), ("fwdtransform", fwdtransform), ("invtransform", invtransform),
    ("kernelapply", kernelapply), ("gainchart", gainchart), ("rampgen", rampgen),
    ("modulus", modulus),
]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "modules")
    for name, draw in PICTURES:
        canvas = Canvas(WHITE)
        draw(canvas)
        folder = os.path.join(out, name)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "picture.bmp"), "wb") as f:
            f.write(canvas.bmp())
    print("wrote %d pictures under %s" % (len(PICTURES), out))


if __name__ == "__main__":
    main()
