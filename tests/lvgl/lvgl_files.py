"""Reading LVGL v9 image files (.bin and the C source of an lv_image_dsc_t)
back into their header fields and data, for the differential test."""

import re
import struct

import lz4.block


class Parsed:
    def __init__(self):
        self.error = None
        self.cf = self.flags = self.w = self.h = self.stride = 0
        self.data = b""


C_FORMATS = {"L8": 0x06, "I1": 0x07, "I2": 0x08, "I4": 0x09, "I8": 0x0A, "A1": 0x0B, "A2": 0x0C, "A4": 0x0D,
             "A8": 0x0E, "RGB888": 0x0F, "ARGB8888": 0x10, "XRGB8888": 0x11, "RGB565": 0x12, "ARGB8565": 0x13,
             "RGB565A8": 0x14, "AL88": 0x15, "ARGB8888_PREMULTIPLIED": 0x1A, "RGB565_SWAPPED": 0x1B}
BPP = {0x06: 8, 0x07: 1, 0x08: 2, 0x09: 4, 0x0A: 8, 0x0B: 1, 0x0C: 2, 0x0D: 4, 0x0E: 8, 0x0F: 24, 0x10: 32,
       0x11: 32, 0x12: 16, 0x13: 24, 0x14: 16, 0x15: 16, 0x1A: 32, 0x1B: 16}


def rle_decode(packets, block, expected):
    out = bytearray()
    i = 0
    while i < len(packets):
        ctrl = packets[i]
        i += 1
        count = ctrl & 0x7F
        if count == 0:
            return None
        if ctrl & 0x80:
            chunk = packets[i:i + count * block]
            if len(chunk) != count * block:
                return None
            out += chunk
            i += count * block
        else:
            chunk = packets[i:i + block]
            if len(chunk) != block:
                return None
            out += chunk * count
            i += block
    if len(out) < expected or len(out) - expected >= block:
        return None
    return bytes(out[:expected])


def expected_length(p):
    n = p.stride * p.h
    if 0x07 <= p.cf <= 0x0A:
        n += 4 << BPP[p.cf]
    if p.cf == 0x14:
        n += (p.stride // 2) * p.h
    return n


def decompress(p, stored):
    """The data of a file's stored bytes, or an error text."""
    if not p.flags & 0x08:
        return stored, None
    if len(stored) < 12:
        return None, "compression block cut short"
    method, size, raw = struct.unpack("<III", stored[:12])
    payload = stored[12:]
    if size != len(payload):
        return None, f"compressed size {size}, {len(payload)} bytes follow"
    if raw != expected_length(p):
        return None, f"decompressed size {raw}, the header needs {expected_length(p)}"
    if method == 1:
        data = rle_decode(payload, (BPP[p.cf] + 7) // 8, raw)
    elif method == 2:
        try:
            data = lz4.block.decompress(payload, uncompressed_size=raw)
        except lz4.block.LZ4BlockError:
            data = None
    else:
        return None, f"compression method {method}"
    if data is None or len(data) != raw:
        return None, "the compressed data does not decode"
    return data, None


def parse(blob, is_c):
    p = Parsed()
    if is_c:
        text = blob.decode("ascii")
        fields = dict(re.findall(r"\.(cf|w|h|stride) = ([A-Z0-9_]+)", text))
        p.cf = C_FORMATS[fields["cf"].replace("LV_COLOR_FORMAT_", "")]
        p.w, p.h, p.stride = int(fields["w"]), int(fields["h"]), int(fields["stride"])
        flags = re.search(r"\.flags = ([^,]+),", text).group(1)
        p.flags = (8 if "COMPRESSED" in flags else 0) | (1 if "PREMULTIPLIED" in flags else 0)
        body = text[text.index("_map[] = {"):text.index("};")]
        stored = bytes(int(v, 16) for v in re.findall(r"0x([0-9a-f]{2}),", body))
    else:
        if len(blob) < 12 or blob[0] != 0x19:
            p.error = "no LVGL v9 header"
            return p
        _, p.cf, p.flags, p.w, p.h, p.stride, _ = struct.unpack("<BBHHHHH", blob[:12])
        stored = blob[12:]
    if p.cf not in BPP:
        p.error = f"colour format {p.cf:#x}"
        return p
    if p.stride < (p.w * BPP[p.cf] + 7) // 8:
        p.error = f"stride {p.stride} too small for {p.w} pixels"
        return p
    data, error = decompress(p, stored)
    if error:
        p.error = error
        return p
    if len(data) != expected_length(p):
        p.error = f"{len(data)} data bytes, the header needs {expected_length(p)}"
        return p
    p.data = data
    return p


def palette_rgba(p, bits):
    pal = p.data[:4 << bits]
    return [(pal[i + 2], pal[i + 1], pal[i], pal[i + 3]) for i in range(0, len(pal), 4)]


def indexed_pixels(p, bits):
    palette = palette_rgba(p, bits)
    rows = p.data[4 << bits:]
    out = []
    for y in range(p.h):
        row = rows[y * p.stride:(y + 1) * p.stride]
        line = []
        for x in range(p.w):
            bit = x * bits
            index = (row[bit // 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1)
            line.append(palette[index])
        out.append(line)
    return out


def rle_defect(theirs, ours, is_c):
    """The converter's RLE file fails to decode and ours decodes to its data."""
    a, b = parse(theirs, is_c), parse(ours, is_c)
    if b.error:
        return False
    # what the converter meant: its packets read with the lost eighth bit of
    # the last literal's count put back
    if is_c:
        text = theirs.decode("ascii")
        fields = dict(re.findall(r"\.(cf) = ([A-Z0-9_]+)", text))
        a.cf = C_FORMATS[fields["cf"].replace("LV_COLOR_FORMAT_", "")]
    meant, wrapped = _meant_data(theirs, is_c, a)
    return wrapped and meant == b.data


def _meant_data(blob, is_c, p):
    if is_c:
        text = blob.decode("ascii")
        body = text[text.index("_map[] = {"):text.index("};")]
        stored = bytes(int(v, 16) for v in re.findall(r"0x([0-9a-f]{2}),", body))
    else:
        stored = blob[12:]
    payload = stored[12:]
    block = (BPP[p.cf] + 7) // 8
    expected = struct.unpack("<I", stored[8:12])[0]
    out = bytearray()
    wrapped = False
    i = 0
    while i < len(payload):
        ctrl = payload[i]
        i += 1
        if ctrl & 0x80:
            # the defect: a final literal of 128 to 142 blocks, whose count
            # does not fit the seven bits, ends the data exactly
            count = ctrl & 0x7F
            if count < 15 and len(payload) - i == (count + 128) * block:
                count += 128
                wrapped = True
            out += payload[i:i + count * block]
            i += count * block
        else:
            out += payload[i:i + block] * ctrl
            i += block
    return bytes(out[:expected]), wrapped
