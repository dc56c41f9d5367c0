#!/usr/bin/env bash
# Configures and builds Rastra into build/ (Release with debug info):
#   scripts/build.sh            the program with its tests
#   scripts/build.sh program    the program alone (its modules included)
#   RASTRA_WERROR=ON            warnings stop the build (as in CI)
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-all}" in
  program)
    # Tests stay as the folder had them: a later full build reuses this one.
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j"$(nproc)" --target rastra_program ;;
  all)
    cmake -S . -B build -G Ninja -DRASTRA_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DRASTRA_WERROR="${RASTRA_WERROR:-OFF}" >/dev/null
    cmake --build build -j"$(nproc)" ;;
  *) echo "usage: build.sh [program]" >&2; exit 2 ;;
esac
