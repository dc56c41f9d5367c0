#!/usr/bin/env bash
# Cross-compiles Rastra for 64-bit Windows on Debian 12 with MinGW-w64: the
# program for batch runs (rastra.exe, linked statically: it needs no DLL
# beside it), the static core library with its headers and CMake package, and
# the release archive build-windows/rastra-<version>-win64.zip with the README
# and the licence. zlib and libpng are compiled for Windows from Debian's
# sources of the release the machine runs (kept in the user's cache, so a
# second run only builds what changed in Rastra). Installs what is missing
# (root or sudo).
#
#   scripts/build_windows.sh           the program, the library and the archive
#   RASTRA_WINDOWS_TESTS=ON            also the test suites (run them with scripts/test_windows.sh)
#   RASTRA_WINDOWS_BUILD=dir           another build folder (default build-windows)
#   RASTRA_WINDOWS_CACHE=dir           another cache folder
#   RASTRA_WINDOWS_SOURCES=dir         zlib-*/ and libpng1.6-*/ already unpacked there (no fetch)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${RASTRA_WINDOWS_BUILD:-build-windows}
cache=${RASTRA_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rastra-windows}
tests=${RASTRA_WINDOWS_TESTS:-OFF}
jobs=${RASTRA_WINDOWS_JOBS:-$(nproc)}
target=x86_64-w64-mingw32
cc=$target-gcc-posix
deps_cflags="-O2 -DNDEBUG"

install_tools() {
  scripts/install-packages.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    cmake ninja-build dpkg-dev debian-archive-keyring zip libgtest-dev
}

# Compiles the C files named in $3.. of source folder $2 into the archive $1.
compile_archive() {
  local archive=$1 dir=$2
  shift 2
  local objects=()
  for f in "$@"; do objects+=("$dir/${f%.c}.o"); done
  (cd "$dir" && printf '%s\n' "$@" |
    xargs -P "$jobs" -n 1 sh -c "$cc $deps_cflags -I. -I$deps/include -c \"\$0\" -o \"\${0%.c}.o\" || exit 255")
  $target-ar rcs "$archive" "${objects[@]}"
}

build_deps() {
  local key
  key=$(echo "$($cc -dumpversion) $deps_cflags $(. /etc/os-release && echo "$VERSION_CODENAME")" | sha256sum | cut -c1-12)
  deps=$cache/deps-$key
  if [ -f "$deps/lib/libpng16.a" ] && [ -f "$deps/lib/libz.a" ]; then return; fi
  echo "build_windows: compiling zlib and libpng for Windows into $deps"
  mkdir -p "$cache"
  local work
  work=$(mktemp -d "$cache/work.XXXXXX")
  if [ -n "${RASTRA_WINDOWS_SOURCES:-}" ]; then
    cp -r "$RASTRA_WINDOWS_SOURCES"/zlib-* "$RASTRA_WINDOWS_SOURCES"/libpng1.6-* "$work/"
  else
    scripts/debian_source.sh "$work" zlib libpng1.6
  fi
  local zdir pdir
  zdir=$(find "$work" -maxdepth 1 -type d -name 'zlib-*' | head -n 1)
  pdir=$(find "$work" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
  rm -rf "$deps.partial" && mkdir -p "$deps.partial/lib" "$deps.partial/include"
  deps=$deps.partial
  cp "$zdir"/zlib.h "$zdir"/zconf.h "$deps/include/"
  compile_archive "$deps/lib/libz.a" "$zdir" adler32.c compress.c crc32.c deflate.c infback.c inffast.c \
    inflate.c inftrees.c trees.c uncompr.c zutil.c
  # The configuration libpng ships for builds without its configure script:
  # everything on, as Debian builds it.
  cp "$pdir/scripts/pnglibconf.h.prebuilt" "$pdir/pnglibconf.h"
  cp "$pdir"/png.h "$pdir"/pngconf.h "$pdir"/pnglibconf.h "$deps/include/"
  compile_archive "$deps/lib/libpng16.a" "$pdir" png.c pngerror.c pngget.c pngmem.c pngpread.c pngread.c \
    pngrio.c pngrtran.c pngrutil.c pngset.c pngtrans.c pngwio.c pngwrite.c pngwtran.c pngwutil.c
  { echo "zlib: $(basename "$zdir")"; echo "libpng: $(basename "$pdir")"; } > "$deps/VERSIONS"
  mkdir -p "$deps/licences"
  sed 's/$/\r/' "$zdir/LICENSE" > "$deps/licences/zlib.txt"
  sed 's/$/\r/' "$pdir/LICENSE" > "$deps/licences/libpng.txt"
  deps=${deps%.partial}
  rm -rf "$deps" && mv "$deps.partial" "$deps"
  rm -rf "$work"
}

# rastra.exe may import only what every Windows has.
check_imports() {
  local exe=$1 allowed='^(KERNEL32|msvcrt|ADVAPI32|SHELL32|USER32|api-ms-win-[a-z0-9-]+|ucrtbase|WS2_32|bcrypt)\.dll$'
  local imports
  imports=$($target-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  local bad
  bad=$(grep -viE "$allowed" <<< "$imports" || true)
  if [ -n "$bad" ]; then
    echo "build_windows: $exe imports DLLs that a bare Windows lacks: $bad" >&2
    exit 1
  fi
  echo "build_windows: rastra.exe imports only system DLLs: $(tr '\n' ' ' <<< "$imports")"
}

install_tools
build_deps
mkdir -p "$build"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/MinGW-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DRASTRA_BUILD_GUI=OFF -DRASTRA_BUILD_CLI=ON -DRASTRA_BUILD_TESTS="$tests" \
  -DRASTRA_WINDOWS_DEPS="$deps" -DZLIB_ROOT="$deps" -DZLIB_LIBRARY="$deps/lib/libz.a" \
  -DZLIB_INCLUDE_DIR="$deps/include" -DPNG_LIBRARY="$deps/lib/libpng16.a" -DPNG_PNG_INCLUDE_DIR="$deps/include" \
  -DCMAKE_INSTALL_PREFIX=/rastra -DCMAKE_INSTALL_BINDIR=bin -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include -DCMAKE_INSTALL_DATADIR=share \
  "${launcher[@]}" >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" -j"$jobs"
check_imports "$build/rastra.exe"

version=$(sed -n 's/^#define RASTRA_VERSION_STRING "\(.*\)"/\1/p' "$build/include/rastra/version.h")
name=rastra-$version-win64
stage=$build/$name
rm -rf "$stage" "$build/$name.zip"
cmake --install "$build" --prefix "$root/$stage" >/dev/null
# The core library is static: a program that links it needs libpng and zlib
# for Windows too, the very ones rastra.exe holds.
cp "$deps/lib/libpng16.a" "$deps/lib/libz.a" "$stage/lib/"
cp "$deps/include/"*.h "$stage/include/"
cp README.md "$stage/README.md"
# Windows readers open text files with CR LF line ends.
sed 's/$/\r/' LICENSE > "$stage/LICENSE.txt"
# What rastra.exe holds of others' code, with their licences: zlib, libpng,
# and the MinGW-w64 runtime (winpthreads among it).
mkdir -p "$stage/licences"
cp "$deps/licences/"*.txt "$stage/licences/"
sed 's/$/\r/' /usr/share/doc/mingw-w64-common/copyright > "$stage/licences/mingw-w64.txt"
sed 's/$/\r/' "$deps/VERSIONS" > "$stage/licences/VERSIONS.txt"
(cd "$build" && zip -qr "$name.zip" "$name")
echo "build_windows: $root/$build/$name.zip"
