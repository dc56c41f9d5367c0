#!/bin/bash
# Builds the Debian package from this build tree (into a scratch directory)
# and checks that it holds the program, its man page and the CMake package
# that firmware builds find, and that it declares its library dependencies.
#   debian_package.sh <build dir> <cpack>
set -u
build=$1 cpack=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack"; }
packages=("$scratch"/*.deb)
[ ${#packages[@]} -eq 1 ] && [ -f "${packages[0]}" ] || fail "expected one .deb, found: ${packages[*]}"
dpkg-deb --contents "${packages[0]}" > "$scratch/contents.txt" || fail "dpkg-deb --contents"

for path in ./usr/bin/rastra ./usr/share/man/man1/rastra.1 \
            ./usr/lib/cmake/Rastra/RastraConfig.cmake ./usr/lib/cmake/Rastra/RastraConfigVersion.cmake \
            ./usr/lib/cmake/Rastra/RastraFunctions.cmake \
            ./usr/share/applications/rastra.desktop ./usr/share/icons/hicolor/scalable/apps/rastra.svg; do
  grep -qE "[[:space:]]$path\$" "$scratch/contents.txt" || { cat "$scratch/contents.txt"; fail "$path not in the package"; }
done
grep -qE '^-rwxr-xr-x .* \./usr/bin/rastra$' "$scratch/contents.txt" || fail "rastra is not executable"

dpkg-deb --field "${packages[0]}" Package Depends > "$scratch/fields.txt" || fail "dpkg-deb --field"
grep -qx 'Package: rastra' "$scratch/fields.txt" || { cat "$scratch/fields.txt"; fail "package name"; }
grep -q '^Depends:.*libqt6core6' "$scratch/fields.txt" || { cat "$scratch/fields.txt"; fail "Depends lacks Qt"; }
echo "Debian package: all checks passed"
