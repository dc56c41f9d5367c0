#!/usr/bin/env bash
# Runs the window's smoke test (tests/gui/x11_smoke.cpp) on a real X server:
# Xvfb with a 1400 x 900 screen and the openbox window manager, then again on
# a 1366 x 768 screen where the window must come back wholly visible; all
# started here and ended by their process ids when the test is done. Exits 77 (a
# skip for CTest) where Xvfb or openbox is missing; scripts/install-deps.sh
# installs them.
#   scripts/x11_smoke.sh PROGRAM [SCREENSHOT.png]
set -euo pipefail
program=$1
screenshot=${2:-}
for tool in Xvfb openbox; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "x11_smoke: skipped: $tool is not installed (scripts/install-deps.sh installs xvfb, xauth and openbox)"
    exit 77
  fi
done
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Starts Xvfb with a screen of the given size and openbox on it; sets DISPLAY.
start_x() {
  local size=$1 log="$work/xvfb-$1.log" display="$work/display-$1"
  # Xvfb picks a free display and writes its number to the file.
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$display" 2>"$log" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$display" ] && break; sleep 0.05; done
  if [ ! -s "$display" ]; then
    echo "x11_smoke: Xvfb did not start:"; cat "$log"; exit 1
  fi
  export DISPLAY=":$(head -n 1 "$display")"
  HOME="$work" openbox --sm-disable >"$work/openbox-$size.log" 2>&1 &
  pids+=($!)
  sleep 1  # openbox takes over the screen before the window maps
}

export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR
# Both runs keep the window's place in one settings store.
export RASTRA_SMOKE_SETTINGS="$work/settings"
mkdir -p "$RASTRA_SMOKE_SETTINGS"

start_x 1400x900
RASTRA_SCREENSHOT="$screenshot" RASTRA_SMOKE_PHASE=larger timeout 90 "$program"

# The window left at 1000 x 700 at (200, 100) comes back on a smaller screen.
start_x 1366x768
smaller_shot=
[ -n "$screenshot" ] && smaller_shot="${screenshot%.png}-1366x768.png"
RASTRA_SCREENSHOT="$smaller_shot" RASTRA_SMOKE_PHASE=smaller timeout 60 "$program"
