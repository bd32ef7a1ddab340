#!/usr/bin/env python3
"""Draws the program's pictures: the four status bitmaps (117 x 36 pixels,
24-bit BMP) and the program icon (32 x 32 and 16 x 16, 32-bit ICO).

usage: make_images.py OUTDIR

Only the standard library is used, and the output is the same byte for byte
on every run. The colours below are also what the Wine end-to-end tests look
for in their screenshots (tests/wine/e2e.sh): keep both in step.
"""

import os
import struct
import sys

WIDTH, HEIGHT = 117, 36

# name: (file, background, text colour, text)
STATUS = {
    "pass": ("pass.bmp", (0x1E, 0x9E, 0x3C), (0xFF, 0xFF, 0xFF), "PASS"),
    "fail": ("fail.bmp", (0xC8, 0x1E, 0x1E), (0xFF, 0xFF, 0xFF), "FAIL"),
    "pause": ("pause.bmp", (0x1E, 0x50, 0xC8), (0xFF, 0xFF, 0xFF), "PAUSE"),
    "logo": ("logo.bmp", (0x14, 0x28, 0x5A), (0xF0, 0xA0, 0x28), "QARV"),
}

# A 5 x 7 pixel font, just the letters the pictures use.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
}


class Canvas:
    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def fill(self, x0, y0, w, h, colour):
        for y in range(max(0, y0), min(self.height, y0 + h)):
            for x in range(max(0, x0), min(self.width, x0 + w)):
                self.pixels[y][x] = colour

    def text(self, text, scale, colour):
        """Draws the text centred, each font pixel a scale x scale square."""
        gap = scale
        width = len(text) * 5 * scale + (len(text) - 1) * gap
        x = (self.width - width) // 2
        y = (self.height - 7 * scale) // 2
        for ch in text:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        self.fill(x + col * scale, y + row * scale, scale, scale, colour)
            x += 5 * scale + gap


def bmp24(canvas):
    """A bottom-up 24-bit BMP with rows padded to four bytes."""
    row_size = (canvas.width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(row_size - len(line))
        body += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(body), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(body),
                       2835, 2835, 0, 0)
    return header + info + bytes(body)


def status_picture(background, foreground, text):
    canvas = Canvas(WIDTH, HEIGHT, background)
    # A one-pixel frame in the text colour keeps the picture apart from the dialog.
    canvas.fill(0, 0, WIDTH, 1, foreground)
    canvas.fill(0, HEIGHT - 1, WIDTH, 1, foreground)
    canvas.fill(0, 0, 1, HEIGHT, foreground)
    canvas.fill(WIDTH - 1, 0, 1, HEIGHT, foreground)
    canvas.text(text, 4 if len(text) <= 4 else 3, foreground)
    return bmp24(canvas)


def icon_image(size):
    """One icon image: 32-bit colour with alpha, plus the 1-bit AND mask."""
    navy, orange, white = (0x14, 0x28, 0x5A), (0xF0, 0xA0, 0x28), (0xFF, 0xFF, 0xFF)
    canvas = Canvas(size, size, navy)
    # A memory chip: an orange body with white pins on both sides.
    m = size // 8
    canvas.fill(2 * m, m, size - 4 * m, size - 2 * m, orange)
    pin = max(1, size // 16)
    for y in range(2 * m, size - 2 * m, 2 * pin + pin):
        canvas.fill(m, y, m, pin * 2, white)
        canvas.fill(size - 2 * m, y, m, pin * 2, white)
    xor = bytearray()
    for row in reversed(canvas.pixels):
        for r, g, b in row:
            xor += bytes((b, g, r, 0xFF))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # all opaque
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                       0, 0, 0, 0)
    return info + bytes(xor) + mask


def ico(sizes):
    images = [icon_image(s) for s in sizes]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return header + entries + b"".join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for name, (file_name, background, foreground, text) in STATUS.items():
        with open(os.path.join(out, file_name), "wb") as fh:
            fh.write(status_picture(background, foreground, text))
    with open(os.path.join(out, "ramtune.ico"), "wb") as fh:
        fh.write(ico([32, 16]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
