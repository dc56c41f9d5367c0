#!/usr/bin/env bash
# Builds the web page: Rastra's core compiled to WebAssembly with the page's
# binding, and the page's own files, into build-web/site (serve it with
# scripts/serve_web.sh). Installs what is missing (Debian's Emscripten, and
# the libpng and zlib sources through a deb-src entry; root or sudo). The
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

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    apt_updated=1
  fi
}

install_tools() {
  local missing=()
  command -v em++ >/dev/null || missing+=(emscripten)
  command -v cmake >/dev/null || missing+=(cmake)
  command -v ninja >/dev/null || missing+=(ninja-build)
  command -v dpkg-source >/dev/null || missing+=(dpkg-dev)
  command -v node >/dev/null || missing+=(nodejs)
  [ ${#missing[@]} -eq 0 ] && return
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# apt-get source needs a deb-src entry; Debian's images come without one. It
# names the release alone: its sources are the ones the mirror keeps.
add_source_entry() {
  if grep -q "zlib" <<< "$(apt-get source --print-uris -qq "zlib/$codename" 2>/dev/null)"; then return; fi
  local uri
  uri=$(grep -rhoE 'https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null |
        head -n 1 | tr -d ' ')
  uri=${uri:-http://deb.debian.org/debian}
  printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" "$codename" | as_root tee /etc/apt/sources.list.d/rastra-deb-src.sources >/dev/null
  apt_updated=0
  apt_update
}

# Compiles the C files named in $3.. of source folder $2 into the archive $1.
compile_archive() {
  local archive=$1 dir=$2
  shift 2
  local objects=()
  for f in "$@"; do objects+=("$dir/${f%.c}.o"); done
  (cd "$dir" && printf '%s\n' "$@" |
    xargs -P "$jobs" -n 1 sh -c 'emcc '"$deps_cflags"' -I. -I'"$deps/include"' -c "$0" -o "${0%.c}.o" || exit 255')
  emar rcs "$archive" "${objects[@]}"
}

build_deps() {
  local key
  key=$(echo "$(emcc -dumpversion) $deps_cflags $codename" | sha256sum | cut -c1-12)
  deps=$cache/deps-$key
  if [ -f "$deps/lib/libpng16.a" ] && [ -f "$deps/lib/libz.a" ]; then return; fi
  echo "build_web: compiling zlib and libpng for WebAssembly into $deps"
  add_source_entry
  local work
  work=$(mktemp -d "$cache/work.XXXXXX")
  (cd "$work" && apt-get source -qq "zlib/$codename" "libpng1.6/$codename" >/dev/null 2>&1) ||
    { echo "build_web: apt-get source zlib libpng1.6 failed" >&2; exit 1; }
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
  deps=${deps%.partial}
  rm -rf "$deps" && mv "$deps.partial" "$deps"
  rm -rf "$work"
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
