#!/bin/bash
# Builds the Debian package from this build tree (into a scratch directory)
# and checks that it holds the program, its man page, the CMake package that
# firmware builds find and the desktop integration, and that it declares its
# library dependencies. Then scripts/package_check.sh checks it as a Debian
# packager would (lintian, reproducibility, AppStream, desktop entry).
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

for path in ./usr/bin/rastra ./usr/share/man/man1/rastra.1.gz \
            ./usr/share/doc/rastra/copyright ./usr/share/doc/rastra/changelog.Debian.gz \
            ./usr/share/cmake/Rastra/RastraConfig.cmake ./usr/share/cmake/Rastra/RastraConfigVersion.cmake \
            ./usr/share/cmake/Rastra/RastraFunctions.cmake ./usr/lib/[^/]+/cmake/RastraCore/RastraCoreConfig.cmake \
            ./usr/lib/[^/]+/pkgconfig/rastra.pc ./usr/include/rastra/rastra.h ./usr/include/rastra/version.h \
            ./usr/share/applications/rastra.desktop ./usr/share/mime/packages/rastra.xml \
            ./usr/share/metainfo/example.vantor.rastra.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/rastra.svg \
            ./usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/rastra.png; do
  grep -qE "[[:space:]]$path\$" "$scratch/contents.txt" || { cat "$scratch/contents.txt"; fail "$path not in the package"; }
done
grep -qE '^-rwxr-xr-x .* \./usr/bin/rastra$' "$scratch/contents.txt" || fail "rastra is not executable"
# Only the public headers: the library's own layout stays inside.
if grep -qE '\./usr/include/rastra/[a-z]+/' "$scratch/contents.txt"; then fail "internal headers are installed"; fi

dpkg-deb --field "${packages[0]}" Package Depends > "$scratch/fields.txt" || fail "dpkg-deb --field"
grep -qx 'Package: rastra' "$scratch/fields.txt" || { cat "$scratch/fields.txt"; fail "package name"; }
grep -q '^Depends:.*libqt6core6' "$scratch/fields.txt" || { cat "$scratch/fields.txt"; fail "Depends lacks Qt"; }
dpkg-deb --fsys-tarfile "${packages[0]}" | tar -xOf - ./usr/share/man/man1/rastra.1.gz | gzip -dc |
  cmp - "$(dirname "$0")/../docs/rastra.1" || fail "the installed man page is not docs/rastra.1"

"$(dirname "$0")/../scripts/package_check.sh" "$build" "$cpack"
