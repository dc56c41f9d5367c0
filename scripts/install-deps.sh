#!/usr/bin/env bash
# Installs what building and testing Rastra needs on Debian 12 (root or sudo).
set -euo pipefail
# The next-to-last line checks the Debian package: lintian, appstreamcli,
# desktop-file-validate; the last runs the window's smoke test on a real X
# server with a window manager (about 30 s to install).
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libpng-dev zlib1g-dev
          libgtest-dev libgmock-dev libbenchmark-dev libgif-dev libjpeg62-turbo-dev clang
          lintian appstream desktop-file-utils
          xvfb xauth openbox)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then exit 0; fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
