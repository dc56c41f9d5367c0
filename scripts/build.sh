#!/usr/bin/env bash
# Configures and builds Rastra into build/ (Release with debug info):
#   scripts/build.sh            the program with its tests
#   scripts/build.sh program    the program alone (its modules included)
#   RASTRA_NO_WARNINGS=1        a compiler warning fails the build (as in CI)
# Both configure the folder alike, so a full build after the program's
# reuses what that one compiled.
set -euo pipefail
cd "$(dirname "$0")/.."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
case "${1:-all}" in
  program)
    # Tests stay as the folder had them.
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j"$(nproc)" --target rastra_program | tee "$log" ;;
  all)
    cmake -S . -B build -G Ninja -DRASTRA_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j"$(nproc)" | tee "$log" ;;
  *) echo "usage: build.sh [program]" >&2; exit 2 ;;
esac
# Warnings are read from the log rather than made errors by a flag, so that
# the flags, and with them the compiled objects, stay those of a user's build.
if [ "${RASTRA_NO_WARNINGS:-0}" = 1 ] && grep -q 'warning:' "$log"; then
  grep -A3 'warning:' "$log" >&2
  echo "build: the compiler warned (above)" >&2
  exit 1
fi
