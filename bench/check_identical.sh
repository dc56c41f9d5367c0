#!/usr/bin/env bash
# Guards speed work: every output byte, log text and exit code must stay as it was.
#
#   bench/check_identical.sh record DIR   # with the current rastra: inputs and checksums into DIR
#   bench/check_identical.sh check DIR    # after a change: same runs, compared with DIR
#
# PNG files are also recorded by their pixels (decoded to 8-bit RGBA by
# ImageMagick, in pixels.txt): a check against a record that has them counts
# a PNG whose bytes changed but whose pixels did not as a change of its
# compression only, lists it, and passes; any other change fails.
#
# RASTRA_IDENTICAL_SAMPLE=N runs every Nth job only (record and check alike),
# for a quick check where each run is costly (under Wine).
#
# RASTRA names the binary (default build-release/rastra). The inputs are the
# test corpora (../shared/corpus or RASTRA_CORPUS) and pictures generated at
# record time with ImageMagick and cjpeg and kept in DIR, so a check never
# depends on a tool's version. Every TYPE, the FORMATs, the colour conversions
# and image operations run on each input.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
mode=${1:-}
dir=${2:-}
if [[ ( "$mode" != record && "$mode" != check ) || -z "$dir" ]]; then
  echo "usage: $0 record|check DIR" >&2
  exit 2
fi
mkdir -p "$dir"
dir=$(readlink -f "$dir")
rastra=$(readlink -f "${RASTRA:-$root/build-release/rastra}")
corpus=${RASTRA_CORPUS:-$root/../shared/corpus}
sample=${RASTRA_IDENTICAL_SAMPLE:-1}
[ -x "$rastra" ] || { echo "no rastra at $rastra" >&2; exit 2; }
[ -d "$corpus" ] || { echo "no corpus at $corpus" >&2; exit 2; }

source "$root/bench/imagemagick.sh"

generate_inputs() {
  local in=$1 im
  im=$(find_imagemagick)
  mkdir -p "$in"
  $im -size 640x480 -seed 3 plasma:fractal -blur 0x1 -depth 8 -type TrueColor PNG24:"$in/photo.png"
  $im -size 1024x600 xc:'#F0F0F0' -fill '#3366CC' -draw 'rectangle 0,0 1023,39' \
    -fill white -draw 'rectangle 160,60 319,119' -fill '#303030' -draw 'rectangle 0,0 3,599' \
    -fill '#22AA22' -draw 'rectangle 640,400 959,599' -depth 8 -type TrueColor PNG24:"$in/ui.png"
  $im -size 301x203 -seed 5 plasma:fractal -depth 8 \( +clone -fx 'i/w' \) -alpha off -compose CopyOpacity \
    -composite -depth 8 PNG32:"$in/alpha.png"
  $im "$in/photo.png" -depth 8 ppm:"$in/photo.ppm"
  cjpeg -quality 85 -outfile "$in/photo420.jpg" "$in/photo.ppm"
  cjpeg -quality 85 -progressive -outfile "$in/photoprog.jpg" "$in/photo.ppm"
  cjpeg -quality 85 -sample 1x1 -outfile "$in/photo444.jpg" "$in/photo.ppm"
  rm "$in/photo.ppm"
  $im "$in/photo.png" -colors 200 "$in/photo.gif"
  $im "$in/photo.png" -type TrueColor BMP3:"$in/photo24.bmp"
  $im "$in/ui.png" -colors 16 -type Palette BMP3:"$in/ui8.bmp"
  $im -size 2048x2048 -seed 7 plasma:fractal -blur 0x1 -depth 8 -type TrueColor PNG24:"$in/big.png"
}

# One run: a job name, the input, then commands with @ standing for the job's
# output directory. The log lands in the job directory too (it is the working
# directory), and the exit code beside it.
jobs_seen=0
run_job() {
  local out=$1 name=$2 input=$3
  shift 3
  # A sample of every Nth job, the same jobs in the record and the check.
  jobs_seen=$((jobs_seen + 1))
  if [ "$sample" -gt 1 ] && [ $((jobs_seen % sample)) -ne 1 ]; then return 0; fi
  local jobdir="$out/$name" args=() a
  mkdir -p "$jobdir"
  for a in "$@"; do args+=("${a//@/$jobdir}"); done
  local status=0
  (cd "$jobdir" && "$rastra" "$input" "${args[@]}" >stdout.txt 2>stderr.txt) || status=$?
  echo "$status" >"$jobdir/exit.txt"
}

# Saves of every C FORMAT a true-colour image takes, in two runs of at most 20 commands.
truecolor_jobs() {
  local out=$1 tag=$2 input=$3 f cmds=()
  for f in 8 9 10 11 12 13 15 16 18 19 20 21 22 23 24 25 26 27 28; do cmds+=("-saveas@/t$f.c,1,$f,1"); done
  run_job "$out" "$tag.cfmt" "$input" "${cmds[@]}" -exit
  cmds=(-saveas@/t29.c,1,29,1 -saveas@/t99.c,1,99,1 -saveas@/plain.c,1 -saveas@/img.bmp,2 -saveas@/img.png,5)
  for f in 8 9 12 13 15 16 18 25 27 29 99; do cmds+=("-saveas@/s$f.dta,3,$f,1"); done
  run_job "$out" "$tag.files" "$input" "${cmds[@]}" -exit
}

# A palette conversion followed by every output that fits its number of colours.
palette_job() {
  local out=$1 tag=$2 input=$3 conversion=$4
  shift 4
  local cmds=("$conversion" -saveas@/plain.c,1 -saveas@/np.c,1,5,1 -saveas@/img.bmp,2 -saveas@/img.gif,4
    -saveas@/img.png,5 -saveas@/plain.dta,3)
  local f
  for f in "$@"; do cmds+=("-saveas@/f$f.c,1,$f" "-saveas@/f$f.dta,3,$f"); done
  run_job "$out" "$tag.${conversion#-convertinto}" "$input" "${cmds[@]}" -exit
}

all_jobs() {
  local out=$1 in=$2 input tag conversion
  local inputs=("$in"/photo.png "$in"/ui.png "$in"/alpha.png "$in"/photo420.jpg "$in"/photoprog.jpg
    "$in"/photo444.jpg "$in"/photo.gif "$in"/photo24.bmp "$in"/ui8.bmp)
  local c
  for c in bmp/g/pal1.bmp bmp/g/pal4.bmp bmp/g/pal4rle.bmp bmp/g/pal8.bmp bmp/g/pal8rle.bmp bmp/g/pal8topdown.bmp \
    bmp/g/rgb16-565.bmp bmp/g/rgb24.bmp bmp/g/rgb32.bmp bmp/g/rgb32bf.bmp png/basn2c08.png png/basn3p08.png \
    png/basn6a08.png png/basi4a16.png png/basn0g04.png gif/static_transparent.gif gif/static_nontransparent.gif \
    gif/animated_loop_interlaced.gif jpeg/h2v2.jpg jpeg/h2v1.jpg jpeg/progressive.jpg jpeg/grey.jpg \
    jpeg/odd333x251.jpg jpeg/restart1.jpg; do
    inputs+=("$corpus/$c")
  done
  for input in "${inputs[@]}"; do
    tag=$(basename "$input" | tr '.' '_')
    echo "  $tag" >&2
    run_job "$out" "$tag.load" "$input" -saveas@/load.bmp,2 -exit
    truecolor_jobs "$out" "$tag" "$input"
    palette_job "$out" "$tag" "$input" -convertinto8666 5 7
    palette_job "$out" "$tag" "$input" -convertintobestpalette 5 7
    palette_job "$out" "$tag" "$input" -convertintotranspalette 5 7
    palette_job "$out" "$tag" "$input" -convertintogray16 4 6 5 7
    palette_job "$out" "$tag" "$input" -convertintogray4 2 4 6
    palette_job "$out" "$tag" "$input" -convertintobw 1 2 4 6
    for conversion in 111 222 233 323 332 gray64 gray256 444 555 565 rgb; do
      run_job "$out" "$tag.$conversion" "$input" "-convertinto$conversion" -saveas@/img.bmp,2 -saveas@/img.c,1 -exit
    done
    # True-colour FORMATs the command line does not convert for first: the C
    # writer takes the colours of the palette image itself.
    run_job "$out" "$tag.palcolours" "$input" -convertinto8666 -saveas@/p15.c,1,15,1 -saveas@/p25.c,1,25,1 \
      -saveas@/p26.c,1,26,1 -saveas@/p27.c,1,27,1 -saveas@/p28.c,1,28,1 -saveas@/p18.c,1,18,1 -exit
    run_job "$out" "$tag.ops" "$input" -fliph -rotate90cw -flipv -scale73%,120% -saveas@/ops.bmp,2 \
      -reducecolors37 -invertindices -saveas@/ops.c,1 -rotate180 -invertpalette -saveas@/ops.dta,3 -exit
    run_job "$out" "$tag.scaleup" "$input" -scale640,480 -rotate90ccw -saveas@/up.bmp,2 -exit
  done
  # Every corpus file, damaged ones included, loaded and written back.
  local file
  while IFS= read -r file; do
    tag=$(echo "${file#"$corpus"/}" | tr '/.' '__')
    run_job "$out" "corpus.$tag" "$file" -saveas@/load.bmp,2 -saveas@/load.c,1,16,1 -exit
  done < <(find "$corpus/bmp" "$corpus/png" "$corpus/gif" "$corpus/jpeg" -maxdepth 2 -type f \
    \( -name '*.bmp' -o -name '*.png' -o -name '*.gif' -o -name '*.jpg' \) | sort)
  # The batch jobs the speed comparison times, at their full size.
  run_job "$out" big.bestpalette "$in/big.png" -convertintobestpalette -saveas@/out.bmp,2 -exit
  run_job "$out" big.format8 "$in/big.png" -saveas@/out.c,1,8,1 -exit
}

# One line per produced file: checksum and name relative to the output root.
manifest() {
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum)
}

# One line per PNG file: the checksum of its pixels as 8-bit RGBA, and its name.
png_pixels() {
  local im f
  im=$(find_imagemagick)
  (cd "$1" && find . -type f -name '*.png' -print0 | sort -z | while IFS= read -r -d '' f; do
    printf '%s  %s\n' "$($im "$f" -depth 8 rgba:- 2>/dev/null | sha256sum | cut -d' ' -f1)" "$f"
  done)
}

if [ "$mode" = record ]; then
  rm -rf "$dir/inputs" "$dir/expected.txt"
  echo "Generating inputs..." >&2
  generate_inputs "$dir/inputs"
fi
# Always the same place: messages that name a path must not differ by it.
out="$dir/run"
rm -rf "$out"
mkdir -p "$out"
echo "Running the jobs with $rastra..." >&2
all_jobs "$out" "$dir/inputs"
if [ "$mode" = record ]; then
  manifest "$out" >"$dir/expected.txt"
  png_pixels "$out" >"$dir/pixels.txt"
  echo "Recorded $(wc -l <"$dir/expected.txt") files in $dir/expected.txt, PNG pixels in $dir/pixels.txt" >&2
  exit 0
fi
manifest "$out" >"$dir/actual.txt"
rm -f "$dir/png_bytes_changed.txt"
if [ -f "$dir/pixels.txt" ]; then
  png_pixels "$out" >"$dir/actual_pixels.txt"
  # PNG files are compared by their pixels; the names of those whose bytes
  # changed are listed apart.
  diff <(grep -v '\.png$' "$dir/expected.txt") <(grep -v '\.png$' "$dir/actual.txt") >"$dir/differences.txt" || true
  diff "$dir/pixels.txt" "$dir/actual_pixels.txt" >>"$dir/differences.txt" || true
  comm -23 <(diff <(grep '\.png$' "$dir/expected.txt") <(grep '\.png$' "$dir/actual.txt") | sed -n 's/^> [^ ]*  //p' | sort) \
    <(diff "$dir/pixels.txt" "$dir/actual_pixels.txt" | sed -n 's/^> [^ ]*  //p' | sort) >"$dir/png_bytes_changed.txt"
else
  diff -u "$dir/expected.txt" "$dir/actual.txt" >"$dir/differences.txt" || true
fi
if [ -s "$dir/png_bytes_changed.txt" ]; then
  echo "PNG files whose bytes changed, their pixels not: $(wc -l <"$dir/png_bytes_changed.txt") (see $dir/png_bytes_changed.txt)" >&2
fi
if [ ! -s "$dir/differences.txt" ]; then
  echo "Identical: $(wc -l <"$dir/actual.txt") files" >&2
  rm -f "$dir/differences.txt"
else
  echo "DIFFERENT outputs; see $dir/differences.txt:" >&2
  grep '^[-+<>][^-+]' "$dir/differences.txt" | head -n 20 >&2 || true
  exit 1
fi
