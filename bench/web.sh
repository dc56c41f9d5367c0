#!/usr/bin/env bash
# The web page against the native program: an 800 x 480 PNG to a 565 C file
# (medians of RUNS runs, default 7), and what the page transfers gzip-compressed.
# Needs the page (scripts/build_web.sh), Chromium and tests/web's packages
# (scripts/test_web.sh installs both) and a native build (build/rastra or $RASTRA).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${RASTRA:-}" ]; then
  for p in build-release/rastra build/rastra; do
    if [ -x "$p" ]; then export RASTRA=$PWD/$p; break; fi
  done
fi
node tests/web/bench.mjs "${1:-7}"
