#!/usr/bin/env bash
# The dithering choices side by side, on photos none of us made (the photos
# of ImageMagick's documentation, Debian's imagemagick-6-doc, installed here
# when missing; the corpus's real pictures when present).
#
#   bench/dither.sh                      # prints a Markdown table
#   RASTRA=/path/to/rastra COUNT=8 bench/dither.sh
#
# Per method (-dither none, fs, serpentine, bayer4, bayer8), the mean over
# the photos of:
#   PSNR 332 / 565     of the picture converted into 332 or 565 against the
#                      original (ImageMagick's compare)
#   blurred 332 / 565  the same after a 3 x 3 Gaussian (1 2 1) on both: the
#                      error an eye at a distance sees
#   RLE4, RLE8, RLE16  the pixel bytes of FORMAT 6 after -convertintogray16,
#                      FORMAT 7 after -convertinto332, FORMAT 12 after
#                      -convertinto565 (the size report's figures), summed
#   shimmer            an animation made of the first photo with a square
#                      that moves across it, converted frame by frame into
#                      332: the share of the pixels that do not change
#                      between two frames of the source but change in the
#                      result
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rastra=$(readlink -f "${RASTRA:-$root/build-release/rastra}")
[ -x "$rastra" ] || { echo "no rastra at $rastra" >&2; exit 2; }
count=${COUNT:-16}

install_missing() {
  local missing=()
  command -v compare > /dev/null || missing+=(imagemagick)
  [ -d /usr/share/doc/imagemagick-6-common/html/images ] || missing+=(imagemagick-6-doc)
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y "${missing[@]}" > /dev/null
}
install_missing
source "$root/bench/imagemagick.sh"
im=$(find_imagemagick)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The pictures: the largest JPEG and PNG files of the documentation (photos,
# a collage of photos, drawings, a fractal), ImageMagick's built-in photo
# rose: and a smooth gradient, each scaled to at most 320 pixels a side (the
# size of a display's pictures) as PNG.
mapfile -t photos < <(find /usr/share/doc/imagemagick-6-common/html/images \( -name '*.jpg' -o -name '*.png' \) \
  -size +12k -printf '%s %p\n' | sort -rn | head -n "$count" | cut -d' ' -f2-)
[ ${#photos[@]} -gt 0 ] || { echo "no photos found" >&2; exit 2; }
photos+=(rose: 'gradient:#204080-#f0c060')
n=0
for photo in "${photos[@]}"; do
  size=; [[ "$photo" == gradient:* ]] && size='-size 320x200'
  # shellcheck disable=SC2086 # size is empty or two words
  $im $size "$photo" -resize '320x320>' -type TrueColor "PNG24:$scratch/p$n.png"
  n=$((n + 1))
done

psnr() {  # PSNR of $2 against $1 in dB (99 for equal pictures)
  local v
  v=$(compare -metric PSNR "$1" "$2" null: 2>&1 | cut -d' ' -f1) || true
  [ "$v" = inf ] && v=99
  echo "$v"
}
blur() { $im "$1" -define convolve:scale='!' -morphology Convolve '3x3: 1,2,1 2,4,2 1,2,1' "PNG24:$2"; }
pixel_bytes() {  # the size report's pixel bytes of FORMAT $2 for the converted picture
  "$rastra" "$1" -defaultsettings "-dither$3" "-convertinto$4" -sizereportcsv -exit 2> /dev/null |
    awk -F, -v f="$2" '$1 == f { print $(NF - 5) }'
}

for i in $(seq 0 $((n - 1))); do blur "$scratch/p$i.png" "$scratch/p$i.blur.png"; done

# The animation: a 24 x 24 square moving 6 pixels a frame over the first photo.
frames=8
for f in $(seq 0 $((frames - 1))); do
  x=$((10 + 6 * f))
  $im "$scratch/p0.png" -fill '#d04020' -draw "rectangle $x,10 $((x + 23)),33" "PNG24:$scratch/f$f.png"
done
changed_share() {  # among pixels equal in $1 and $2, the share that differ in $3 and $4
  $im "$1" "$2" -compose difference -composite -separate -evaluate-sequence max -threshold 0 "$scratch/src.png"
  $im "$3" "$4" -compose difference -composite -separate -evaluate-sequence max -threshold 0 "$scratch/out.png"
  $im "$scratch/out.png" \( "$scratch/src.png" -negate \) -compose multiply -composite \
    -format '%[fx:mean*w*h] ' info:
  $im "$scratch/src.png" -format '%[fx:(1-mean)*w*h]\n' info:
}

echo "| -dither | PSNR 332 | blurred 332 | PSNR 565 | blurred 565 | RLE4 bytes | RLE8 bytes | RLE16 bytes | shimmer 332 |"
echo "|---|---|---|---|---|---|---|---|---|"
for method in none fs serpentine bayer4 bayer8; do
  sum332=0 sumb332=0 sum565=0 sumb565=0 rle4=0 rle8=0 rle16=0
  for i in $(seq 0 $((n - 1))); do
    p="$scratch/p$i.png"
    for target in 332 565; do
      "$rastra" "$p" -defaultsettings "-dither$method" "-convertinto$target" "-saveas$scratch/o.png,5" -exit 2> /dev/null
      blur "$scratch/o.png" "$scratch/o.blur.png"
      a=$(psnr "$p" "$scratch/o.png") b=$(psnr "$scratch/p$i.blur.png" "$scratch/o.blur.png")
      if [ $target = 332 ]; then
        sum332=$(echo "$sum332 + $a" | bc -l) sumb332=$(echo "$sumb332 + $b" | bc -l)
      else
        sum565=$(echo "$sum565 + $a" | bc -l) sumb565=$(echo "$sumb565 + $b" | bc -l)
      fi
    done
    rle4=$((rle4 + $(pixel_bytes "$p" 6 "$method" gray16)))
    rle8=$((rle8 + $(pixel_bytes "$p" 7 "$method" 332)))
    rle16=$((rle16 + $(pixel_bytes "$p" 12 "$method" 565)))
  done
  moved=0 unchanged=0
  for f in $(seq 0 $((frames - 1))); do
    "$rastra" "$scratch/f$f.png" -defaultsettings "-dither$method" -convertinto332 "-saveas$scratch/g$f.png,5" -exit 2> /dev/null
  done
  for f in $(seq 1 $((frames - 1))); do
    read -r m u < <(changed_share "$scratch/f$((f - 1)).png" "$scratch/f$f.png" "$scratch/g$((f - 1)).png" "$scratch/g$f.png")
    moved=$(echo "$moved + $m" | bc -l) unchanged=$(echo "$unchanged + $u" | bc -l)
  done
  printf '| %s | %.2f dB | %.2f dB | %.2f dB | %.2f dB | %d | %d | %d | %.2f %% |\n' "$method" \
    "$(echo "$sum332 / $n" | bc -l)" "$(echo "$sumb332 / $n" | bc -l)" \
    "$(echo "$sum565 / $n" | bc -l)" "$(echo "$sumb565 / $n" | bc -l)" \
    "$rle4" "$rle8" "$rle16" "$(echo "100 * $moved / $unchanged" | bc -l)"
done
echo
echo "$n pictures (imagemagick-6-doc's, rose: and a gradient), at most 320 pixels a side; shimmer over $((frames - 1)) frame changes."
