#!/usr/bin/env bash
# Installs what Rastra needs on Debian 12 (root or sudo):
#   scripts/install-deps.sh program   building the program alone
#   scripts/install-deps.sh           building and testing everything
set -euo pipefail
cd "$(dirname "$0")/.."
# liblz4-dev gives LVGL images their LZ4.
program=(build-essential cmake ninja-build pkg-config qt6-base-dev libpng-dev zlib1g-dev liblz4-dev)
# The suites and their reference decoders; then the Debian package's checks
# (lintian, appstreamcli, desktop-file-validate); then the window's smoke test
# on a real X server with a window manager; python3-png and python3-lz4 run
# LVGL's converter, the LVGL test's oracle.
tests=(libgtest-dev libgmock-dev libbenchmark-dev libgif-dev libjpeg62-turbo-dev clang
       lintian appstream desktop-file-utils
       xvfb xauth openbox
       python3-png python3-lz4)
case "${1:-all}" in
  program) scripts/install-packages.sh "${program[@]}" ;;
  all) scripts/install-packages.sh "${program[@]}" "${tests[@]}" ;;
  *) echo "usage: install-deps.sh [program]" >&2; exit 2 ;;
esac
