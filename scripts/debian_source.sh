#!/usr/bin/env bash
# Fetches and unpacks Debian source packages of the release this machine runs
# into a folder, without touching the machine's apt configuration:
#
#   scripts/debian_source.sh DEST PKG...
#   scripts/debian_source.sh --sources   print the source entries it would use
#
# e.g. `scripts/debian_source.sh work zlib libpng1.6` leaves work/zlib-*/ and
# work/libpng1.6-*/. Each package comes at the version of its installed binary
# package where the archive still has it, so a build from these sources matches
# the libraries the native program links; otherwise at the release's newest.
#
# apt reads a private sources list (deb-src lines for the sites and suites the
# machine's own sources name, whatever their file format) and keeps its lists
# in the user's cache; nothing under /etc or /var/lib/apt is written.
#   RASTRA_APT_CACHE=dir   where the private lists live
#                          (default ~/.cache/rastra-apt)
set -euo pipefail

fail() { echo "debian_source: $*" >&2; exit 1; }

source_entries() {
  local keyring=$1 sources
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  # apt itself reads the machine's sources, one-line and deb822 alike; we
  # only turn each site and suite of the release it names into a source
  # entry (other projects' repositories name suites of their own).
  sources=$(apt-get indextargets --no-release-info --format '$(SITE) $(RELEASE)' 2>/dev/null |
            awk -v c="$codename" '$2 == c || index($2, c "-") == 1' | sort -u) ||
    fail "apt-get indextargets could not read the machine's apt sources"
  [ -n "$sources" ] || sources="http://deb.debian.org/debian $codename"
  while read -r site suite; do
    echo "deb-src [signed-by=$keyring] $site $suite main"
  done <<< "$sources"
}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
if [ "${1:-}" = --sources ]; then source_entries "$keyring"; exit 0; fi
[ $# -ge 2 ] || fail "usage: debian_source.sh DEST PKG..."
dest=$1
shift
command -v apt-get >/dev/null || fail "apt-get is missing: this script needs a Debian system"
command -v dpkg-source >/dev/null || fail "dpkg-source is missing (install dpkg-dev)"
[ -f "$keyring" ] || fail "$keyring is missing (install debian-archive-keyring)"

apt_home=${RASTRA_APT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rastra-apt}
mkdir -p "$apt_home/lists/partial" "$apt_home/cache/archives/partial" "$apt_home/parts" "$dest"

# Two builds may fetch at once: one lock around the private lists.
exec 9>"$apt_home/lock"
flock 9
list=$apt_home/sources.list
source_entries "$keyring" > "$list"

apt_options=(-o "Dir::Etc::SourceList=$list" -o "Dir::Etc::SourceParts=$apt_home/parts"
             -o "Dir::State::Lists=$apt_home/lists" -o "Dir::Cache=$apt_home/cache"
             -o "APT::Sandbox::User=$(id -un)")

# A site that fails (a repository of another project, signed by another
# key) need not stop the others: what counts is whether the packages come.
apt-get "${apt_options[@]}" update -qq >"$apt_home/update.log" 2>&1 || true

installed_version() {
  # The source version of the first installed binary package built from $1.
  dpkg-query -W -f='${source:Package} ${source:Version} ${db:Status-Abbrev}\n' 2>/dev/null |
    awk -v src="$1" '$1 == src && $3 ~ /^ii/ { print $2; exit }'
}

# Versions to try, best first: the installed one, then what the lists offer,
# newest first (a mirror may list a version whose files it no longer serves).
candidate_versions() {
  installed_version "$1"
  apt-cache "${apt_options[@]}" madison "$1" 2>/dev/null | awk -F'|' '/Sources/ { gsub(/ /, "", $2); print $2 }' |
    sort -Vr
}

cd "$dest"
for pkg in "$@"; do
  fetched=0
  for version in $(candidate_versions "$pkg" | awk '!seen[$0]++'); do
    if apt-get "${apt_options[@]}" source -qq "$pkg=$version" >"$apt_home/source.log" 2>&1; then
      fetched=1
      break
    fi
  done
  if [ "$fetched" -eq 0 ]; then
    cat "$apt_home/update.log" "$apt_home/source.log" >&2 2>/dev/null || true
    fail "apt-get source $pkg failed for every version the sources list ($(candidate_versions "$pkg" | tr '\n' ' '))"
  fi
done
