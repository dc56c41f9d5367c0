#!/usr/bin/env bash
# Time, peak memory and outcome of the command lines that went wrong where
# paths, files and memory were at their limits: an output name joined to a
# long folder, an animation whose GIF an earlier save replaced, an -exit
# behind a parse failure, two reports in the log, and six 1-bit pictures of
# 16384 x 16384 converted into 565 side by side under an address-space limit
# (three runs, to see whether the same images fail each time).
#
#   bench/run_faults.sh                         # build-release/rastra
#   RASTRA=/path/to/rastra bench/run_faults.sh  # another build, to compare
#   LIMIT_MIB=3584 RUNS=3 bench/run_faults.sh   # the memory case's limit and runs
#   SKIP_LARGE=1 bench/run_faults.sh            # without the memory case (3 GB written per run)
#
# Columns: seconds, peak resident memory in MiB, exit code, and what came of
# it. Needs /usr/bin/time, prlimit and python3 (for the pictures).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rastra=$(readlink -f "${RASTRA:-$root/build-release/rastra}")
limit_mib=${LIMIT_MIB:-3584}
runs=${RUNS:-3}
[ -x "$rastra" ] || { echo "no rastra at $rastra" >&2; exit 2; }
for tool in /usr/bin/time prlimit python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

printf '%-40s %8s %9s %5s  %s\n' case seconds "peak MiB" exit outcome
# timed NAME DIR OUTCOME-FUNCTION ARGS...: runs rastra in DIR without a display.
timed() {
  local name=$1 dir=$2 outcome=$3 status=0 seconds kib
  shift 3
  (cd "$dir" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/time -f '%e %M' -o "$dir/time.txt" \
    "$@" >/dev/null 2>"$dir/stderr.txt") || status=$?
  read -r seconds kib < <(tail -n 1 "$dir/time.txt")
  printf '%-40s %8s %9.1f %5s  %s\n' "$name" "$seconds" "$(echo "$kib / 1024" | bc -l)" "$status" "$("$outcome" "$dir")"
}

# An image in a folder of more than 255 characters, and a name of 248 that
# makes the output path pass 500 characters: where the file landed.
deep=$scratch/$(printf 'd%.0s' {1..100})/$(printf 'e%.0s' {1..100})/$(printf 'f%.0s' {1..110})
mkdir -p "$deep"
cp samples/logo.bmp "$deep/"
short() { echo "$1" | sed -E 's/(([a-z])\2{9,})/<\2 x N>/g'; }
# Where the file landed: beside the image, or elsewhere (long names shortened
# to their letter and length).
landed() {
  local file
  file=$(cd "$scratch" && find . -name 'out*' -type f | head -n 1)
  if [ -z "$file" ]; then echo "nowhere"
  elif [ "$scratch/${file#./}" -ef "$image_dir/$(basename "$file")" ]; then echo "beside the image: $(short "$(basename "$file")")"
  else echo "elsewhere: $(short "$file")"; fi
}
image_dir=$deep
timed "image folder 325 chars, -saveasout,2" "$scratch" landed "$rastra" "$deep/logo.bmp" -saveasout,2 -exit
find "$scratch" -name 'out*' -type f -delete
wide=$scratch/$(printf 'w%.0s' {1..120})/$(printf 'x%.0s' {1..110})
mkdir -p "$wide"
cp samples/logo.bmp "$wide/"
image_dir=$wide
name=out$(printf 'n%.0s' {1..245})
timed "joined path > 500 chars, -saveasoutn...,1" "$scratch" landed "$rastra" "$wide/logo.bmp" "-saveas$name,1" -exit
find "$scratch" -name 'out*' -type f -delete

# The animated example GIF saved as GIF (its first frame) and then as sprite.
mkdir -p "$scratch/anim"
cp examples/firmware/images/spin.gif "$scratch/anim/spin.gif"
frames() {
  if [ -f "$1/spin.c" ]; then echo "$(grep -c '^static GUI_CONST_STORAGE unsigned char _acspin' "$1/spin.c") frames"
  else head -n 1 "$1/stderr.txt" | cut -c 1-70; fi
}
timed "GIF replaced, then -saveas TYPE 6" "$scratch/anim" frames "$rastra" spin.gif -saveasspin,4 -saveasspin,6 -exit

# Twenty commands and -exit as the 21st, where there is no display.
mkdir -p "$scratch/exit"
cp samples/logo.bmp "$scratch/exit/"
first_line() { head -n 1 "$1/stderr.txt" | cut -c 1-70; }
twenty=()
for _ in $(seq 20); do twenty+=(-fliph); done
timed "21st command -exit, no display" "$scratch/exit" first_line "$rastra" logo.bmp "${twenty[@]}" -exit

# A PNG cut in its image data and a conversion without image: two reports.
mkdir -p "$scratch/log"
head -c 100 examples/firmware/images/badge.png > "$scratch/log/cut.png"
log_lines() { printf '%s line ends: %s' "$(wc -l < "$1/Rastra.log")" "$(tr '\n' '|' < "$1/Rastra.log" | cut -c 1-75)"; }
timed "two reports in the log" "$scratch/log" log_lines "$rastra" cut.png -convertintobw -exit

[ -n "${SKIP_LARGE:-}" ] && exit 0
# Six copies of a 1-bit PNG of 16384 x 16384 (1 GiB read, 1 GiB more in 565).
mkdir -p "$scratch/large"
python3 - "$scratch/large/p1.png" <<'EOF'
import struct, sys, zlib
w = h = 16384
row = b'\x00' + bytes([0xF0]) * (w // 8)
compressor = zlib.compressobj(9)
data = b''.join(compressor.compress(row) for _ in range(h)) + compressor.flush()
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
with open(sys.argv[1], 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 1, 0, 0, 0, 0)))
    f.write(chunk(b'IDAT', data) + chunk(b'IEND', b''))
EOF
for i in 2 3 4 5 6; do cp "$scratch/large/p1.png" "$scratch/large/p$i.png"; done
failed() {
  local names
  names=$(grep -o '^rastra: p[0-9]\.png' "$1/stderr.txt" | sed 's/rastra: //; s/\.png//' | sort -u | tr '\n' ' ')
  echo "$(find "$1/out" -name '*.dta' 2>/dev/null | wc -l) of 6 written; failed: ${names:-none}"
}
for run in $(seq "$runs"); do
  rm -rf "$scratch/large/out" "$scratch/large/Rastra.log"
  timed "6 x 16384^2 1-bit -> 565, AS ${limit_mib} MiB ($run)" "$scratch/large" failed \
    prlimit --as=$((limit_mib * 1024 * 1024)) "$rastra" p1.png p2.png p3.png p4.png p5.png p6.png \
    -convertinto565 -saveasout/%n,3 -exit
done
