#!/usr/bin/python3
"""The table of bench/shared_palette.sh for one icon set.

    bench/icon_quality.py SET OWN5 SHARED5 OWN7 SHARED7

SET holds icons/ (the originals), ownpng/ and sharedpng/ (the PNG files of
the two palettes, by the originals' names) and magick/ (ImageMagick's, by
number); the four numbers are the C flash totals of FORMAT 5 and 7.
"""
import glob
import math
import os
import sys

from PIL import Image


def errors(original, converted):
    """Squared error sum and channel count over the visible pixels, and the
    fully transparent pixels that did not stay so."""
    a = Image.open(original).convert("RGBA").getdata()
    b = Image.open(converted).convert("RGBA").getdata()
    total = channels = lost = 0
    for p, q in zip(a, b):
        if p[3] == 0:
            lost += q[3] != 0
            continue
        total += sum((p[i] - q[i]) ** 2 for i in range(3))
        channels += 3
    return total, channels, lost


def psnr(total, channels):
    return 99.0 if total == 0 else min(99.0, 10 * math.log10(255 ** 2 * channels / total))


def quality(originals, converted):
    per_image, all_total, all_channels, lost = [], 0, 0, 0
    for i, original in enumerate(originals):
        total, channels, gone = errors(original, converted(i, original))
        per_image.append(psnr(total, channels))
        all_total += total
        all_channels += channels
        lost += gone
    exact = sum(1 for p in per_image if p == 99.0)
    return sum(per_image) / len(per_image), psnr(all_total, all_channels), exact, lost


def row(name, q, flash5="", flash7=""):
    print(f"| {name} | {flash5} | {flash7} | {q[0]:.2f} dB | {q[1]:.2f} dB | {q[2]} | {q[3]} |")


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    folder = sys.argv[1]
    own5, shared5, own7, shared7 = map(int, sys.argv[2:6])
    originals = sorted(glob.glob(os.path.join(folder, "icons", "*.png")))
    own = quality(originals, lambda i, o: os.path.join(folder, "ownpng", os.path.basename(o)))
    shared = quality(originals, lambda i, o: os.path.join(folder, "sharedpng", os.path.basename(o)))
    magick = quality(originals, lambda i, o: os.path.join(folder, "magick", "%02d.png" % i))
    colours = set()
    for original in originals:
        colours |= {p[:3] for p in Image.open(original).convert("RGBA").getdata() if p[3] != 0}
    print(f"{len(originals)} icons of 64 x 64 (a third with alpha), {len(colours)} visible colours in all")
    print()
    print("| set | C flash FORMAT 5 | C flash FORMAT 7 (RLE8) | mean PSNR | PSNR of the set | icons kept exactly "
          "| transparent pixels lost |")
    print("|---|---|---|---|---|---|---|")
    row("own best palettes", own, own5, own7)
    row("one shared palette", shared, shared5, shared7)
    print(f"| shared against own | {shared5 - own5:+d} ({100 * (shared5 - own5) / own5:+.1f} %) | "
          f"{shared7 - own7:+d} ({100 * (shared7 - own7) / own7:+.1f} %) | {shared[0] - own[0]:+.2f} dB | "
          f"{shared[1] - own[1]:+.2f} dB | | |")
    row("ImageMagick -colors 256, -remap", magick)


if __name__ == "__main__":
    main()
