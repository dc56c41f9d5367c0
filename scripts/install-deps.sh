#!/usr/bin/env bash
# Installs what building and testing Rastra needs on Debian 12 (root or sudo).
set -euo pipefail
# lintian, appstream and desktop-file-utils check the Debian package; xvfb,
# xauth and openbox run the window's smoke test on a real X server with a
# window manager (about 30 s to install); liblz4-dev gives LVGL images their
# LZ4, and python3-png and python3-lz4 run LVGL's converter, the LVGL test's
# oracle.
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libpng-dev zlib1g-dev
          libgtest-dev libgmock-dev libbenchmark-dev libgif-dev libjpeg62-turbo-dev clang
          lintian appstream desktop-file-utils
          xvfb xauth openbox
          liblz4-dev python3-png python3-lz4)
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
