#!/usr/bin/env bash
# Runs the window's smoke test (tests/gui/x11_smoke.cpp) on a real X server:
# Xvfb with a 1400 x 900 screen and the openbox window manager, both started
# here and ended by their process ids when the test is done. Exits 77 (a
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

# Xvfb picks a free display and writes its number to the file.
Xvfb -displayfd 3 -screen 0 1400x900x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
if [ ! -s "$work/display" ]; then
  echo "x11_smoke: Xvfb did not start:"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"
HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1  # openbox takes over the screen before the window maps

export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR
export RASTRA_SCREENSHOT="$screenshot"
timeout 90 "$program"
