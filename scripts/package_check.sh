#!/usr/bin/env bash
# Checks the Debian package of a configured and built tree the way a Debian
# packager would:
#   - lintian --pedantic finds no error and no warning, and no info or
#     pedantic tag apart from the spellings in message texts listed below;
#   - two package builds with the same SOURCE_DATE_EPOCH are byte-identical,
#     and every member carries that date;
#   - appstreamcli validates the AppStream metainfo and desktop-file-validate
#     the desktop entry, both as installed by the package;
#   - the Homepage field, the metainfo homepage, the changelog version and the
#     window icon agree with the package.
#   package_check.sh <build dir> [cpack]
# Missing tools fail the check under CI and skip it (exit 77) elsewhere;
# scripts/install-deps.sh installs them.
set -euo pipefail
build=$(cd "$1" && pwd)
cpack=${2:-cpack}
source=$(cd "$(dirname "$0")/.." && pwd)

fail() { echo "FAIL: $*"; exit 1; }
for tool in lintian appstreamcli desktop-file-validate dpkg-deb; do
  if ! command -v "$tool" >/dev/null; then
    [ -n "${CI:-}" ] && fail "$tool is not installed (scripts/install-deps.sh installs it)"
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"; exit 77
  fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The epoch of the newest changelog entry, unless the caller chose one.
changelog_date=$(sed -n 's/^ -- .*>  //p' "$source/packaging/changelog" | head -n 1)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date -u -d "$changelog_date" +%s)}

for attempt in 1 2; do
  mkdir "$scratch/$attempt"
  "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/$attempt" > "$scratch/cpack$attempt.log" 2>&1 ||
    { cat "$scratch/cpack$attempt.log"; fail "cpack (build $attempt)"; }
done
first=("$scratch"/1/*.deb) second=("$scratch"/2/*.deb)
[ ${#first[@]} -eq 1 ] && [ -f "${first[0]}" ] || fail "expected one .deb, found: ${first[*]}"
deb=${first[0]}
cmp "$deb" "${second[0]}" || fail "two builds with SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH differ"
stamp=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M')
dpkg-deb --contents "$deb" | TZ=UTC0 awk -v stamp="$stamp" '$4 " " $5 != stamp { print; bad = 1 } END { exit bad }' ||
  fail "members not dated $stamp (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"

# Tags that may remain: spellings inside message texts that stay as they are,
# and words that lintian makes of two texts the compiler stores side by side
# without a terminator ("... to work on" + "the image has ...").
allowed='^I: rastra: spelling-error-in-binary (Excpecting Expecting|writen written|onthe on the|withThe with the) \[usr/bin/rastra\]$'
lintian --pedantic --display-level '>=pedantic' "$deb" > "$scratch/lintian.txt" 2> "$scratch/lintian.err" ||
  { cat "$scratch/lintian.txt" "$scratch/lintian.err"; fail "lintian did not run through"; }
if grep -Evq "$allowed" "$scratch/lintian.txt"; then
  cat "$scratch/lintian.txt"; fail "lintian"
fi

dpkg-deb --extract "$deb" "$scratch/root"
desktop-file-validate "$scratch/root/usr/share/applications/rastra.desktop" || fail "desktop-file-validate"
metainfo=("$scratch"/root/usr/share/metainfo/*.metainfo.xml)
appstreamcli validate --no-net "${metainfo[@]}" || fail "appstreamcli validate"

homepage=$(dpkg-deb --field "$deb" Homepage)
grep -qF "<url type=\"homepage\">$homepage</url>" "${metainfo[0]}" ||
  fail "the metainfo homepage is not the package's ($homepage)"
version=$(dpkg-deb --field "$deb" Version)
zcat "$scratch/root/usr/share/doc/rastra/changelog.Debian.gz" | head -n 1 | grep -qF "rastra ($version) " ||
  fail "the newest changelog entry is not version $version"
cmp "$scratch/root/usr/share/icons/hicolor/32x32/apps/rastra.png" "$source/gui/icons/rastra_icon.png" ||
  fail "the installed icon is not the window icon"
echo "package check: lintian clean, reproducible, metainfo and desktop entry valid"
