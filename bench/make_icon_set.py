#!/usr/bin/python3
"""Draws an icon set for the shared-palette benchmark: flat UI icons of 64 x 64
in a few hues, with anti-aliased edges (drawn eight times as large, turned by
a few degrees, then averaged down), a third of them on a transparent
background.

    bench/make_icon_set.py DIR [COUNT] [plain|theme]

The pictures depend only on the arguments (COUNT default 48), so every run
draws the same set. With "plain" the glyphs are drawn four times as large and
not turned: the icons then share far fewer colours (about 340 in all). With
"theme" they are drawn as plain ones in the three hues of one theme, as a
product's icon set is: the whole set then has fewer colours than a palette
holds.
"""
import math
import os
import sys

from PIL import Image, ImageDraw

SIZE = 64
HUES = [(47, 111, 222), (46, 173, 91), (242, 140, 40), (216, 58, 58), (125, 76, 219), (95, 107, 122)]
LIGHT = (244, 246, 248)
WHITE = (255, 255, 255)
SHAPES = ["circle", "ring", "check", "cross", "triangle", "star", "bars", "arrow"]


def star(cx, cy, outer, inner, points=5):
    corners = []
    for i in range(points * 2):
        radius = outer if i % 2 == 0 else inner
        angle = math.pi * i / points - math.pi / 2
        corners.append((cx + radius * math.cos(angle), cy + radius * math.sin(angle)))
    return corners


def draw_glyph(draw, shape, colour, accent, s):
    """One glyph inside a box of 16 to 48 (in icon pixels, times s)."""
    if shape == "circle":
        draw.ellipse([16 * s, 16 * s, 48 * s, 48 * s], fill=colour)
        draw.ellipse([26 * s, 26 * s, 38 * s, 38 * s], fill=accent)
    elif shape == "ring":
        draw.ellipse([14 * s, 14 * s, 50 * s, 50 * s], outline=colour, width=6 * s)
        draw.pieslice([22 * s, 22 * s, 42 * s, 42 * s], 30, 300, fill=accent)
    elif shape == "check":
        draw.line([(18 * s, 33 * s), (28 * s, 43 * s), (47 * s, 21 * s)], fill=colour, width=7 * s, joint="curve")
    elif shape == "cross":
        draw.line([(20 * s, 20 * s), (44 * s, 44 * s)], fill=colour, width=7 * s)
        draw.line([(44 * s, 20 * s), (20 * s, 44 * s)], fill=accent, width=7 * s)
    elif shape == "triangle":
        draw.polygon([(32 * s, 13 * s), (52 * s, 49 * s), (12 * s, 49 * s)], fill=colour)
        draw.rectangle([30 * s, 25 * s, 34 * s, 38 * s], fill=accent)
        draw.ellipse([30 * s, 41 * s, 34 * s, 45 * s], fill=accent)
    elif shape == "star":
        draw.polygon(star(32 * s, 33 * s, 20 * s, 8.5 * s), fill=colour)
    elif shape == "bars":
        for i, height in enumerate((14, 24, 32)):
            x = 17 + i * 11
            draw.rounded_rectangle([x * s, (49 - height) * s, (x + 8) * s, 49 * s], radius=2 * s,
                                   fill=colour if i != 1 else accent)
    elif shape == "arrow":
        draw.polygon([(14 * s, 28 * s), (36 * s, 28 * s), (36 * s, 18 * s), (52 * s, 32 * s), (36 * s, 46 * s),
                      (36 * s, 36 * s), (14 * s, 36 * s)], fill=colour)


def icon(index, plain, hues):
    scale = 4 if plain else 8
    shape = SHAPES[index % len(SHAPES)]
    hue = hues[index % len(hues)]
    second = hues[(index // len(hues) + index + 1) % len(hues)]
    transparent = index % 3 == 2
    big = SIZE * scale
    glyph = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw_glyph(ImageDraw.Draw(glyph), shape, (hue if transparent else WHITE) + (255,), second + (255,), scale)
    # Each icon a little turned, so that its edges cross the pixels differently.
    if not plain:
        glyph = glyph.rotate((index * 7) % 23 - 11, resample=Image.BICUBIC)
    if transparent:
        picture = glyph
    else:
        picture = Image.new("RGBA", (big, big), LIGHT + (255,))
        draw = ImageDraw.Draw(picture)
        draw.rounded_rectangle([4 * scale, 4 * scale, 60 * scale, 60 * scale], radius=12 * scale, fill=hue + (255,))
        picture.alpha_composite(glyph)
    small = picture.resize((SIZE, SIZE), Image.BOX)
    return small if transparent else small.convert("RGB")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    directory = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 48
    mode = sys.argv[3] if len(sys.argv) > 3 else ""
    plain = mode in ("plain", "theme")
    hues = HUES[:3] if mode == "theme" else HUES
    os.makedirs(directory, exist_ok=True)
    for i in range(count):
        icon(i, plain, hues).save(os.path.join(directory, "icon%02d_%s.png" % (i, SHAPES[i % len(SHAPES)])))


if __name__ == "__main__":
    main()
