#!/usr/bin/env bash
# Time, peak memory and outcome of files that claim far more than they hold,
# and of flat GIFs at the size limits of common encoders.
#
#   bench/hostile_memory.sh                    # build-release/rastra
#   RASTRA=/path/to/rastra bench/hostile_memory.sh
#
# The hostile files come from bench/make_hostile.py, the flat GIFs from
# ImageMagick and Pillow (/usr/bin/python3; a case is skipped without it).
# Each case runs once in a scratch folder under /usr/bin/time (the readers'
# cases only load, the others save into the folder: @ in a command stands
# for it); an output that
# grows without bound (the animation of one-pixel frames on a large screen) is
# stopped after LIMIT seconds (default 20) and the bytes written so far are
# shown. Columns: seconds, peak resident memory in MiB, exit code, bytes
# written, and the first line of standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rastra=$(readlink -f "${RASTRA:-$root/build-release/rastra}")
limit=${LIMIT:-20}
[ -x "$rastra" ] || { echo "no rastra at $rastra" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }

source "$root/bench/imagemagick.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
python3 "$root/bench/make_hostile.py" "$scratch/in"
im=$(find_imagemagick)
$im -size 2130x2130 xc:white "$scratch/in/flat-im.gif"
if /usr/bin/python3 -c 'import PIL' 2>/dev/null; then
  /usr/bin/python3 -c 'import sys; from PIL import Image; Image.new("L", (3000, 3000), 255).save(sys.argv[1])' \
    "$scratch/in/flat-pil.gif"
  # A real picture of 1 GB whose C source would be 3 GB.
  /usr/bin/python3 -c 'import sys; from PIL import Image; Image.new("RGB", (16000, 16000), (9, 99, 199)).save(sys.argv[1])' \
    "$scratch/in/huge.png"
fi

printf '%-34s %8s %9s %5s %14s  %s\n' case seconds "peak MiB" exit written "first line of stderr"
cases=0
# run NAME INPUT COMMAND...: one case in a fresh folder.
run() {
  local name=$1 input=$2
  shift 2
  [ -f "$input" ] || { printf '%-34s skipped (no input)\n' "$name"; return; }
  cases=$((cases + 1))
  local dir="$scratch/run$cases" status=0
  mkdir -p "$dir"
  local args=() a
  for a in "$@"; do args+=("${a//@/$dir}"); done
  # time measures timeout and, through it, rastra (the peak of its children).
  (cd "$dir" && /usr/bin/time -f '%e %M' -o "$dir/time.txt" timeout "$limit" \
    "$rastra" "$input" "${args[@]}" >/dev/null 2>"$dir/stderr.txt") || status=$?
  local seconds kib written
  read -r seconds kib < <(tail -n 1 "$dir/time.txt")
  [ "$status" = 124 ] && seconds=">$seconds"
  written=$(find "$dir" -type f ! -name time.txt ! -name stderr.txt ! -name Rastra.log -printf '%s\n' |
    awk '{ s += $1 } END { printf "%.0f", s }')
  printf '%-34s %8s %9.1f %5s %14s  %s\n' "$name" "$seconds" "$(echo "$kib / 1024" | bc -l)" "$status" "$written" \
    "$(head -n 1 "$dir/stderr.txt" | cut -c 1-90)"
  rm -rf "$dir"
}

run "gif 32768x32767 screen, 1x1 frame" "$scratch/in/screen.gif" -exit
run "gif 4000x4000, 200 1x1 frames, T6" "$scratch/in/frames.gif" -saveas@/anim.c,6 -exit
run "gif 4000x4000, full + 199 1x1, T6" "$scratch/in/animation.gif" -saveas@/anim.c,6 -exit
run "png 16384^2, 10 B IDAT, 40 KB tEXt" "$scratch/in/padded.png" -exit
run "bmp rle8 32768x32767, 263 KB pad" "$scratch/in/padded.bmp" -exit
run "sbmp 16384x15900, 2.5 KB" "$scratch/in/empty.sbmp" -exit
run "gif flat 2130^2 (ImageMagick)" "$scratch/in/flat-im.gif" -saveas@/flat.bmp,2 -exit
run "gif flat 3000^2 (Pillow)" "$scratch/in/flat-pil.gif" -saveas@/flat.bmp,2 -exit
run "png 16000^2 flat -> C FORMAT 16" "$scratch/in/huge.png" -saveas@/huge.c,1,16,1 -exit
