#!/usr/bin/env bash
# LVGL images: Rastra against LVGL's own converter (LVGLImage.py, run from
# outside the repository) on the same inputs in one run: 100 icons of 64 x 64
# (bench/make_icon_set.py) and an 800 x 480 splash, each to RGB565 and to
# ARGB8888 C source. Prints the best of RUNS wall times of each side and
# Rastra's share of the script's time (target: at most 0.1 for the folder
# and for the splash). The outputs of the two are compared too: they must
# be the same bytes.
#
#   bench/lvgl.sh                  # 3 repetitions
#   RUNS=5 bench/lvgl.sh
#   RASTRA=/path/to/rastra LVGLIMAGE=/path/to/LVGLImage.py bench/lvgl.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-3}
rastra=$(readlink -f "${RASTRA:-$root/build-release/rastra}")
script=$(readlink -f "${LVGLIMAGE:-$root/../shared/peers/lvgl/LVGLImage.py}")
python=/usr/bin/python3
[ -x "$rastra" ] || { echo "no rastra at $rastra" >&2; exit 2; }
[ -f "$script" ] || { echo "no LVGLImage.py at $script" >&2; exit 2; }
need=()
"$python" -c 'import png, lz4' 2>/dev/null || need+=(python3-png python3-lz4)
"$python" -c 'import PIL' 2>/dev/null || need+=(python3-pil)
command -v bc >/dev/null || need+=(bc)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "lvgl.sh: missing ${need[*]}; run as root (sudo bench/lvgl.sh) to install them" >&2
    exit 2
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/icons" "$scratch/splash"
"$python" "$root/bench/make_icon_set.py" "$scratch/icons" 100 >/dev/null
# The splash: gradients, soft shapes and text-like bars, many colours.
"$python" - "$scratch/splash/splash.png" <<'PY'
import math, sys
from PIL import Image, ImageDraw, ImageFilter
w, h = 800, 480
img = Image.new("RGB", (w, h))
px = img.load()
for y in range(h):
    for x in range(w):
        px[x, y] = (int(40 + 120 * x / w), int(60 + 100 * y / h), int(140 + 60 * math.sin(x / 90.0 + y / 70.0)))
d = ImageDraw.Draw(img)
for i in range(14):
    d.ellipse([40 + i * 52, 90 + (i % 4) * 60, 120 + i * 52, 170 + (i % 4) * 60], fill=(250 - i * 9, 200, 40 + i * 12))
for i in range(8):
    d.rectangle([80, 380 + i * 10, 80 + 600 - i * 60, 385 + i * 10], fill=(245, 245, 245))
img.filter(ImageFilter.GaussianBlur(1.5)).save(sys.argv[1])
PY

# best_of <command...>: the fastest of $runs wall times, in seconds
best_of() {
  local best=""
  for _ in $(seq "$runs"); do
    local start end t
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  printf '%.3f' "$best"
}

run_script() {  # <input dir> <cf> <out dir>
  rm -rf "$3"
  "$python" "$script" --ofmt C --cf "$2" -o "$3" "$1"
}
run_rastra() {  # <input dir> <cf> <out dir>
  rm -rf "$3"
  mkdir -p "$3"
  "$rastra" "$1"/*.png -pnggamma0 "-saveas$3/%n,8,$2" -exit
}

printf '%-22s %10s %10s %8s\n' "job" "script s" "rastra s" "ratio"
status=0
for input in icons splash; do
  for cf in RGB565 ARGB8888; do
    theirs=$(best_of run_script "$scratch/$input" "$cf" "$scratch/out-script")
    ours=$(best_of run_rastra "$scratch/$input" "$cf" "$scratch/out-rastra")
    ratio=$(echo "$ours / $theirs" | bc -l)
    printf '%-22s %10s %10s %8.3f\n' "$input $cf" "$theirs" "$ours" "$ratio"
    if ! diff -rq "$scratch/out-script" "$scratch/out-rastra" >/dev/null; then
      echo "  the C files of $input $cf differ" >&2
      status=1
    fi
  done
done
exit $status
