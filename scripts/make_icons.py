#!/usr/bin/env python3
"""Draws the window icon and the about-box logo as small palette PNG files.

Run from the repository root: python3 scripts/make_icons.py
The pictures are a display frame holding a grid of coloured pixel blocks,
the kind of picture Rastra turns into data for small displays.
"""
import struct
import zlib

FRAME = (0x2B, 0x3A, 0x55)
SCREEN = (0x10, 0x14, 0x1C)
BLOCKS = [
    (0xE0, 0x4B, 0x3A), (0xF2, 0x9E, 0x2E), (0xF5, 0xD5, 0x3A),
    (0x5C, 0xB8, 0x5C), (0x3A, 0x9B, 0xD9), (0x8E, 0x5C, 0xD0),
]


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, pixels, palette):
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\x00" + bytes(row) for row in pixels)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def draw(size, border, grid):
    palette = [FRAME, SCREEN] + BLOCKS
    inner = size - 2 * border
    cell = inner // grid
    offset = border + (inner - cell * grid) // 2
    pixels = [[0] * size for _ in range(size)]
    for y in range(border, size - border):
        for x in range(border, size - border):
            pixels[y][x] = 1
    for gy in range(grid):
        for gx in range(grid):
            colour = 2 + (gx + gy) % len(BLOCKS)
            for y in range(cell - 1):
                for x in range(cell - 1):
                    pixels[offset + gy * cell + y][offset + gx * cell + x] = colour
    return pixels, palette


if __name__ == "__main__":
    write_png("gui/icons/rastra_icon.png", *draw(32, 3, 4))
    write_png("gui/icons/rastra_logo.png", *draw(64, 5, 6))
