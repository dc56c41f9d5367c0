#!/usr/bin/env bash
# Installs what Rastra needs on Debian 12 (root or sudo):
#   scripts/install-deps.sh program   building the program alone
#   scripts/install-deps.sh           building and testing everything
set -euo pipefail
cd "$(dirname "$0")/.."
program=(build-essential cmake ninja-build pkg-config qt6-base-dev libpng-dev zlib1g-dev)
# The suites and their reference decoders; then the Debian package's checks
# (lintian, appstreamcli, desktop-file-validate); then the window's smoke test
# on a real X server with a window manager.
tests=(libgtest-dev libgmock-dev libbenchmark-dev libgif-dev libjpeg62-turbo-dev clang
       lintian appstream desktop-file-utils
       xvfb xauth openbox)
case "${1:-all}" in
  program) scripts/install-packages.sh "${program[@]}" ;;
  all) scripts/install-packages.sh "${program[@]}" "${tests[@]}" ;;
  *) echo "usage: install-deps.sh [program]" >&2; exit 2 ;;
esac
