#!/usr/bin/env python3
"""Writes the default news pictures of the Connect page into a content folder:
img1.bmp (260 x 160) and img2.bmp (468 x 60), 24-bit bottom-up Windows
bitmaps with a plain BITMAPINFOHEADER, which is what the plug-in decodes."""
import struct
import sys

FONT = {  # 5 x 7 capitals, one string of five bits per row
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    " ": ["00000"] * 7,
}


def picture(width, height, text, scale, top_colour, bottom_colour):
    rows = []
    for y in range(height):
        t = y / max(1, height - 1)
        colour = tuple(int(a + (b - a) * t) for a, b in zip(top_colour, bottom_colour))
        rows.append([colour] * width)
    text_width = len(text) * 6 * scale - scale
    x0 = (width - text_width) // 2
    y0 = (height - 7 * scale) // 2
    for index, letter in enumerate(text):
        glyph = FONT[letter]
        for gy, bits in enumerate(glyph):
            for gx, bit in enumerate(bits):
                if bit != "1":
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        x = x0 + (index * 6 + gx) * scale + dx
                        y = y0 + gy * scale + dy
                        if 0 <= x < width and 0 <= y < height:
                            rows[y][x] = (255, 255, 255)
    return rows


def bmp_bytes(rows):
    height = len(rows)
    width = len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(header)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + header + pixels


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    with open(folder + "/img1.bmp", "wb") as f:
        f.write(bmp_bytes(picture(260, 160, "TARVONET", 5, (20, 40, 90), (60, 120, 200))))
    with open(folder + "/img2.bmp", "wb") as f:
        f.write(bmp_bytes(picture(468, 60, "TARVOLINK", 5, (90, 30, 20), (200, 110, 40))))


if __name__ == "__main__":
    main()
