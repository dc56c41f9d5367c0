#!/usr/bin/env bash
# What one palette for an icon set costs and saves: C flash and picture
# quality of the set with each icon's own best palette against one shared
# palette, and the time to build and apply the shared palette against
# ImageMagick's +append -colors 256 and -remap over the same set.
#
#   bench/shared_palette.sh                 # 48 icons, 5 repetitions of the timings
#   COUNT=96 RUNS=9 bench/shared_palette.sh
#   RASTRA=/path/to/rastra bench/shared_palette.sh
#
# The icons are drawn by bench/make_icon_set.py (Pillow, /usr/bin/python3),
# three times: in the three hues of one theme, glyphs drawn at four times the
# size (some 200 colours in all, which one palette holds: the set the shared
# palette is made for), in six hues (some 340 colours in all), and turned
# glyphs drawn at eight times the size (some 2,800 colours in all, each icon
# 90 to 270), where no palette of 256 entries can keep every icon exactly.
# Own palettes: -convertintotranspalette on every icon (its best palette, with
# a transparent entry 0 for icons with alpha). Shared: -sharedpalette over all
# of them, the palette written once as C source (-saveas...,P). Both sets are
# saved as C files (FORMAT 5, 8 bits per pixel, and FORMAT 7, RLE8) and as
# PNG files, and the PNG files are compared with the originals: PSNR over the
# red, green and blue of every pixel that is not fully transparent in the
# original, per icon (an icon kept exactly counts as 99 dB) and over the
# whole set, and every fully transparent pixel must stay so; ImageMagick's
# -remap result is measured the same way. C flash is the manifests' total
# (data arrays, palette tables, GUI_LOGPALETTE and GUI_BITMAP structures on a
# 32-bit target).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
count=${COUNT:-48}
runs=${RUNS:-5}
rastra=$(readlink -f "${RASTRA:-$root/build-release/rastra}")
[ -x "$rastra" ] || { echo "no rastra at $rastra" >&2; exit 2; }
python=/usr/bin/python3

source "$root/bench/imagemagick.sh"
im=$(find_imagemagick)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
now() { date +%s.%N; }
stats() { sort -n | awk '{ a[NR] = $1 } END { printf "%.3f s | %.3f s", a[1], a[int((NR + 1) / 2)] }'; }
flash() { sed -n 's/^  "c_flash_total": \([0-9]*\)$/\1/p' "$1"; }

# Shared palette over the set and every icon mapped onto it, written as PNG.
time_rastra() {
  rm -rf "$1/timed"
  local start end
  start=$(now)
  "$rastra" "$1"/icons/*.png -sharedpalette "-saveas$1/timed/%n.png,5" -exit
  end=$(now)
  echo "$end - $start" | bc
}
time_imagemagick() {
  rm -rf "$1/magick" && mkdir "$1/magick"
  local start end
  start=$(now)
  $im "$1"/icons/*.png +append -colors 256 -unique-colors "$1/magick/palette.png"
  $im "$1"/icons/*.png +dither -remap "$1/magick/palette.png" "$1/magick/%02d.png"
  end=$(now)
  echo "$end - $start" | bc
}

# measure SET [plain]: both sets in C (FORMAT 5 and 7, a manifest each) and as
# PNG, ImageMagick's remap, and the table.
measure() {
  local set=$1
  "$python" "$root/bench/make_icon_set.py" "$set/icons" "$count" "${2:-}"
  local images=("$set"/icons/*.png)
  "$rastra" "${images[@]}" -convertintotranspalette "-saveas$set/own5/%n,1,5" "-saveas$set/ownpng/%n.png,5" \
    "-manifest$set/own5.json" -exit
  "$rastra" "${images[@]}" -convertintotranspalette "-saveas$set/own7/%n,1,7" "-manifest$set/own7.json" -exit
  "$rastra" "${images[@]}" -sharedpalette "-saveas$set/shared5/%n,1,5" "-saveas$set/shared5/icons_palette,P" \
    "-saveas$set/sharedpng/%n.png,5" "-manifest$set/shared5.json" -exit
  "$rastra" "${images[@]}" -sharedpalette "-saveas$set/shared7/%n,1,7" "-saveas$set/shared7/icons_palette,P" \
    "-manifest$set/shared7.json" -exit
  time_imagemagick "$set" >/dev/null
  "$python" "$root/bench/icon_quality.py" "$set" "$(flash "$set/own5.json")" "$(flash "$set/shared5.json")" \
    "$(flash "$set/own7.json")" "$(flash "$set/shared7.json")"
}

echo "## One theme: three hues, plain glyphs anti-aliased at 4 x 4"
measure theme theme
echo
echo "## Turned glyphs, anti-aliased at 8 x 8"
measure varied
echo
echo "## Plain glyphs in six hues, anti-aliased at 4 x 4"
measure plain plain
echo
rastra_times=() im_times=()
for _ in $(seq "$runs"); do
  rastra_times+=("$(time_rastra varied)")
  im_times+=("$(time_imagemagick varied)")
done
echo "Turned glyphs: a shared palette built over the set and every icon mapped onto it, written as"
echo "PNG (best | median of $runs, $(nproc) cores):"
echo
echo "| Rastra -sharedpalette | $(printf '%s\n' "${rastra_times[@]}" | stats) |"
echo "| ImageMagick +append -colors 256, then -remap | $(printf '%s\n' "${im_times[@]}" | stats) |"
