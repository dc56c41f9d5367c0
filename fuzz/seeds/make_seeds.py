#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz harnesses into fuzz/seeds/<harness>/.

Every seed is a tiny, well-formed (or deliberately almost well-formed) input
built here byte by byte, so that each harness starts inside its parser instead
of at the first signature check. Run it again after changing it; the files
are committed.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def put(harness, name, data):
    folder = os.path.join(HERE, harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- BMP

def bmp(width, height, bits, rows, palette=(), compression=0, masks=b"", size_image=None):
    """rows: the stored pixel bytes (bottom row first, padded)."""
    table = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression,
                       len(rows) if size_image is None else size_image, 2835, 2835, len(palette), 0)
    offset = 14 + len(info) + len(masks) + len(table)
    head = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return head + info + masks + table + rows


def core_bmp(width, height, bits, rows, palette):
    table = b"".join(bytes((b, g, r)) for (r, g, b) in palette)
    info = struct.pack("<IHHHH", 12, width, height, 1, bits)
    offset = 14 + len(info) + len(table)
    return struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset) + info + table + rows


def bmp_seeds():
    two = [(0, 0, 0), (255, 255, 255)]
    sixteen = [(i * 17, 255 - i * 17, (i * 40) & 255) for i in range(16)]
    grey = [(i, i, i) for i in range(256)]
    seeds = {
        "1bpp_3x2.bmp": bmp(3, 2, 1, bytes([0xA0, 0, 0, 0, 0x40, 0, 0, 0]), two),
        "4bpp_3x2.bmp": bmp(3, 2, 4, bytes([0x01, 0x20, 0, 0, 0xFE, 0xD0, 0, 0]), sixteen),
        "8bpp_2x2_topdown.bmp": bmp(2, -2, 8, bytes([1, 2, 0, 0, 3, 4, 0, 0]), grey),
        "rle8_4x2.bmp": bmp(4, 2, 8, bytes([2, 5, 0, 2, 1, 0, 0, 0, 0, 3, 7, 8, 9, 0, 0, 1]), grey, 1),
        "rle4_4x2.bmp": bmp(4, 2, 4, bytes([4, 0x12, 0, 0, 0, 4, 0x34, 0x56, 0, 1]), sixteen, 2),
        "16bpp_2x1.bmp": bmp(2, 1, 16, bytes([0x1F, 0x7C, 0xE0, 0x03])),
        "16bpp_bitfields_2x1.bmp": bmp(2, 1, 16, bytes([0x1F, 0xF8, 0xE0, 0x07]), compression=3,
                                       masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F)),
        "24bpp_2x2.bmp": bmp(2, 2, 24, bytes([0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0])),
        "32bpp_alpha_2x1.bmp": bmp(2, 1, 32, bytes([10, 20, 30, 128, 40, 50, 60, 255])),
        "32bpp_bitfields_1x1.bmp": bmp(1, 1, 32, bytes([1, 2, 3, 4]), compression=3,
                                       masks=struct.pack("<III", 0xFF0000, 0xFF00, 0xFF)),
        "core_8bpp_2x1.bmp": core_bmp(2, 1, 8, bytes([0, 1, 0, 0]), two),
        "truncated_24bpp_2x4.bmp": bmp(2, 4, 24, bytes([1, 2, 3, 4, 5, 6, 0, 0]), size_image=32),
    }
    return seeds


# ---------------------------------------------------------------- SBMP

def sbmp(width, height, palette, records):
    head = b"SB" + struct.pack("<HHH", width, height, len(palette))
    table = b"".join(bytes(c) for c in palette)
    return head + table + b"".join(records)


def sbmp_seeds():
    return {
        "palette_3x2.sbmp": sbmp(3, 2, [(0, 0, 0), (255, 0, 0)],
                                 [struct.pack("<HB", 4, 1), struct.pack("<HB", 2, 0)]),
        "truecolor_2x2.sbmp": sbmp(2, 2, [], [struct.pack("<HBBB", 3, 10, 20, 30), struct.pack("<HBBB", 1, 1, 2, 3)]),
        "short_4x4.sbmp": sbmp(4, 4, [(1, 2, 3)], [struct.pack("<HB", 5, 0)]),
    }


# ---------------------------------------------------------------- GIF

def lzw_literal(min_code_size, indices):
    """Codes for the indices as plain literals, with a clear code before the
    table would grow past the current width, then the end code."""
    clear = 1 << min_code_size
    width = min_code_size + 1
    codes = [clear]
    next_code = clear + 2
    for i in indices:
        codes.append(i)
        next_code += 1
        if next_code >= (1 << width) - 1:
            codes.append(clear)
            next_code = clear + 2
    codes.append(clear + 1)
    bits, count, out = 0, 0, bytearray()
    for c in codes:
        bits |= c << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    blocks = bytearray([min_code_size])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks) + b"\x00"


def gif(width, height, frames, global_colors=4, loop=False):
    table = b"".join(bytes((i * 60, 255 - i * 60, i * 30)) for i in range(global_colors))
    size_bits = global_colors.bit_length() - 2
    out = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80 | size_bits, 0, 0) + table
    if loop:
        out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for (x, y, w, h, indices, trans, interlace, local) in frames:
        if trans is not None:
            out += b"\x21\xF9\x04" + struct.pack("<BHB", 1, 10, trans) + b"\x00"
        flags = 0x40 if interlace else 0
        local_table = b""
        if local:
            flags |= 0x80 | 1
            local_table = bytes((0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255))
        out += b"\x2C" + struct.pack("<HHHHB", x, y, w, h, flags) + local_table
        out += lzw_literal(2, indices)
    return out + b"\x3B"


def gif_seeds():
    return {
        "1x1.gif": gif(1, 1, [(0, 0, 1, 1, [0], None, False, False)]),
        "3x2_transparent.gif": gif(3, 2, [(0, 0, 3, 2, [0, 1, 2, 3, 2, 1], 3, False, False)]),
        "4x4_interlaced.gif": gif(4, 4, [(0, 0, 4, 4, [i % 4 for i in range(16)], None, True, False)]),
        "anim_3_frames.gif": gif(4, 3, [(0, 0, 4, 3, [1] * 12, None, False, False),
                                        (1, 1, 2, 2, [2, 3, 0, 1], 0, False, True),
                                        (3, 2, 2, 2, [3, 3, 3, 3], None, False, False)], loop=True),
        "comment_and_plain_text.gif": gif(2, 2, [(0, 0, 2, 2, [0, 1, 1, 0], None, False, False)])[:-1]
        + b"\x21\xFE\x03abc\x00\x21\x01\x0C" + bytes(12) + b"\x02hi\x00\x3B",
    }


# ---------------------------------------------------------------- PNG

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(width, height, depth, colour, rows, extra=b"", interlace=0):
    raw = b"".join(b"\x00" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace))
            + extra + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def png_seeds():
    return {
        "grey1_8x2.png": png(8, 2, 1, 0, [b"\xA5", b"\x5A"]),
        "rgb8_2x2.png": png(2, 2, 8, 2, [bytes([255, 0, 0, 0, 255, 0]), bytes([0, 0, 255, 9, 9, 9])],
                            chunk(b"bKGD", struct.pack(">HHH", 1, 2, 3)) + chunk(b"gAMA", struct.pack(">I", 45455))),
        "palette_trns_2x1.png": png(2, 1, 8, 3, [bytes([0, 1])],
                                    chunk(b"PLTE", bytes([1, 2, 3, 4, 5, 6])) + chunk(b"tRNS", b"\x00")),
        "rgba16_1x1.png": png(1, 1, 16, 6, [bytes(range(8))]),
        "grey_alpha_interlaced_3x3.png": png(3, 3, 8, 4, [bytes([10, 20] * 3)] * 3, interlace=0),
    }


# ---------------------------------------------------------------- JPEG

# Luminance tables of the usual baseline encoders (T.81 annex K).
DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_VALS = list(range(12))
AC_BITS = [0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D]
AC_VALS = [
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
    0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0,
    0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
    0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5,
    0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2,
    0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8,
    0xF9, 0xFA]


def huffman_codes(bits, values):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[values[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


def jpeg(width, height, components, sampling, blocks_per_mcu, restart=0, dc_values=None):
    """A baseline JPEG whose blocks carry only a DC difference (category 0 or
    the given small values), so each block is the DC code and the AC end of block."""
    dc = huffman_codes(DC_BITS, DC_VALS)
    ac = huffman_codes(AC_BITS, AC_VALS)
    marker = lambda code, payload: bytes([0xFF, code]) + struct.pack(">H", len(payload) + 2) + payload
    out = b"\xFF\xD8" + marker(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    out += marker(0xDB, b"\x00" + bytes([1 + (i % 7) for i in range(64)]))
    sof = struct.pack(">BHHB", 8, height, width, components)
    for c in range(components):
        sof += bytes([c + 1, sampling if c == 0 else 0x11, 0])
    out += marker(0xC0, sof)
    for table_class, ident, bits, vals in ((0, 0, DC_BITS, DC_VALS), (1, 0, AC_BITS, AC_VALS)):
        out += marker(0xC4, bytes([(table_class << 4) | ident] + bits + vals))
    if restart:
        out += marker(0xDD, struct.pack(">H", restart))
    sos = bytes([components]) + b"".join(bytes([c + 1, 0x00]) for c in range(components)) + b"\x00\x3F\x00"
    out += marker(0xDA, sos)
    hs, vs = sampling >> 4, sampling & 15
    mcus = ((width + 8 * hs - 1) // (8 * hs)) * ((height + 8 * vs - 1) // (8 * vs))
    data = bytearray()
    values = list(dc_values or [0])
    for start in range(0, mcus, restart or mcus):
        bitstring = ""
        for m in range(start, min(mcus, start + (restart or mcus))):
            for b in range(blocks_per_mcu):
                diff = values[(m + b) % len(values)] if b == 0 else 0
                category = abs(diff).bit_length()
                code, length = dc[category]
                bitstring += format(code, "0%db" % length)
                if category:
                    extra = diff if diff > 0 else diff + (1 << category) - 1
                    bitstring += format(extra, "0%db" % category)
                code, length = ac[0x00]
                bitstring += format(code, "0%db" % length)
        bitstring += "1" * (-len(bitstring) % 8)
        for i in range(0, len(bitstring), 8):
            byte = int(bitstring[i:i + 8], 2)
            data.append(byte)
            if byte == 0xFF:
                data.append(0)
        if restart and start + restart < mcus:
            data += bytes([0xFF, 0xD0 + (start // restart) % 8])
    return out + bytes(data) + b"\xFF\xD9"


def jpeg_seeds():
    return {
        "grey_8x8.jpg": jpeg(8, 8, 1, 0x11, 1, dc_values=[5]),
        "ycc444_8x8.jpg": jpeg(8, 8, 3, 0x11, 3),
        "ycc420_16x16.jpg": jpeg(16, 16, 3, 0x22, 6, dc_values=[3, -2]),
        "ycc422_restart_32x8.jpg": jpeg(32, 8, 3, 0x21, 4, restart=1, dc_values=[1, -1]),
    }


# ---------------------------------------------------------------- palette file

def palette_file(count, colours, declared=None):
    return b"LumarPal" + struct.pack("<I", count if declared is None else declared) + bytes(4) + b"".join(
        struct.pack("<I", c) for c in colours)


def palette_seeds():
    return {
        "two.GUIPal": palette_file(2, [0x000000, 0xFFFFFF]),
        "sixteen.GUIPal": palette_file(16, [i * 0x111111 for i in range(16)]),
        "full.GUIPal": palette_file(256, [i * 0x010101 | 0x80000000 for i in range(256)]),
        "count_257.GUIPal": palette_file(257, [0], declared=257),
        "short_data.GUIPal": palette_file(4, [1, 2], declared=4),
    }


# ---------------------------------------------------------------- command line

def command_line_seeds():
    lines = {
        "8666_rle8.txt": ["logo.bmp", "-convertinto8666", "-saveaslogo,1,7"],
        "stream_565.txt": ["logo.bmp", "-convertinto565", "-saveasout,3,8,1"],
        "ops.txt": ["logo.bmp", "-fliph", "-rotate90cw", "-scale50%,20", "-invertindices", "-saveasx.bmp,2"],
        "best_gif.txt": ["logo.bmp", "-convertintobestpalette", "-transparencyFFFFFF", "-saveasa,4"],
        "custom_png.txt": ["logo.bmp", "-convertintocustompalettepal.GUIPal", "-reducecolors4", "-saveasb.png,5"],
        "alpha_formats.txt": ["logo.bmp", "-convertintotranspalette", "-saveasc,1,99,1", "-saveasd,1,18,1"],
        "no_image.txt": ["-convertintogray16", "-saveasx,1", "-help"],
        "errors.txt": ["logo.bmp", "-saveasout,7", "-saveasout,1,30", "-scale0,0", "-transparencyXYZ", "-bogus"],
    }
    return {name: "\n".join(args).encode() for name, args in lines.items()}


def writer_seeds():
    seeds = {}
    bmps = bmp_seeds()
    picks = [("8bpp_2x2_topdown.bmp", 4, 4), ("rle4_4x2.bmp", 5, 0), ("24bpp_2x2.bmp", 14, 6),
             ("32bpp_alpha_2x1.bmp", 15, 4), ("16bpp_2x1.bmp", 19, 1), ("1bpp_3x2.bmp", 60, 0),
             ("4bpp_3x2.bmp", 61, 4), ("24bpp_2x2.bmp", 62, 0), ("rle8_4x2.bmp", 36, 2),
             ("32bpp_alpha_2x1.bmp", 59, 6)]
    for name, choice, flags in picks:
        seeds["%02d_%d_%s" % (choice, flags, name)] = bytes([choice, flags]) + bmps[name]
    return seeds


def main():
    for name, data in bmp_seeds().items():
        put("fuzz_reader_bmp", name, data)
    for name, data in sbmp_seeds().items():
        put("fuzz_reader_sbmp", name, data)
    for name, data in gif_seeds().items():
        put("fuzz_reader_gif", name, data)
        put("fuzz_gif_parse", name, data)
    for name, data in png_seeds().items():
        put("fuzz_reader_png", name, data)
    for name, data in jpeg_seeds().items():
        put("fuzz_reader_jpeg", name, data)
    for name, data in palette_seeds().items():
        put("fuzz_palette_file", name, data)
    for name, data in command_line_seeds().items():
        put("fuzz_command_line", name, data)
    for name, data in writer_seeds().items():
        put("fuzz_writers", name, data)


if __name__ == "__main__":
    main()
