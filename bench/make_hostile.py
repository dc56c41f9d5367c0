#!/usr/bin/env python3
"""Writes small files that claim far more than they hold, for bench/hostile_memory.sh.

    bench/make_hostile.py DIR

Each file is a few bytes to a few hundred kilobytes yet claims a picture of
about a gigabyte: a GIF screen far larger than its one frame, an animation of
one-pixel frames on a large screen (with and without a first frame that
covers the screen, which makes an animated sprite of 19 GB of C source), a PNG whose text chunks pad a tiny image
data stream, an RLE8 bitmap whose data is padding after the end of the
bitmap, an SBMP of empty runs. Only the standard library is used.
"""
import os
import struct
import sys
import zlib


def gif_screen(width, height, frames):
    """A GIF89a of a width x height screen with a two-colour table and the
    given number of 1 x 1 frames, each drawing index 0 after a graphic control
    block of 10 ms."""
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", width, height, 0x80, 0, 0)
    data += bytes([0, 0, 0, 255, 255, 255])
    for _ in range(frames):
        if frames > 1:
            data += bytes([0x21, 0xF9, 4, 0]) + struct.pack("<H", 1) + bytes([0, 0])
        data += bytes([0x2C]) + struct.pack("<HHHHB", 0, 0, 1, 1, 0)
        # Minimum code size 2: clear (4), index 0, end (5) in 3-bit codes.
        codes = 4 | (0 << 3) | (5 << 6)
        data += bytes([2, 2, codes & 0xFF, codes >> 8, 0])
    data += b";"
    return bytes(data)


def lzw_flat(pixels, min_code_size=2, longest_string=2000):
    """LZW data of `pixels` pixels of index 0: each code one byte longer than
    the last up to longest_string bytes, then that string again (2000 keeps
    within what every decoder takes, however short its string stack)."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    width, limit, next_code = min_code_size + 1, 2 * clear, clear + 2
    bits, count, out = 0, 0, bytearray()

    def put(code):
        nonlocal bits, count
        bits |= code << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8

    put(clear)
    put(0)
    remaining = pixels - 1
    longest = 1
    while remaining > 0:
        if longest < longest_string and next_code < 4096:
            code, length = next_code, longest + 1  # the entry this code makes
            longest += 1
        else:
            code, length = clear + longest, longest  # entry clear + k holds k bytes
        if length > remaining:
            code, length = (0, 1) if remaining == 1 else (clear + remaining, remaining)
        put(code)
        remaining -= length
        if next_code < 4096:
            next_code += 1
            if next_code >= limit and limit < 4096:
                limit *= 2
                width += 1
    put(end)
    if count:
        out.append(bits & 0xFF)
    blocks = bytearray([min_code_size])
    for i in range(0, len(out), 255):
        piece = out[i:i + 255]
        blocks += bytes([len(piece)]) + piece
    return bytes(blocks + b"\0")


def gif_full_then_dots(width, height, dots):
    """A GIF89a whose first frame covers the width x height screen with index
    0, followed by `dots` 1 x 1 frames."""
    data = bytearray(b"GIF89a") + struct.pack("<HHBBB", width, height, 0x81, 0, 0)
    data += bytes([0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255])
    data += bytes([0x2C]) + struct.pack("<HHHHB", 0, 0, width, height, 0) + lzw_flat(width * height)
    for _ in range(dots):
        data += bytes([0x21, 0xF9, 4, 0]) + struct.pack("<H", 1) + bytes([0, 0])
        data += bytes([0x2C]) + struct.pack("<HHHHB", 0, 0, 1, 1, 0) + lzw_flat(1)
    return bytes(data + b";")


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def png_padded(width, height, text_bytes):
    """A 1-bit grey PNG whose IDAT holds 10 bytes of a zlib stream, behind
    text_bytes of tEXt chunks."""
    out = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 1, 0, 0, 0, 0))
    chunk = png_chunk(b"tEXt", b"Comment\0" + b"x" * 4000)
    out += chunk * -(-text_bytes // len(chunk))
    out += png_chunk(b"IDAT", zlib.compress(b"\0" * 4096)[:10])
    return out + png_chunk(b"IEND", b"")


def bmp_rle8_padded(width, height, size):
    """An RLE8 bitmap that ends its bitmap at once (0, 1) and pads the file
    with zero bytes to size."""
    table = bytes(4 * 256)
    offset = 14 + 40 + len(table)
    pixels = bytes([0, 1]) + bytes(size - offset - 2)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(pixels), 0, 0, 256, 0)
    head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return head + info + table + pixels


def sbmp_empty_runs(width, height, size):
    """A true-colour SBMP whose run records all have the count 0."""
    records = (size - 8) // 5
    return b"SB" + struct.pack("<HHH", width, height, 0) + bytes(5 * records)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    target = sys.argv[1]
    os.makedirs(target, exist_ok=True)
    files = {
        "screen.gif": gif_screen(32768, 32767, 1),
        "frames.gif": gif_screen(4000, 4000, 200),
        "animation.gif": gif_full_then_dots(4000, 4000, 199),
        "padded.png": png_padded(16384, 16384, 40000),
        "padded.bmp": bmp_rle8_padded(32768, 32767, 263 * 1024),
        "empty.sbmp": sbmp_empty_runs(16384, 15900, 2500),
    }
    for name, data in files.items():
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
