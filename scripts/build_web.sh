#!/usr/bin/env bash
# Builds the web page: Rastra's core compiled to WebAssembly with the page's
# binding, and the page's own files, into build-web/site (serve it with
# scripts/serve_web.sh). Installs what is missing (Debian's Emscripten; root
# or sudo) and fetches the libpng and zlib sources with
# scripts/debian_source.sh, which leaves the apt configuration alone. The
# libpng and zlib it compiles are kept in ~/.cache/rastra-web, so a second run
# only compiles what changed in Rastra.
#
#   scripts/build_web.sh            the page
#   RASTRA_WEB_BUILD=dir            another build folder (default build-web)
#   RASTRA_WEB_CACHE=dir            another cache folder
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${RASTRA_WEB_BUILD:-build-web}
cache=${RASTRA_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rastra-web}
jobs=${RASTRA_WEB_JOBS:-2}
# Debian's Emscripten finds the modules of its JavaScript optimiser only
# through NODE_PATH when a Node.js other than Debian's comes first on PATH.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# libpng and zlib come from the release the machine runs, the same versions
# the native program links, so PNG files compress to the same bytes.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
# One set of flags for the libraries; changing it makes a new cache entry.
deps_cflags="-O2 -DNDEBUG"

install_tools() {
  local missing=()
  command -v em++ >/dev/null || missing+=(emscripten)
  command -v cmake >/dev/null || missing+=(cmake)
  command -v ninja >/dev/null || missing+=(ninja-build)
  command -v dpkg-source >/dev/null || missing+=(dpkg-dev)
  command -v node >/dev/null || missing+=(nodejs)
  [ -f /usr/share/keyrings/debian-archive-keyring.gpg ] || missing+=(debian-archive-keyring)
  [ ${#missing[@]} -eq 0 ] || scripts/install-packages.sh "${missing[@]}"
}

# Compiles the C files named in $4.. of source folder $2, with the headers of
# folder $3, into the archive $1.
compile_archive() {
  local archive=$1 dir=$2 include=$3
  shift 3
  local objects=()
  for f in "$@"; do objects+=("$dir/${f%.c}.o"); done
  (cd "$dir" && printf '%s\n' "$@" |
    xargs -P "$jobs" -n 1 sh -c 'emcc '"$deps_cflags"' -I. -I'"$include"' -c "$0" -o "${0%.c}.o" || exit 255')
  emar rcs "$archive" "${objects[@]}"
}

build_deps() {
  local key
  key=$(echo "$(emcc -dumpversion) $deps_cflags $codename" | sha256sum | cut -c1-12)
  deps=$cache/deps-$key
  if [ -f "$deps/lib/libpng16.a" ] && [ -f "$deps/lib/libz.a" ]; then return; fi
  echo "build_web: compiling zlib and libpng for WebAssembly into $deps"
  # Each build works in a folder of its own and renames it into place, so two
  # builds sharing the cache never see each other's half-made libraries.
  local work
  work=$(mktemp -d "$cache/work.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  scripts/debian_source.sh "$work/src" zlib libpng1.6
  local zdir pdir
  zdir=$(find "$work/src" -maxdepth 1 -type d -name 'zlib-*' | head -n 1)
  pdir=$(find "$work/src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
  local out=$work/deps
  mkdir -p "$out/lib" "$out/include"
  cp "$zdir"/zlib.h "$zdir"/zconf.h "$out/include/"
  compile_archive "$out/lib/libz.a" "$zdir" "$out/include" adler32.c compress.c crc32.c deflate.c infback.c \
    inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c
  # The configuration libpng ships for builds without its configure script:
  # everything on, as Debian builds it.
  cp "$pdir/scripts/pnglibconf.h.prebuilt" "$pdir/pnglibconf.h"
  cp "$pdir"/png.h "$pdir"/pngconf.h "$pdir"/pnglibconf.h "$out/include/"
  compile_archive "$out/lib/libpng16.a" "$pdir" "$out/include" png.c pngerror.c pngget.c pngmem.c pngpread.c \
    pngread.c pngrio.c pngrtran.c pngrutil.c pngset.c pngtrans.c pngwio.c pngwrite.c pngwtran.c pngwutil.c
  { echo "zlib: $(basename "$zdir")"; echo "libpng: $(basename "$pdir")"; } > "$out/VERSIONS"
  # A build that finished first already put its copy in place: keep that one.
  mv -T "$out" "$deps" 2>/dev/null || [ -f "$deps/lib/libpng16.a" ] ||
    { echo "build_web: could not move the libraries into $deps" >&2; exit 1; }
  rm -rf "$work"
  trap - EXIT
}

install_tools
mkdir -p "$cache"
build_deps
mkdir -p "$build"
if ! emcmake cmake -S web -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRASTRA_WEB_DEPS="$deps" \
     >"$build/configure.log" 2>&1; then
  cat "$build/configure.log" >&2
  exit 1
fi
cmake --build "$build" -j"$jobs"
echo "build_web: the page is in $root/$build/site"
