#!/usr/bin/env bash
# The core library built alone and shared, as a distribution or another
# project builds it: a configure that never looks for Qt, a SONAME, the
# installed headers, pkg-config file and CMake package, the examples built
# and run against it, and every exported symbol in namespace rastra. The
# pkg-config line of the docs is also tried against the static core of
# RASTRA_STATIC_BUILD (default build/).
#   scripts/shared_library.sh [BUILD_DIR]   (default build-shared)
set -euo pipefail
cd "$(dirname "$0")/.."
source=$(pwd)
build=${1:-build-shared}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRASTRA_BUILD_GUI=OFF -DBUILD_SHARED_LIBS=ON \
  -DRASTRA_WERROR=ON > "$scratch/configure.log"
if grep -q 'Qt6' "$build/CMakeCache.txt"; then fail "a core-only configure looked for Qt"; fi
cmake --build "$build" -j"$(nproc)"
cmake --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log"
prefix=$scratch/prefix

library=$(find "$prefix" -name 'librastra_core.so.*' -type f | head -n 1)
[ -n "$library" ] || fail "no shared core installed"
soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
version=$(sed -n 's/^#define RASTRA_VERSION_STRING "\(.*\)"/\1/p' "$prefix/include/rastra/version.h")
[ "$soname" = "librastra_core.so.$version" ] || fail "SONAME is '$soname', expected librastra_core.so.$version"
[ ! -e "$prefix/bin/rastra" ] || fail "a core-only build installed the program"
"$source/tests/library_interface.sh" "$build" "$source" "$library"

# pkg-config: a program compiled and linked with nothing but the line the
# docs show, against the shared install here and against the static one the
# default build installs.
cat > "$scratch/version.cpp" <<'PROGRAM'
#include <rastra/rastra.h>
#include <cstdio>
#include <cstring>
int main() {
  std::printf("%s\n", rastra::VersionString());
  return std::strcmp(rastra::VersionString(), RASTRA_VERSION_STRING) == 0 ? 0 : 1;
}
PROGRAM
pkg_config_program() {
  local install=$1 kind=$2 pcdir
  pcdir=$(dirname "$(find "$install" -name rastra.pc | head -n 1)")
  # shellcheck disable=SC2046  # pkg-config's words are meant to split
  c++ -std=c++17 -o "$scratch/version-$kind" "$scratch/version.cpp" \
    $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs rastra) > "$scratch/link-$kind.log" 2>&1 ||
    { head -n 20 "$scratch/link-$kind.log"; fail "the documented pkg-config line does not build against the $kind core"; }
  LD_LIBRARY_PATH=$(dirname "$library") "$scratch/version-$kind" > "$scratch/version.txt" || fail "pkg-config program ($kind)"
  [ "$(cat "$scratch/version.txt")" = "$version" ] || fail "the $kind library says it is $(cat "$scratch/version.txt")"
}
pkg_config_program "$prefix" shared
static_build=${RASTRA_STATIC_BUILD:-build}
if [ -f "$static_build/librastra_core.a" ]; then
  cmake --install "$static_build" --prefix "$scratch/static" > "$scratch/install-static.log"
  pkg_config_program "$scratch/static" static
else
  echo "shared_library: no static core in $static_build (build it with scripts/build.sh); its pkg-config line is not checked"
fi

# The examples through find_package(Rastra COMPONENTS core).
cmake -S examples/library -B "$scratch/examples" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" > "$scratch/examples.log" ||
  { cat "$scratch/examples.log"; fail "configure the examples"; }
cmake --build "$scratch/examples" > "$scratch/examples-build.log" || { cat "$scratch/examples-build.log"; fail "build the examples"; }
mkdir "$scratch/out"
"$scratch/examples/to565" samples/logo.bmp "$scratch/out" || fail "to565"
[ "$(stat -c %s "$scratch/out/logo.dta")" -eq $((16 + 96 * 48 * 2)) ] || fail "logo.dta has the wrong size"
ldd "$scratch/examples/to565" > "$scratch/ldd.txt"
grep -q "librastra_core.so.$version" "$scratch/ldd.txt" || { cat "$scratch/ldd.txt"; fail "to565 does not use the shared core"; }
echo "shared core library: $soname, examples built and run against it"
