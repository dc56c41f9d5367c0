#!/usr/bin/env bash
# The web page's tests: builds the page (scripts/build_web.sh installs
# Emscripten and what it needs), installs Debian's Chromium and the pinned
# playwright-core, and runs under Node.js's test runner
#   tests/web/same_bytes.test.mjs  the module with the page's command runner
#                                  against the native program, ten command sets
#   tests/web/page.test.mjs        the page in headless Chromium: conversions
#                                  through its controls, downloads compared with
#                                  the native files, no request to other hosts
# The native program is build/rastra (built here when missing) or $RASTRA.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build_web.sh
command -v chromium >/dev/null || scripts/install-packages.sh chromium
command -v npm >/dev/null || scripts/install-packages.sh npm
(cd tests/web && npm ci --no-audit --no-fund --silent)
if [ -z "${RASTRA:-}" ]; then
  [ -x build/rastra ] || { cmake -S . -B build -G Ninja >/dev/null && cmake --build build -j2 --target rastra_program; }
  export RASTRA=$PWD/build/rastra
fi
node --test tests/web/
