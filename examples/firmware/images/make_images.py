#!/usr/bin/env python3
"""Writes the example images with the standard library only.

The pictures are made of colours the target formats hold exactly, so the
example's checker can compare decoded pixels with the colours below:
  flag.gif    48x32, 8 bit palette: four quadrants red, lime, blue, white
  ramp.bmp    48x32, 24 bit: channel ramps of 5/6/5 bit levels
  badge.png   32x32, RGBA: an opaque orange disc with a half-transparent
              blue ring on a fully transparent background
  spin.gif    16x16, 4 frames on the flag's palette: the colours move one
              quadrant anticlockwise per frame; frame k shows for (k + 1) / 10 s
Run it from any directory; it writes next to itself.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def expand(level, bits):
    top = (1 << bits) - 1
    return (level * 255 + top // 2) // top


# ------------------------------------------------------------------ flag.gif
FLAG_W, FLAG_H = 48, 32
FLAG_COLOURS = [(0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0x00, 0x00, 0xFF), (0xFF, 0xFF, 0xFF)]


def flag_index(x, y):
    return (1 if x >= FLAG_W // 2 else 0) + (2 if y >= FLAG_H // 2 else 0)


def lzw_codes(indices, min_code_size):
    # A clear code before the table would grow keeps every code at the
    # initial width: larger than real compression, but simple and valid.
    clear = 1 << min_code_size
    end = clear + 1
    width = min_code_size + 1
    room = (1 << width) - end - 2
    out, bits, nbits, run = bytearray(), 0, 0, 0

    def put(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    put(clear)
    for value in indices:
        if run == room:
            put(clear)
            run = 0
        put(value)
        run += 1
    put(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def write_gif(path):
    palette = b"".join(bytes(c) for c in FLAG_COLOURS)
    header = b"GIF89a" + struct.pack("<HHBBB", FLAG_W, FLAG_H, 0x81, 0, 0) + palette
    image = b"," + struct.pack("<HHHHB", 0, 0, FLAG_W, FLAG_H, 0)
    data = lzw_codes([flag_index(x, y) for y in range(FLAG_H) for x in range(FLAG_W)], 2)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255))
    with open(path, "wb") as f:
        f.write(header + image + bytes([2]) + blocks + b"\x00;")


# ------------------------------------------------------------------ spin.gif
SPIN_SIZE, SPIN_FRAMES = 16, 4
SPIN_ORDER = [0, 1, 3, 2]  # the quadrants clockwise from the top left


def spin_index(frame, x, y):
    quadrant = (1 if x >= SPIN_SIZE // 2 else 0) + (2 if y >= SPIN_SIZE // 2 else 0)
    return SPIN_ORDER[(SPIN_ORDER.index(quadrant) + frame) % 4]


def sub_blocks(data):
    return b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255)) + b"\x00"


def write_spin_gif(path):
    palette = b"".join(bytes(c) for c in FLAG_COLOURS)
    out = b"GIF89a" + struct.pack("<HHBBB", SPIN_SIZE, SPIN_SIZE, 0x81, 0, 0) + palette
    out += b"!\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop forever
    for frame in range(SPIN_FRAMES):
        out += b"!\xf9\x04\x00" + struct.pack("<H", 10 * (frame + 1)) + b"\x00\x00"
        out += b"," + struct.pack("<HHHHB", 0, 0, SPIN_SIZE, SPIN_SIZE, 0)
        indices = [spin_index(frame, x, y) for y in range(SPIN_SIZE) for x in range(SPIN_SIZE)]
        out += bytes([2]) + sub_blocks(lzw_codes(indices, 2))
    with open(path, "wb") as f:
        f.write(out + b";")


# ------------------------------------------------------------------ ramp.bmp
RAMP_W, RAMP_H = 48, 32


def ramp_colour(x, y):
    return expand(x % 32, 5), expand((x + 2 * y) % 64, 6), expand(y % 32, 5)


def write_bmp(path):
    stride = (RAMP_W * 3 + 3) & ~3
    rows = bytearray()
    for y in reversed(range(RAMP_H)):  # bottom-up
        row = bytearray()
        for x in range(RAMP_W):
            r, g, b = ramp_colour(x, y)
            row += bytes((b, g, r))
        rows += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, RAMP_W, RAMP_H, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(head + info + rows)


# ----------------------------------------------------------------- badge.png
BADGE_SIZE = 32


def badge_rgba(x, y):
    dx, dy = x - 15.5, y - 15.5
    d2 = dx * dx + dy * dy
    if d2 <= 10 * 10:
        return 0xFF, 0x80, 0x00, 0xFF
    if d2 <= 14 * 14:
        return 0x00, 0x00, 0xFF, 0x80
    return 0x00, 0x00, 0x00, 0x00


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def write_png(path):
    raw = b"".join(b"\x00" + b"".join(bytes(badge_rgba(x, y)) for x in range(BADGE_SIZE))
                   for y in range(BADGE_SIZE))
    ihdr = struct.pack(">IIBBBBB", BADGE_SIZE, BADGE_SIZE, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", zlib.compress(raw, 9))
                + png_chunk(b"IEND", b""))


if __name__ == "__main__":
    write_gif(os.path.join(HERE, "flag.gif"))
    write_bmp(os.path.join(HERE, "ramp.bmp"))
    write_png(os.path.join(HERE, "badge.png"))
    write_spin_gif(os.path.join(HERE, "spin.gif"))
