#!/bin/bash
# The core library as another tool uses it: install this build into a scratch
# prefix, build examples/library against Rastra::core with find_package, run
# it on the sample picture and check what it wrote.
#   library_example.sh <build dir> <source dir> <generator> <C compiler> [sanitizer flags]
set -u
build=$1 source=$2 generator=$3 compiler=$4 sanitize=${5:-}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; fail "install"; }
[ -f "$scratch/prefix/include/rastra/rastra.h" ] || fail "the public headers are not installed"
[ ! -e "$scratch/prefix/include/rastra/image" ] || fail "the library's internal headers are installed"
cmake -S "$source/examples/library" -B "$scratch/build" -G "$generator" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
  -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" > "$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; fail "configure"; }
cmake --build "$scratch/build" > "$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; fail "build"; }
# The examples link the core alone: no Qt and nothing of the application.
if ldd "$scratch/build/to565" | grep -qi qt; then fail "the example links Qt"; fi
"$scratch/build/badge" > "$scratch/badge.c" 2> "$scratch/badge.txt" || { cat "$scratch/badge.txt"; fail "badge failed"; }
grep -q "GUI_CONST_STORAGE GUI_BITMAP bmbadge" "$scratch/badge.c" || fail "badge: no bitmap structure"
grep -q "GUI_DRAW_BMP8888" "$scratch/badge.c" || fail "badge: not true colour with alpha"
grep -q "^\s*\*" "$scratch/badge.txt" || { cat "$scratch/badge.txt"; fail "badge: no size report with a marked row"; }
"$compiler" -std=c99 -Wall -Werror -I"$source/tests/cround" -c -o "$scratch/badge.o" "$scratch/badge.c" ||
  fail "badge.c does not compile"

mkdir "$scratch/out"
"$scratch/build/to565" "$source/samples/logo.bmp" "$scratch/out" || fail "to565 failed"
c=$scratch/out/logo.c dta=$scratch/out/logo.dta
grep -q "GUI_CONST_STORAGE GUI_BITMAP bmlogo" "$c" || fail "no bitmap structure in logo.c"
grep -q "GUI_DRAW_BMP565" "$c" || fail "logo.c is not FORMAT 8"
# 16 bytes of header, then two bytes per pixel of the 96 x 48 picture.
[ "$(stat -c %s "$dta")" -eq $((16 + 96 * 48 * 2)) ] || fail "logo.dta has $(stat -c %s "$dta") bytes"
grep -q "  96, // xSize" "$c" && grep -q "  48, // ySize" "$c" || fail "logo.c does not describe 96 x 48 pixels"
"$compiler" -std=c99 -Wall -Werror -I"$source/tests/cround" -c -o "$scratch/logo.o" "$c" 2> "$scratch/cc.log" ||
  { cat "$scratch/cc.log"; fail "logo.c does not compile"; }

# A file it cannot read: a message naming the problem and a failing exit code.
printf 'BM' > "$scratch/broken.bmp"
if "$scratch/build/to565" "$scratch/broken.bmp" "$scratch/out" 2> "$scratch/err.txt"; then fail "a broken file passed"; fi
grep -q "^to565: truncated: File too short" "$scratch/err.txt" || { cat "$scratch/err.txt"; fail "no reason given"; }
echo "Library example: all checks passed"
