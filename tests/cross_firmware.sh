#!/bin/bash
# A cross-compiled firmware: install this build into a scratch prefix, then
# configure and build tests/cmake/cross_firmware for a Cortex-M4
# (thumbv7em-none-eabi, clang) with a toolchain file that searches libraries
# and headers only in the target's root, as firmware toolchains do. The
# generated C files must compile into ARM objects.
#   cross_firmware.sh <build dir> <source dir> <generator> <clang>
set -u
build=$1 source=$2 generator=$3 clang=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; fail "install"; }

# The target's root holds what a bare-metal C library would: no libpng, no
# Qt, only the header the generated files include.
mkdir -p "$scratch/sysroot/include"
printf '#pragma once\n#include <stddef.h>\n' > "$scratch/sysroot/include/stdlib.h"
cat > "$scratch/cortex-m4.cmake" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER "$clang")
set(CMAKE_C_COMPILER_TARGET thumbv7em-none-eabi)
set(CMAKE_C_FLAGS_INIT "-mcpu=cortex-m4 -mthumb -mfloat-abi=hard -ffreestanding")
set(CMAKE_SYSROOT "$scratch/sysroot")
set(CMAKE_FIND_ROOT_PATH "$scratch/sysroot")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
TOOLCHAIN

fw=$scratch/build
cmake -S "$source/tests/cmake/cross_firmware" -B "$fw" -G "$generator" \
  -DCMAKE_TOOLCHAIN_FILE="$scratch/cortex-m4.cmake" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
  -DRASTRA_GUI_INCLUDE_DIR="$source/tests/cround" > "$scratch/configure.log" 2>&1 ||
  { cat "$scratch/configure.log"; fail "configure with the Cortex-M toolchain"; }
cmake --build "$fw" > "$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; fail "build"; }
[ "$(grep -c 'Converting .* with Rastra' "$scratch/build.log")" -eq 4 ] || { cat "$scratch/build.log"; fail "4 conversions expected"; }

archive=$fw/libfirmware_images.a
[ -f "$archive" ] || fail "no library of the converted images"
mkdir "$scratch/objects"
(cd "$scratch/objects" && ar x "$archive") || fail "ar x"
count=0
for object in "$scratch"/objects/*; do
  machine=$(readelf -h "$object" | sed -n 's/^ *Machine: *//p')
  [ "$machine" = "ARM" ] || fail "$(basename "$object") is for $machine, not ARM"
  count=$((count + 1))
done
[ "$count" -eq 4 ] || fail "4 objects expected, found $count"
echo "cross-compiled firmware: $count ARM objects from converted images"
