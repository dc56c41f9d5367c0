#!/usr/bin/env python3
"""Rastra's LVGL images against LVGL's own converter, byte for byte.

Random PNGs are made here (sizes 1 to 70, every colour type and bit depth,
with and without tRNS, alpha 0 and 255 among the rest); each is converted by
LVGLImage.py (run from outside the repository) and by rastra with the same
colour format, compression, stride alignment, premultiplication, dithering
and background, as .bin and as C source, and the files must be equal.

Where the two are not meant to agree the check is another:
  * indexed formats (I1..I8): the converter quantises with pngquant, Rastra
    with its own quantiser; the file must be valid, and every pixel must show
    its own colour when the picture has no more colours than the format, else
    a colour no further from it than the quantiser's worst error allows;
  * RLE where the converter writes a literal count of more than 127 (its
    known defect): its file must fail to decode, Rastra's must decode to the
    converter's data.

  lvgl_differential.py RASTRA SCRIPT [--seed N] [--images N] [--full]

--full runs every combination on every image (by hand: long); the default
draws a fixed-seed sample that runs in about a minute on two cores.
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile

try:
    import png
    import lz4.block
except ImportError as missing:
    print(f"SKIP: python3-png and python3-lz4 are needed ({missing})")
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import lvgl_files  # noqa: E402

DIRECT = ["L8", "A1", "A2", "A4", "A8", "AL88", "RGB565", "RGB565_SWAPPED", "RGB565A8", "ARGB8565",
          "RGB888", "ARGB8888", "XRGB8888", "ARGB8888_PREMULTIPLIED"]
INDEXED = ["I1", "I2", "I4", "I8"]
PREMULTIPLIABLE = {"ARGB8888", "RGB565A8", "ARGB8565", "I1", "I2", "I4", "I8"}
DITHERED = {"RGB565", "RGB565_SWAPPED", "RGB565A8", "ARGB8565"}
COMPRESSIONS = ["NONE", "RLE", "LZ4"]
ALIGNS = [1, 2, 3, 4, 5, 8, 16, 64]


def random_png(rng, path):
    """A PNG of a random colour type and depth; returns its RGBA8 pixels as pypng reads them."""
    w, h = rng.randint(1, 70), rng.randint(1, 70)
    kind = rng.choice(["grey", "rgb", "palette", "greyalpha", "rgba"])
    depths = {"grey": [1, 2, 4, 8, 16], "rgb": [8, 16], "palette": [1, 2, 4, 8],
              "greyalpha": [8, 16], "rgba": [8, 16]}[kind]
    depth = rng.choice(depths)
    top = (1 << depth) - 1
    # Few distinct values often, so that runs, exact palettes and RLE's
    # repeat packets all occur; alpha 0 and 255 are always among the values.
    levels = rng.choice([2, 3, 16, None])

    def sample():
        if levels is None:
            return rng.randint(0, top)
        return rng.choice([0, top] + [rng.randint(0, top) for _ in range(levels)])

    def alpha():
        return rng.choice([0, top, top, sample()])

    info = {"width": w, "height": h, "bitdepth": depth}
    if kind == "palette":
        entries = rng.randint(1, 1 << depth)
        palette = []
        for _ in range(entries):
            colour = (rng.randint(0, 255), rng.randint(0, 255), rng.randint(0, 255))
            palette.append(colour + (rng.choice([0, 255, rng.randint(0, 255)]),) if rng.random() < 0.5 else colour)
        if any(len(c) == 4 for c in palette):
            palette = [c if len(c) == 4 else c + (255,) for c in palette]
            # tRNS may be shorter than the palette: opaque entries at the end drop out
            last = len(palette) - 1
            while last > 0 and palette[last][3] == 255 and rng.random() < 0.5:
                palette[last] = palette[last][:3]
                last -= 1
        rows = [[rng.randrange(entries) for _ in range(w)] for _ in range(h)]
        writer = png.Writer(palette=palette, **info)
    else:
        grey = kind in ("grey", "greyalpha")
        has_alpha = kind in ("greyalpha", "rgba")
        channels = (1 if grey else 3) + (1 if has_alpha else 0)
        rows = []
        for _ in range(h):
            row = []
            for _ in range(w):
                row += [sample() for _ in range(channels - has_alpha)] + ([alpha()] if has_alpha else [])
            rows.append(row)
        extra = {}
        if not has_alpha and rng.random() < 0.4:
            # a colour key that pixels really use
            y, x = rng.randrange(h), rng.randrange(w)
            key = rows[y][x * channels:(x + 1) * channels]
            extra["transparent"] = key[0] if grey else tuple(key)
        writer = png.Writer(greyscale=grey, alpha=has_alpha, **info, **extra)
    with open(path, "wb") as f:
        writer.write(f, rows)
    return kind, depth


def pick_jobs(rng, full):
    """(cf, compression, align, premultiply, dither, background, container) combinations for one image."""
    jobs = []
    formats = DIRECT + INDEXED
    if full:
        combos = [(cf, comp, align) for cf in formats for comp in COMPRESSIONS for align in (1, 3, 16)]
    else:
        combos = [(rng.choice(formats), rng.choice(COMPRESSIONS), rng.choice(ALIGNS)) for _ in range(9)]
    for cf, comp, align in combos:
        premultiply = cf in PREMULTIPLIABLE and rng.random() < 0.3
        dither = cf in DITHERED and rng.random() < 0.4
        background = rng.choice([0, 0, 0xFFFFFF, rng.randint(0, 0xFFFFFF)])
        container = rng.choice(["BIN", "C"])
        jobs.append((cf, comp, align, premultiply, dither, background, container))
    return jobs


def job_name(i, job):
    cf, comp, align, pre, dither, bg, container = job
    return f"j{i}_{cf.lower()}"


def rastra_spec(job):
    cf, comp, align, pre, dither, bg, container = job
    words = [cf]
    if comp != "NONE":
        words.append(comp)
    if align != 1:
        words.append(f"ALIGN{align}")
    if pre:
        words.append("PREMULTIPLY")
    if dither:
        words.append("DITHER")
    if bg:
        words.append(f"BG{bg:06X}")
    return ",".join(words)


def run_rastra(rastra, image, out, jobs):
    # at most 20 commands in a run: -pnggamma0, the saves, -exit
    for start in range(0, len(jobs), 18):
        args = [rastra, image, "-pnggamma0"]
        for i, job in enumerate(jobs[start:start + 18], start):
            kind = "8" if job[6] == "C" else "9"
            args.append(f"-saveas{os.path.join(out, job_name(i, job))},{kind},{rastra_spec(job)}")
        args.append("-exit")
        result = subprocess.run(args, capture_output=True, text=True)
        if result.returncode != 0:
            raise RuntimeError(f"rastra failed ({result.returncode}): {result.stderr.strip()}")


def run_script(lvgl, image, out, i, job):
    """The converter's file as bytes, or None where it refuses (as Rastra must too)."""
    cf, comp, align, pre, dither, bg, container = job
    img = lvgl.LVGLImage().from_png(image, lvgl.ColorFormat[cf], background=bg, rgb565_dither=dither)
    img.adjust_stride(align=align)
    if pre:
        img.premultiply()
    name = job_name(i, job)
    method = lvgl.CompressMethod[comp]
    if container == "BIN":
        path = os.path.join(out, name + ".bin")
        img.to_bin(path, compress=method)
    else:
        path = os.path.join(out, name + ".c")
        img.to_c_array(path, compress=method)
    with open(path, "rb") as f:
        return f.read()


def load_script(path):
    import importlib.util
    spec = importlib.util.spec_from_file_location("LVGLImage", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def rgba_of(image):
    w, h, rows, _ = png.Reader(filename=image).asRGBA8()
    return w, h, [list(r) for r in rows]


def check_indexed(image, ours, job):
    """Valid file and colours within the palette's error; returns a reason or None."""
    cf = job[0]
    parsed = lvgl_files.parse(ours, job[6] == "C")
    if parsed.error:
        return parsed.error
    w, h, rows = rgba_of(image)
    bits = int(cf[1:])
    decoded = lvgl_files.indexed_pixels(parsed, bits)
    if parsed.w != w or parsed.h != h:
        return f"size {parsed.w}x{parsed.h}, not {w}x{h}"
    wanted = {tuple(rows[y][x * 4:x * 4 + 4]) for y in range(h) for x in range(w)}
    exact = len(wanted) <= (1 << bits)
    palette = lvgl_files.palette_rgba(parsed, bits)
    worst_nearest = 0
    worst = 0
    for y in range(h):
        for x in range(w):
            want = rows[y][x * 4:x * 4 + 4]
            if job[3]:
                want = [(c * want[3]) >> 8 for c in want[:3]] + [want[3]]
            got = decoded[y][x]
            if exact and tuple(got) != tuple(want):
                return f"pixel {x},{y} is {got}, not {want}"
            if want[3] == 0 or job[3]:
                continue  # an invisible colour; premultiplied entries are checked exactly above
            dist = sum((a - b) ** 2 for a, b in zip(got[:3], want[:3]))
            nearest = min(sum((a - b) ** 2 for a, b in zip(p[:3], want[:3])) for p in palette)
            worst = max(worst, dist)
            worst_nearest = max(worst_nearest, nearest)
    # The quantiser need not pick the nearest entry, but no pixel may be
    # further from its colour than a full step of the coarsest palette.
    if not exact and worst > max(4 * worst_nearest, 3 * 64 ** 2 // (1 << bits)):
        return f"a pixel is {worst} (squared) from its colour; the palette allows {worst_nearest}"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("rastra")
    parser.add_argument("script")
    parser.add_argument("--seed", type=int, default=36)
    parser.add_argument("--images", type=int, default=40)
    parser.add_argument("--full", action="store_true")
    parser.add_argument("--decoder", help="lvgl_decode, which must read every .bin Rastra wrote")
    args = parser.parse_args()
    if not os.path.exists(args.script):
        print(f"SKIP: LVGL's converter is not at {args.script}")
        return 77
    lvgl = load_script(args.script)
    rng = random.Random(args.seed)
    counts = {"equal": 0, "indexed": 0, "rle_defect": 0, "decoded": 0}
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for n in range(args.images):
            image = os.path.join(work, f"in{n}.png")
            kind, depth = random_png(rng, image)
            jobs = pick_jobs(rng, args.full)
            ours_dir = os.path.join(work, f"ours{n}")
            theirs_dir = os.path.join(work, f"theirs{n}")
            os.makedirs(ours_dir)
            os.makedirs(theirs_dir)
            runnable = []
            for i, job in enumerate(jobs):
                if job[0] in INDEXED:
                    runnable.append((i, job, None))
                    continue
                runnable.append((i, job, run_script(lvgl, image, theirs_dir, i, job)))
            run_rastra(args.rastra, image, ours_dir, jobs)
            for i, job, theirs in runnable:
                ext = ".c" if job[6] == "C" else ".bin"
                with open(os.path.join(ours_dir, job_name(i, job) + ext), "rb") as f:
                    ours = f.read()
                label = f"image {n} ({kind} {depth}-bit) {job}"
                if args.decoder and ext == ".bin":
                    decoded = subprocess.run([args.decoder, os.path.join(ours_dir, job_name(i, job) + ext),
                                              os.path.join(work, "pixels")], capture_output=True, text=True)
                    if decoded.returncode != 0:
                        failures.append(f"{label}: the decoder refuses it: {decoded.stderr.strip()}")
                    counts["decoded"] += 1
                if theirs is None:
                    why = check_indexed(image, ours, job)
                    if why:
                        failures.append(f"{label}: {why}")
                    counts["indexed"] += 1
                elif ours == theirs:
                    counts["equal"] += 1
                elif job[1] == "RLE" and lvgl_files.rle_defect(theirs, ours, job[6] == "C"):
                    counts["rle_defect"] += 1
                else:
                    at = next((k for k in range(min(len(ours), len(theirs))) if ours[k] != theirs[k]),
                              min(len(ours), len(theirs)))
                    failures.append(f"{label}: the files differ from byte {at} on\n"
                                    f"  ours:   {ours[max(0, at - 16):at + 48]!r}\n"
                                    f"  theirs: {theirs[max(0, at - 16):at + 48]!r}")
    print(f"{args.images} images: {counts['equal']} files equal to the converter's, "
          f"{counts['indexed']} indexed files valid, {counts['rle_defect']} where the converter's RLE is broken, "
          f"{counts['decoded']} .bin files read back by lvgl_decode")
    for failure in failures[:20]:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
