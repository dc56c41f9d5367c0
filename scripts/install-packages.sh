#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet (root, or
# sudo when not root). Waits for another apt or dpkg run to finish instead of
# failing on its lock, and names what failed when a step fails.
#
#   scripts/install-packages.sh PKG...
set -euo pipefail

missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 -qq)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "install-packages: installing ${missing[*]}"
if ! "${apt[@]}" update >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-packages: apt-get update failed; the packages ${missing[*]} were not installed" >&2
  exit 1
fi
if ! "${apt[@]}" install -y --no-install-recommends "${missing[@]}" >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-packages: apt-get install ${missing[*]} failed" >&2
  exit 1
fi
