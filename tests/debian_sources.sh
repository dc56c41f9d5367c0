#!/usr/bin/env bash
# The source entries scripts/debian_source.sh derives from a machine's apt
# sources, for each way a Debian 12 machine may list them: one-line
# sources.list, deb822 .sources files, both, another mirror, and another
# project's repository beside Debian's. apt reads each crafted configuration
# through APT_CONFIG, so the machine's own is neither read nor changed.
set -euo pipefail
script=$1/scripts/debian_source.sh
command -v apt-get >/dev/null || { echo "SKIP: no apt-get on this machine"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
failures=0

deb822() { # URI SUITES...
  local uri=$1
  shift
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n\n' "$uri" "$*" "$keyring"
}
# Writes the case's configuration into $dir: $2 is the one-line list, $3 the
# deb822 file (either may be empty: no such file).
check() {
  local name=$1 oneline=$2 sources=$3 expected=$4 dir=$scratch/$1
  mkdir -p "$dir/parts"
  [ -z "$oneline" ] || printf '%s\n' "$oneline" > "$dir/sources.list"
  [ -z "$sources" ] || printf '%s' "$sources" > "$dir/parts/debian.sources"
  printf 'Dir::Etc::SourceList "%s/sources.list";\nDir::Etc::SourceParts "%s/parts";\n' "$dir" "$dir" > "$dir/apt.conf"
  local got
  got=$(APT_CONFIG=$dir/apt.conf "$script" --sources | sed -e "s|deb-src \[signed-by=$keyring\] ||" -e "s| main$||" | sort | tr '\n' ';')
  if [ "$got" != "$expected" ]; then
    echo "FAIL $name: got '$got', expected '$expected'"
    failures=$((failures + 1))
  fi
}

mirror=http://deb.debian.org/debian
other=http://mirror.example.org/debian
security=http://deb.debian.org/debian-security
check one-line "deb $mirror $codename main"$'\n'"deb $security $codename-security main" "" \
  "$mirror $codename;$security $codename-security;"
check deb822 "" "$(deb822 $mirror "$codename $codename-updates")" \
  "$mirror $codename;$mirror $codename-updates;"
check both "deb $mirror $codename main" "$(deb822 $security "$codename-security")" \
  "$mirror $codename;$security $codename-security;"
check other-mirror "" "$(deb822 $other "$codename")" "$other $codename;"
check foreign-repository "deb https://repo.example.com/apt nodistro main" "$(deb822 $mirror "$codename")" \
  "$mirror $codename;"
check nothing-listed "" "" "$mirror $codename;"

[ "$failures" -eq 0 ] || exit 1
echo "debian sources: 6 configurations give the expected source entries"
