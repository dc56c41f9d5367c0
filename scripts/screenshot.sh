#!/bin/sh
# Renders the main window offscreen with an image loaded (a true-colour one
# converted to its best palette) and saves it as docs/screenshot.png. Run from
# anywhere inside the repository:
#   scripts/screenshot.sh [IMAGE] [ZOOM_PERCENT]
# IMAGE defaults to the bundled sample, shown at 400 %.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
image=${1:-"$root/samples/logo.bmp"}
zoom=${2:-400}

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja
fi
cmake --build "$build" -j2 --target rastra_gui rastra_settings rastra_app rastra_core

${CXX:-c++} -std=c++20 -O1 -fPIC -I"$root" -I"$root/include" -I"$build/include" $(pkg-config --cflags Qt6Widgets) \
  "$root/scripts/Screenshot.cpp" -o "$build/screenshot" \
  "$build/librastra_gui.a" "$build/librastra_app.a" "$build/librastra_settings.a" \
  "$build/librastra_core.a" $(pkg-config --libs Qt6Widgets libpng)

# A private settings store, so the user's own options and recent files
# neither show up in the picture nor get touched.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
mkdir -p "$root/docs"
XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen "$build/screenshot" "$image" "$root/docs/screenshot.png" "$zoom"
echo "wrote $root/docs/screenshot.png"
