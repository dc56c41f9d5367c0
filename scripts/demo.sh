#!/usr/bin/env bash
# Installs what the program needs, builds the program alone and converts the bundled sample
# image into C source (8666 palette, RLE8 compressed).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh program
scripts/build.sh program
mkdir -p out
cp samples/logo.bmp out/logo.bmp
(cd out && ../build/rastra logo.bmp -convertinto8666 -saveaslogo,1,7 -exit)
echo "Wrote $(pwd)/out/logo.c from samples/logo.bmp"
