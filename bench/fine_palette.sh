#!/usr/bin/env bash
# The fine palette (-convertintofinepalette) against the best palette
# (-convertintobestpalette) and pngquant, 256 colours without dithering, on
# pictures none of us made: the JPEG and PNG pictures of ImageMagick's
# documentation (Debian's imagemagick-6-doc) and ImageMagick's built-in
# photo rose:. pngquant and ImageMagick are benchmark peers only, installed
# here when missing.
#
#   bench/fine_palette.sh
#   RASTRA=/path/to/rastra COUNT=16 RUNS=3 TOOLS="fine nofs" bench/fine_palette.sh
#
# PSNR: ImageMagick's compare of each result against the picture, mean over
# the pictures. Time: the CPU time (user + system) of converting all
# pictures one after the other, each run a process of its own (best of
# RUNS); CPU time, unlike the wall time, holds on a machine that is busy
# with other work.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rastra=$(readlink -f "${RASTRA:-$root/build-release/rastra}")
[ -x "$rastra" ] || { echo "no rastra at $rastra" >&2; exit 2; }
count=${COUNT:-16}
runs=${RUNS:-3}

missing=()
command -v compare > /dev/null || missing+=(imagemagick)
command -v pngquant > /dev/null || missing+=(pngquant)
[ -d /usr/share/doc/imagemagick-6-common/html/images ] || missing+=(imagemagick-6-doc)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y "${missing[@]}" > /dev/null
fi
source "$root/bench/imagemagick.sh"
im=$(find_imagemagick)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mapfile -t pictures < <(find /usr/share/doc/imagemagick-6-common/html/images \( -name '*.jpg' -o -name '*.png' \) \
  -size +12k -printf '%s %p\n' | sort -rn | head -n "$count" | cut -d' ' -f2-)
pictures+=(rose:)
n=0
for picture in "${pictures[@]}"; do
  # Opaque true colour, so every tool quantises the same pixels.
  $im "$picture" -background white -alpha remove -type TrueColor "PNG24:$scratch/p$n.png"
  n=$((n + 1))
done

TIMEFORMAT='%U %S'
convert_all() {  # $1: tool; every picture into $scratch/<tool>_<i>.png
  local i
  for i in $(seq 0 $((n - 1))); do
    case $1 in
      best) "$rastra" "$scratch/p$i.png" -defaultsettings -convertintobestpalette "-saveas$scratch/best_$i.png,5" -exit 2> /dev/null ;;
      fine) "$rastra" "$scratch/p$i.png" -defaultsettings -convertintofinepalette "-saveas$scratch/fine_$i.png,5" -exit 2> /dev/null ;;
      nofs) pngquant --nofs --force --output "$scratch/nofs_$i.png" 256 "$scratch/p$i.png" ;;
      pngquant) pngquant --force --output "$scratch/pngquant_$i.png" 256 "$scratch/p$i.png" ;;
    esac
  done
}
psnr() {
  local v
  v=$(compare -metric PSNR "$1" "$2" null: 2>&1 | cut -d' ' -f1) || true
  [ "$v" = inf ] && v=99
  echo "$v"
}

echo "| Palette, 256 colours | mean PSNR | worst PSNR | CPU time for all |"
echo "|---|---|---|---|"
for tool in ${TOOLS:-best fine nofs pngquant}; do
  best_time=
  for _ in $(seq "$runs"); do
    { time convert_all $tool 2> /dev/null; } 2> "$scratch/time"
    t=$(awk '{ print $1 + $2 }' "$scratch/time")
    if [ -z "$best_time" ] || [ "$(echo "$t < $best_time" | bc -l)" = 1 ]; then best_time=$t; fi
  done
  sum=0 worst=99
  for i in $(seq 0 $((n - 1))); do
    v=$(psnr "$scratch/p$i.png" "$scratch/${tool}_$i.png")
    sum=$(echo "$sum + $v" | bc -l)
    if [ "$(echo "$v < $worst" | bc -l)" = 1 ]; then worst=$v; fi
  done
  case $tool in
    best) name='Rastra -convertintobestpalette' ;;
    fine) name='Rastra -convertintofinepalette' ;;
    nofs) name='pngquant --nofs 256' ;;
    pngquant) name='pngquant 256 (default, dithered)' ;;
  esac
  printf '| %s | %.2f dB | %.2f dB | %.2f s |\n' "$name" "$(echo "$sum / $n" | bc -l)" "$worst" "$best_time"
done
echo
echo "$n pictures: imagemagick-6-doc's $((n - 1)) largest JPEG and PNG pictures and rose:."
