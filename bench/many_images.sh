#!/usr/bin/env bash
# Times converting a folder of icons: one run with every image against one
# run per image, and checks that both give the same files.
#
#   bench/many_images.sh                 # 100 icons of 64 x 64, 5 repetitions
#   COUNT=500 SIZE=32 RUNS=3 bench/many_images.sh
#   RASTRA=/path/to/rastra bench/many_images.sh
#
# The icons are drawn by ImageMagick (the executable itself, see compare.sh)
# into a scratch folder. Each is converted into 565 C source
# (-convertinto565 -saveas...,1,8,1). Times are wall-clock seconds; the table
# gives the best and the median of RUNS repetitions.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
count=${COUNT:-100}
size=${SIZE:-64}
runs=${RUNS:-5}
rastra=$(readlink -f "${RASTRA:-$root/build-release/rastra}")
[ -x "$rastra" ] || { echo "no rastra at $rastra" >&2; exit 2; }

source "$root/bench/imagemagick.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
im=$(find_imagemagick)
mkdir -p "$scratch/icons"
for i in $(seq -w 1 "$count"); do
  $im -size "${size}x${size}" -seed "$((10#$i))" plasma:fractal -depth 8 -type TrueColor "PNG24:$scratch/icons/icon$i.png"
done
images=("$scratch"/icons/*.png)

now() { date +%s.%N; }
one_run() {
  rm -rf "$scratch/one"
  local start end
  start=$(now)
  (cd "$scratch" && "$rastra" "${images[@]}" -convertinto565 "-saveasone/%n,1,8,1" -exit)
  end=$(now)
  echo "$end - $start" | bc
}
single_runs() {
  rm -rf "$scratch/single"
  local start end image
  start=$(now)
  for image in "${images[@]}"; do
    (cd "$scratch" && "$rastra" "$image" -convertinto565 "-saveassingle/%n,1,8,1" -exit)
  done
  end=$(now)
  echo "$end - $start" | bc
}
stats() { sort -n | awk '{ a[NR] = $1 } END { printf "%.3f | %.3f", a[1], a[int((NR + 1) / 2)] }'; }

one=() single=()
for _ in $(seq "$runs"); do
  one+=("$(one_run)")
  single+=("$(single_runs)")
done
diff -r "$scratch/one" "$scratch/single" >/dev/null || { echo "the two ways gave different files" >&2; exit 1; }
echo "$count icons of ${size}x${size} to 565 C files, $runs repetitions, $(nproc) cores"
echo
echo "| way | best s | median s |"
echo "|---|---|---|"
echo "| one run with $count images | $(printf '%s\n' "${one[@]}" | stats) |"
echo "| $count runs of one image | $(printf '%s\n' "${single[@]}" | stats) |"
