#!/bin/bash
# rastra_add_bitmap(... LVGL <CF>): a project converting one image into three
# LVGL images (C source plain and LZ4, a .bin) builds, its program reads them
# back, a build without changes converts nothing, touching the image converts
# it again, and an LVGL C file over its flash budget stops the build.
#   lvgl_cmake.sh <source dir> <generator> <C compiler> <rastra>
set -u
source=$1 generator=$2 compiler=$3 rastra=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
conversions() { grep -c 'Converting .* with Rastra' "$1"; }

mkdir "$scratch/images"
cp "$source/samples/logo.bmp" "$scratch/images/" 2>/dev/null || fail "no samples/logo.bmp"
configure() {
  cmake -S "$source/tests/lvgl/cmake" -B "$scratch/build" -G "$generator" -DCMAKE_C_COMPILER="$compiler" \
    -DRASTRA_PROGRAM="$rastra" -DRASTRA_FUNCTIONS="$source/cmake/RastraFunctions.cmake" \
    -DIMAGES="$scratch/images" "$@" > "$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; fail "configure"; }
}
configure
cmake --build "$scratch/build" > "$scratch/first.log" 2>&1 || { cat "$scratch/first.log"; fail "first build"; }
[ "$(conversions "$scratch/first.log")" -eq 3 ] || { cat "$scratch/first.log"; fail "3 conversions expected"; }
"$scratch/build/check_lvgl" || fail "the LVGL images read back wrong"
grep -q '"type": "8"' "$scratch/build/rastra/check_lvgl.json" || fail "the manifest lacks the LVGL C files"
cmake --build "$scratch/build" > "$scratch/again.log" 2>&1 || fail "second build"
[ "$(conversions "$scratch/again.log")" -eq 0 ] || { cat "$scratch/again.log"; fail "nothing changed, yet converted"; }
touch "$scratch/images/logo.bmp"
cmake --build "$scratch/build" > "$scratch/touched.log" 2>&1 || fail "build after touching"
[ "$(conversions "$scratch/touched.log")" -eq 3 ] || { cat "$scratch/touched.log"; fail "touching should convert 3"; }
# Over budget: the build stops and leaves no badge.c behind.
cp -r "$source/tests/lvgl/cmake" "$scratch/project"
sed -i 's/FLASH_BUDGET 100000/FLASH_BUDGET 100/' "$scratch/project/CMakeLists.txt"
cmake -S "$scratch/project" -B "$scratch/small" -G "$generator" -DCMAKE_C_COMPILER="$compiler" \
  -DRASTRA_PROGRAM="$rastra" -DRASTRA_FUNCTIONS="$source/cmake/RastraFunctions.cmake" \
  -DIMAGES="$scratch/images" > "$scratch/small.log" 2>&1 || fail "configure the small budget"
if cmake --build "$scratch/small" > "$scratch/small-build.log" 2>&1; then fail "a C file over its budget built"; fi
grep -q "flash budget" "$scratch/small-build.log" || { cat "$scratch/small-build.log"; fail "no budget message"; }
[ ! -e "$scratch/small/rastra/badge/badge.c" ] || fail "badge.c left behind"
echo "PASS"
