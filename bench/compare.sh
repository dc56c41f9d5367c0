#!/usr/bin/env bash
# Runs typical batch jobs with Rastra and with the tools a user would otherwise
# pick, on the same generated inputs, and prints time ratios and peak memory as
# a Markdown table (the one in docs/performance.md).
#
#   sudo bench/compare.sh          # root installs the reference tools
#   RUNS=7 bench/compare.sh        # more runs per job (default 5, best counts)
#   RASTRA=/path/to/rastra bench/compare.sh
#
# Rastra is built as a Release build in build-release/ unless RASTRA names a
# binary. Times are wall-clock seconds, the best of RUNS runs; peak memory is
# the largest resident set size of any run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-5}

install_tools() {
  local need=()
  command -v djpeg >/dev/null && command -v cjpeg >/dev/null || need+=(libjpeg-turbo-progs)
  command -v convert-im6.q16 >/dev/null || command -v magick >/dev/null || need+=(imagemagick)
  command -v gif2rgb >/dev/null || need+=(giflib-tools)
  [ -x /usr/bin/time ] || need+=(time)
  [ ${#need[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "compare.sh: missing ${need[*]}; run as root (sudo bench/compare.sh) to install them" >&2
    exit 2
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
}

# The ImageMagick executable itself: a script of the same name in front of it
# on PATH would add its own start-up time to every reference run.
find_imagemagick() {
  local c path
  for c in convert-im6.q16 convert-im7.q16 magick convert; do
    path=$(command -v "$c" 2>/dev/null) || continue
    path=$(readlink -f "$path")
    if [ "$(head -c 4 "$path" | od -An -c | tr -d ' ')" = '177ELF' ]; then
      echo "$path"
      return 0
    fi
  done
  echo "compare.sh: no ImageMagick executable found" >&2
  exit 2
}

install_tools
im=$(find_imagemagick)
[ "$(basename "$im")" = magick ] && im="$im convert"

if [ -n "${RASTRA:-}" ]; then
  rastra=$(readlink -f "$RASTRA")
else
  echo "Building Rastra (Release) in build-release/..." >&2
  cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRASTRA_BUILD_TESTS=OFF >/dev/null
  cmake --build build-release -j2 --target rastra >/dev/null
  rastra="$root/build-release/rastra"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Generating inputs..." >&2
# 8-bit RGB without alpha, so every tool reads the same picture.
$im -size 2048x2048 -seed 7 plasma:fractal -blur 0x1 -depth 8 -type TrueColor PNG24:photo.png
$im photo.png -depth 8 ppm:photo.ppm
cjpeg -quality 90 -sample 2x2,1x1,1x1 -outfile photo.jpg photo.ppm
cjpeg -quality 90 -sample 2x2,1x1,1x1 -progressive -outfile photo_prog.jpg photo.ppm
# GIF logical screens are limited to 2000 x 2000 pixels.
$im photo.png -crop 2000x2000+0+0 +repage -colors 256 photo.gif
decoded_bytes=$((2048 * 2048 * 4))

# Prints "SECONDS PEAK_KIB" of a command: best wall time of $runs runs, largest
# resident set size. Fails (after telling why) when any run fails.
measure() {
  local best="" peak=0 start end secs kib status
  for ((i = 0; i < runs; i++)); do
    start=$EPOCHREALTIME
    status=0
    /usr/bin/time -f "%M" -o mem.txt "$@" >cmd.out 2>&1 || status=$?
    end=$EPOCHREALTIME
    if [ "$status" -ne 0 ]; then
      echo "compare.sh: '$*' failed with exit code $status:" >&2
      cat cmd.out >&2
      return 1
    fi
    secs=$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.4f", b - a}')
    kib=$(tail -n 1 mem.txt)
    if [ -z "$best" ] || awk -v s="$secs" -v b="$best" 'BEGIN{exit !(s < b)}'; then best=$secs; fi
    if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
  done
  echo "$best $peak"
}

# row NAME TARGET OUTPUT RASTRA-ARGS... -- REFERENCE-COMMAND...
# TARGET is the largest acceptable time ratio; OUTPUT the file Rastra must write.
failures=0
row() {
  local name=$1 target=$2 output=$3
  shift 3
  local ours=() ref=()
  while [ "$1" != "--" ]; do ours+=("$1"); shift; done
  shift
  ref=("$@")
  local t1 m1 t2 m2 result
  rm -f "$output"
  if ! result=$(measure "$rastra" "${ours[@]}"); then failures=$((failures + 1)); return; fi
  read -r t1 m1 <<<"$result"
  if [ ! -s "$output" ]; then
    echo "compare.sh: rastra wrote no $output for '$name'" >&2
    failures=$((failures + 1))
    return
  fi
  if ! result=$(measure "${ref[@]}"); then failures=$((failures + 1)); return; fi
  read -r t2 m2 <<<"$result"
  awk -v name="$name" -v t1="$t1" -v t2="$t2" -v m1="$m1" -v m2="$m2" -v target="$target" \
      -v image="$decoded_bytes" 'BEGIN {
    ratio = t1 / t2
    mem = m1 * 1024 / image
    verdict = (ratio <= target && mem <= 3) ? "yes" : "**no**"
    printf "| %-30s | %7.3f s | %7.3f s | %5.2fx | %-7s | %6.1f MiB (%.2fx) | %6.1f MiB | %-6s |\n",
      name, t1, t2, ratio, (target == 99 ? "-" : "<= " target "x"), m1 / 1024, mem, m2 / 1024, verdict
  }'
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
if awk -v l="${load_before%% *}" -v n="$(nproc)" 'BEGIN{exit !(l > n)}'; then
  echo "compare.sh: load average ${load_before%% *} is above $(nproc) cores; times will be noisy, consider a rerun" >&2
fi
echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores; $(uname -m)"
echo "Load average before: $load_before"
echo "Rastra: $rastra; references: $(djpeg -version 2>&1 | head -n 1); $($im -version | head -n 1)"
echo
echo "| job                            | rastra    | reference | ratio  | target  | rastra peak memory  | ref. memory | met    |"
echo "|--------------------------------|-----------|-----------|--------|---------|---------------------|-------------|--------|"
row "JPEG 4:2:0 baseline -> BMP" 2 out.bmp photo.jpg -saveasout.bmp,2 -exit -- \
  djpeg -dct int -nosmooth -bmp -outfile ref.bmp photo.jpg
row "JPEG 4:2:0 progressive -> BMP" 2.5 out.bmp photo_prog.jpg -saveasout.bmp,2 -exit -- \
  djpeg -dct int -nosmooth -bmp -outfile ref.bmp photo_prog.jpg
row "PNG best palette -> BMP" 0.25 out.bmp photo.png -convertintobestpalette -saveasout.bmp,2 -exit -- \
  $im photo.png -colors 256 ref.bmp
row "PNG -> C file, FORMAT 8" 0.5 out.c photo.png -saveasout.c,1,8,1 -exit -- \
  $im photo.png h:ref.h
row "GIF 2000x2000 -> BMP" 99 out.bmp photo.gif -saveasout.bmp,2 -exit -- \
  gif2rgb -1 -o ref.rgb photo.gif
echo
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "References: djpeg (libjpeg-turbo, accurate integer IDCT, no smoothing), ImageMagick convert, giflib gif2rgb."
echo "Memory target: at most 3x the decoded 2048 x 2048 x 4 image (48 MiB)."
[ "$failures" -eq 0 ] || { echo "compare.sh: $failures job(s) failed" >&2; exit 1; }
