#!/usr/bin/env bash
# Runs typical batch jobs with Rastra and with the tools a user would otherwise
# pick, on the same generated inputs, and prints time ratios and peak memory as
# a Markdown table (the one in the README and docs/performance.md).
#
#   sudo bench/compare.sh          # root installs the reference tools
#   RUNS=7 bench/compare.sh        # more runs per job (default 5, the median counts)
#   RASTRA=/path/to/rastra bench/compare.sh
#   ROWS='smoothed' bench/compare.sh   # only the rows whose job name matches (grep -E, any case)
#
# Rastra is built as a Release build in build-release/ unless RASTRA names a
# binary. Times are wall-clock seconds, the median of RUNS runs; peak memory is
# the largest resident set size of any run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-5}
rows=${ROWS:-}
# Whether the row of this job name is to run.
wanted() { [ -z "$rows" ] || grep -qiE -- "$rows" <<<"$1"; }
# The rows that compare with LVGLImage.py need it and its Python modules.
needs_lvgl=false
for job in "100 icons 64x64 -> 565 C, 1 run each" "100 icons 64x64 -> 565 C, one run" "Splash 800x480 -> RGB565 C array" \
           "100 icons 64x64 -> 565 C, 1 run each, stored settings"; do
  if wanted "$job"; then needs_lvgl=true; fi
done
lvgl="$root/../shared/peers/lvgl/LVGLImage.py"
# LVGLImage.py wants the system's Python modules (python3-png, python3-lz4).
python=/usr/bin/python3

install_tools() {
  local need=()
  command -v djpeg >/dev/null && command -v cjpeg >/dev/null || need+=(libjpeg-turbo-progs)
  command -v convert-im6.q16 >/dev/null || command -v magick >/dev/null || need+=(imagemagick)
  command -v gif2rgb >/dev/null || need+=(giflib-tools)
  command -v g++ >/dev/null || need+=(g++)
  [ -x /usr/bin/time ] || need+=(time)
  if $needs_lvgl; then "$python" -c 'import png, lz4' 2>/dev/null || need+=(python3-png python3-lz4); fi
  [ ${#need[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "compare.sh: missing ${need[*]}; run as root (sudo bench/compare.sh) to install them" >&2
    exit 2
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
}

source "$root/bench/imagemagick.sh"

install_tools
im=$(find_imagemagick)
if $needs_lvgl && [ ! -f "$lvgl" ]; then echo "compare.sh: no LVGLImage.py at $lvgl" >&2; exit 2; fi

if [ -n "${RASTRA:-}" ]; then
  rastra=$(readlink -f "$RASTRA")
else
  echo "Building Rastra (Release) in build-release/..." >&2
  cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRASTRA_BUILD_TESTS=OFF >/dev/null
  cmake --build build-release -j2 --target rastra_program >/dev/null
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
$im photo.png -crop 2000x2000+0+0 +repage -colors 256 photo.gif
# A 4000 x 3000 photo for the PNG save: smooth areas, edges and a little
# sensor noise, as a camera gives them; BMP, so that both tools start from the
# same pixels and spend little on reading.
$im -size 4000x3000 -seed 9 plasma:fractal -blur 0x2 -attenuate 0.08 +noise Gaussian -depth 8 -type TrueColor \
  BMP3:photo4k.bmp
$im -size 800x480 -seed 11 plasma:fractal -blur 0x2 -depth 8 -type TrueColor PNG24:splash.png
mkdir icons
for i in $(seq 1 100); do
  $im -size 64x64 -seed "$i" plasma:fractal -depth 8 -type TrueColor "PNG24:icons/icon$i.png"
done
printf 'int main() { return 0; }\n' >empty.cpp
g++ -O2 -o empty empty.cpp
decoded_bytes=$((2048 * 2048 * 4))

# The command line a firmware build gives Rastra for one icon (rastra_add_bitmap
# passes every output setting, so the user's stored settings play no part).
cat >icons_one_each.sh <<EOF
#!/bin/bash
mkdir -p out_rastra
for f in icons/*.png; do
  "$rastra" "\$f" -defaultsettings -useargb0 -bigendian0 -preservetrans0 -convertinto565 \
    -saveasout_rastra/%n,1,8,1 -exit || exit 1
done
EOF
cat >icons_one_run.sh <<EOF
#!/bin/bash
mkdir -p out_rastra
"$rastra" icons/*.png -defaultsettings -useargb0 -bigendian0 -preservetrans0 -convertinto565 \
  -saveasout_rastra/%n,1,8,1 -exit
EOF
# A user's plain run, one icon at a time: the settings the window stored
# apply, read from the store's file (its own, in this folder).
mkdir -p config/Vantor
printf '[Settings]\nBigEndianMode=0\nUseARGB=0\nPreserveTrans=0\nPngGamma=1\nSmoothChroma=0\n' >config/Vantor/Rastra.conf
cat >icons_stored.sh <<EOF
#!/bin/bash
mkdir -p out_rastra
for f in icons/*.png; do
  XDG_CONFIG_HOME=\$PWD/config "$rastra" "\$f" -convertinto565 -saveasout_rastra/%n,1,8,1 -exit || exit 1
done
EOF
chmod +x icons_stored.sh
# Start-up: 100 runs in a row, of Rastra and of an empty program, so that the
# measuring tool's own start-up does not hide the difference.
printf '#!/bin/bash\nfor i in $(seq 100); do "%s" -exit || exit 1; done\n' "$rastra" >startup_rastra.sh
printf '#!/bin/bash\nfor i in $(seq 100); do ./empty || exit 1; done\n' >startup_empty.sh
chmod +x icons_one_each.sh icons_one_run.sh startup_rastra.sh startup_empty.sh

# Prints "SECONDS PEAK_KIB" of a command: median wall time of $runs runs,
# largest resident set size. Fails (after telling why) when any run fails.
measure() {
  local times=() peak=0 start end kib status
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
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.5f", b - a}')")
    kib=$(tail -n 1 mem.txt)
    if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
  done
  printf '%s\n' "${times[@]}" | sort -g | awk -v p="$peak" '{t[NR] = $1} END {printf "%s %s\n", t[int((NR + 1) / 2)], p}'
}

# row NAME TARGET MEMORY OUTPUT RASTRA-COMMAND... -- REFERENCE-COMMAND...
# TARGET is the largest acceptable time ratio (99: none); MEMORY "yes" holds
# Rastra to 2.5x the decoded 2048 x 2048 picture; OUTPUT is the file Rastra
# must write ("-" for none).
failures=0
row() {
  local name=$1 target=$2 memory=$3 output=$4
  wanted "$name" || return 0
  shift 4
  local ours=() ref=()
  while [ "$1" != "--" ]; do ours+=("$1"); shift; done
  shift
  ref=("$@")
  local t1 m1 t2 m2 result
  [ "$output" = - ] || rm -rf "$output"
  if ! result=$(measure "${ours[@]}"); then failures=$((failures + 1)); return; fi
  read -r t1 m1 <<<"$result"
  if [ "$output" != - ] && [ ! -e "$output" ]; then
    echo "compare.sh: rastra wrote no $output for '$name'" >&2
    failures=$((failures + 1))
    return
  fi
  if ! result=$(measure "${ref[@]}"); then failures=$((failures + 1)); return; fi
  read -r t2 m2 <<<"$result"
  awk -v name="$name" -v t1="$t1" -v t2="$t2" -v m1="$m1" -v m2="$m2" -v target="$target" \
      -v memory="$memory" -v image="$decoded_bytes" 'BEGIN {
    ratio = t1 / t2
    mem = m1 * 1024 / image
    ok = ratio <= target && (memory != "yes" || mem <= 2.5)
    verdict = ok ? "yes" : "**no**"
    memtext = memory == "yes" ? sprintf("%6.1f MiB (%.2fx)", m1 / 1024, mem) : sprintf("%6.1f MiB", m1 / 1024)
    printf "| %-34s | %8.4f s | %8.4f s | %5.2fx | %-7s | %-19s | %8.1f MiB | %-6s |\n",
      name, t1, t2, ratio, (target == 99 ? "-" : "<= " target "x"), memtext, m2 / 1024, verdict
  }'
  if ! awk -v t1="$t1" -v t2="$t2" -v m1="$m1" -v target="$target" -v memory="$memory" -v image="$decoded_bytes" \
      'BEGIN { exit !(t1 / t2 <= target && (memory != "yes" || m1 * 1024 / image <= 2.5)) }'; then
    failures=$((failures + 1))
  fi
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
if awk -v l="${load_before%% *}" -v n="$(nproc)" 'BEGIN{exit !(l > n)}'; then
  echo "compare.sh: load average ${load_before%% *} is above $(nproc) cores; times will be noisy, consider a rerun" >&2
fi
echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores; $(uname -m); median of $runs runs"
echo "Load average before: $load_before"
echo "Rastra: $rastra; references: $(djpeg -version 2>&1 | head -n 1); $($im -version | head -n 1); LVGLImage.py (LVGL)"
echo
echo "| job                                | rastra     | reference  | ratio  | target  | rastra peak memory  | ref. memory  | met    |"
echo "|------------------------------------|------------|------------|--------|---------|---------------------|--------------|--------|"
row "Start-up: rastra -exit, 100 runs" 2 no - ./startup_rastra.sh -- ./startup_empty.sh
row "100 icons 64x64 -> 565 C, 1 run each" 0.4 no out_rastra ./icons_one_each.sh -- \
  "$python" "$lvgl" --ofmt C --cf RGB565 -o out_lvgl icons
row "100 icons 64x64 -> 565 C, 1 run each, stored settings" 0.4 no out_rastra ./icons_stored.sh -- \
  "$python" "$lvgl" --ofmt C --cf RGB565 -o out_lvgl icons
row "100 icons 64x64 -> 565 C, one run" 0.1 no out_rastra ./icons_one_run.sh -- \
  "$python" "$lvgl" --ofmt C --cf RGB565 -o out_lvgl icons
row "Splash 800x480 -> RGB565 C array" 99 no splash.c "$rastra" splash.png -defaultsettings -convertinto565 \
  -saveassplash.c,1,8,1 -exit -- "$python" "$lvgl" --ofmt C --cf RGB565 -o out_lvgl splash.png
row "JPEG 4:2:0 baseline -> BMP" 0.9 yes out.bmp "$rastra" photo.jpg -saveasout.bmp,2 -exit -- \
  djpeg -dct int -nosmooth -bmp -outfile ref.bmp photo.jpg
row "JPEG 4:2:0 progressive -> BMP" 1.0 yes out.bmp "$rastra" photo_prog.jpg -saveasout.bmp,2 -exit -- \
  djpeg -dct int -nosmooth -bmp -outfile ref.bmp photo_prog.jpg
# Smoothed chroma against djpeg's default, which smooths too. The row needs
# the command that asks for it (SMOOTH, default -smoothchroma1); a Rastra
# without it skips the row.
smooth=${SMOOTH:--smoothchroma1}
if grep -q -- "${smooth%[01]}" <<< "$("$rastra" -help -exit 2>/dev/null)"; then
  row "JPEG 4:2:0 smoothed chroma -> BMP" 1.0 yes out.bmp "$rastra" photo.jpg "$smooth" -saveasout.bmp,2 -exit -- \
    djpeg -dct int -bmp -outfile ref.bmp photo.jpg
else
  echo "compare.sh: $rastra has no ${smooth%[01]}; the smoothed JPEG row is left out" >&2
fi
row "GIF 2000x2000 -> BMP" 1.0 yes out.bmp "$rastra" photo.gif -saveasout.bmp,2 -exit -- \
  gif2rgb -1 -o ref.rgb photo.gif
row "PNG best palette -> BMP" 0.2 yes out.bmp "$rastra" photo.png -convertintobestpalette -saveasout.bmp,2 -exit -- \
  $im photo.png -colors 256 ref.bmp
row "PNG -> C file, FORMAT 8" 0.15 yes out.c "$rastra" photo.png -saveasout.c,1,8,1 -exit -- \
  $im photo.png h:ref.h
row "Photo 4000x3000 BMP -> PNG" 1.0 no out.png "$rastra" photo4k.bmp -saveasout.png,5 -exit -- \
  $im photo4k.bmp ref.png
# The PNG must also be no larger than ImageMagick's.
if wanted "Photo 4000x3000 BMP -> PNG" && [ -f out.png ] && [ -f ref.png ]; then
  ours_size=$(stat -c %s out.png)
  ref_size=$(stat -c %s ref.png)
  printf '| %-34s | %8d B | %8d B | %5.3fx | <= 1x    |                     |              | %-6s |\n' \
    "Photo 4000x3000 PNG file size" "$ours_size" "$ref_size" "$(awk -v a="$ours_size" -v b="$ref_size" 'BEGIN{print a / b}')" \
    "$([ "$ours_size" -le "$ref_size" ] && echo yes || echo '**no**')"
  [ "$ours_size" -le "$ref_size" ] || failures=$((failures + 1))
fi
echo
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "References: an empty C++ program (g++ -O2), LVGLImage.py (one Python process for the folder),"
echo "djpeg (libjpeg-turbo, accurate integer IDCT, no smoothing; with smoothing for the smoothed row), giflib gif2rgb,"
echo "ImageMagick convert (its default PNG settings for the PNG rows)."
echo "Memory target: at most 2.5x the decoded 2048 x 2048 x 4 picture (40 MiB) for the picture jobs."
[ "$failures" -eq 0 ] || { echo "compare.sh: $failures job(s) failed or missed their target" >&2; exit 1; }
