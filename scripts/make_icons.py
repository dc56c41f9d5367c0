#!/usr/bin/env python3
"""Draws Rastra's icon and the about-box logo.

Run from the repository root: python3 scripts/make_icons.py
The pictures are a display frame holding a grid of coloured pixel blocks,
the kind of picture Rastra turns into data for small displays.

The icon is one drawing in a 32 x 32 unit square, written as the SVG the
desktop installs, as the PNG sizes the icon theme wants and as the window
icon, so the window and the desktop show the same picture.
"""
import struct
import zlib

FRAME = (0x2B, 0x3A, 0x55)
SCREEN = (0x10, 0x14, 0x1C)
BLOCKS = [
    (0xE0, 0x4B, 0x3A), (0xF2, 0x9E, 0x2E), (0xF5, 0xD5, 0x3A),
    (0x5C, 0xB8, 0x5C), (0x3A, 0x9B, 0xD9), (0x8E, 0x5C, 0xD0),
]

ICON_UNITS = 32
ICON_SIZES = (16, 32, 48, 64, 128, 256)
WINDOW_ICON_SIZE = 32
SUBSAMPLES = 4  # per pixel and axis, for the edges of sizes that are no multiple of 32


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


def write_rgb_png(path, rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + b"".join(bytes(c) for c in row) for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
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


def icon_shapes():
    """The icon as rectangles (x, y, width, height, colour) in units, back to front."""
    border, grid = 3, 4
    inner = ICON_UNITS - 2 * border
    cell = inner // grid
    offset = border + (inner - cell * grid) // 2
    shapes = [(0, 0, ICON_UNITS, ICON_UNITS, FRAME), (border, border, inner, inner, SCREEN)]
    for gy in range(grid):
        for gx in range(grid):
            colour = BLOCKS[(gx + gy) % len(BLOCKS)]
            shapes.append((offset + gx * cell, offset + gy * cell, cell - 1, cell - 1, colour))
    return shapes


def colour_at(shapes, ux, uy):
    found = shapes[0][4]
    for x, y, w, h, colour in shapes:
        if x <= ux < x + w and y <= uy < y + h:
            found = colour
    return found


def render_icon(size):
    """Each pixel is the average of SUBSAMPLES^2 points of the drawing."""
    shapes = icon_shapes()
    scale = ICON_UNITS / size
    samples = SUBSAMPLES * SUBSAMPLES
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    colour = colour_at(shapes, (px + (sx + 0.5) / SUBSAMPLES) * scale,
                                       (py + (sy + 0.5) / SUBSAMPLES) * scale)
                    for i in range(3):
                        total[i] += colour[i]
            row.append(tuple((t + samples // 2) // samples for t in total))
        rows.append(row)
    return rows


def write_icon_svg(path):
    def hex_colour(c):
        return "#%02x%02x%02x" % c
    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 %d %d">'
             % (ICON_UNITS, ICON_UNITS)]
    for x, y, w, h, colour in icon_shapes():
        lines.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>' % (x, y, w, h, hex_colour(colour)))
    lines.append("</svg>")
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    for size in ICON_SIZES:
        write_rgb_png("packaging/icons/rastra-%d.png" % size, render_icon(size))
    write_rgb_png("gui/icons/rastra_icon.png", render_icon(WINDOW_ICON_SIZE))
    write_icon_svg("packaging/rastra.svg")
    write_png("gui/icons/rastra_logo.png", *draw(64, 5, 6))
