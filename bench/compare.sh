#!/usr/bin/env bash
# Runs typical batch jobs with Rastra and with the tools a user would otherwise
# pick, on the same generated inputs, and prints time ratios and peak memory.
# Installs the reference tools from Debian packages when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ "$(id -u)" -eq 0 ]; then
  need=()
  command -v djpeg >/dev/null || need+=(libjpeg-turbo-progs)
  command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
  command -v giftext >/dev/null || need+=(giflib-tools)
  command -v /usr/bin/time >/dev/null || need+=(time)
  if [ ${#need[@]} -gt 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
  fi
fi
[ -x build/rastra ] || scripts/build.sh
rastra="$root/build/rastra"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Generating inputs (2048 x 2048)..."
convert -size 2048x2048 -seed 7 plasma:fractal -blur 0x1 photo.png
convert photo.png -sampling-factor 2x2 -quality 90 ppm:- | cjpeg -quality 90 -sample 2x2 -outfile photo.jpg
cjpeg -quality 90 -sample 2x2 -progressive -outfile photo_prog.jpg <(convert photo.png ppm:-)
convert photo.png -colors 256 photo.gif
decoded_bytes=$((2048 * 2048 * 4))

# best-of-3 wall time in seconds and peak RSS in KiB of a command
measure() {
  local best="" peak=0
  for _ in 1 2 3; do
    /usr/bin/time -f "%e %M" -o t.txt "$@" >/dev/null 2>&1 || true
    read -r secs kib < t.txt
    if [ -z "$best" ] || awk "BEGIN{exit !($secs < $best)}"; then best=$secs; fi
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  echo "$best $peak"
}

row() {  # name, rastra command..., --, reference command...
  local name=$1; shift
  local ours=() ref=()
  while [ "$1" != "--" ]; do ours+=("$1"); shift; done; shift
  ref=("$@")
  read -r t1 m1 < <(measure "${ours[@]}")
  read -r t2 m2 < <(measure "${ref[@]}")
  ratio=$(awk "BEGIN{printf \"%.2f\", ($t2 > 0 ? $t1 / $t2 : 0)}")
  memratio=$(awk "BEGIN{printf \"%.2f\", $m1 * 1024 / $decoded_bytes}")
  printf "| %-34s | %7.3f s | %7.3f s | %5sx | %6.1f MiB (%sx image) |\n" "$name" "$t1" "$t2" "$ratio" \
    "$(awk "BEGIN{print $m1/1024}")" "$memratio"
}

echo
echo "| job                                | rastra    | reference | ratio | rastra peak memory |"
echo "|------------------------------------|-----------|-----------|-------|--------------------|"
row "JPEG 4:2:0 baseline -> BMP" "$rastra" photo.jpg -saveasout.bmp,2 -exit -- djpeg -dct int -nosmooth -bmp -outfile ref.bmp photo.jpg
row "JPEG 4:2:0 progressive -> BMP" "$rastra" photo_prog.jpg -saveasout.bmp,2 -exit -- djpeg -dct int -nosmooth -bmp -outfile ref.bmp photo_prog.jpg
row "PNG best palette -> BMP" "$rastra" photo.png -convertintobestpalette -saveasout.bmp,2 -exit -- convert photo.png -colors 256 ref.bmp
row "PNG -> C, FORMAT 8 (565)" "$rastra" photo.png -saveasout.c,1,8,1 -exit -- convert photo.png h:ref.h
row "GIF decode -> BMP" "$rastra" photo.gif -saveasout.bmp,2 -exit -- convert photo.gif ref.bmp
echo
echo "Reference tools: djpeg (libjpeg-turbo), ImageMagick convert. Times are the best of three runs."
