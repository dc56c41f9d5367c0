#!/usr/bin/env bash
# rastra_add_bitmap() and rastra_add_bitmap_set() from the package of the
# Windows build, as a Windows host's CMake would use them, as far as Linux can
# show it: the package must give rastra.exe as the program, image names given
# with backslashes (as a Windows host may pass them) must be taken as paths,
# and the conversions the generated build runs must make, with rastra.exe
# under Wine, the files the Linux program makes. A Windows host's CMake itself
# (drive letters in CMAKE_CURRENT_SOURCE_DIR, cmd.exe running the rules) is
# not run here.
#
#   tests/windows/cmake_host.sh PACKAGE_PREFIX WINE_WRAPPER LINUX_RASTRA
set -euo pipefail
prefix=$1
wrapper=$2
linux=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/project/images"
cp "$source_dir/samples/logo.bmp" "$work/project/images/logo.bmp"
cp "$source_dir/samples/logo.bmp" "$work/project/images/mark.bmp"
cat > "$work/project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.22)
project(host_check C)
# What CMake sets on a Windows host; the functions' host logic follows it.
set(CMAKE_HOST_WIN32 1)
find_package(Rastra REQUIRED)
add_library(firmware STATIC)
rastra_add_bitmap(firmware SOURCE "images\\logo.bmp" CONVERT 565 FORMAT 8)
rastra_add_bitmap_set(firmware NAME icons PREFIX icon_ SOURCES "images\\logo.bmp" "images\\mark.bmp"
                      SHARED_PALETTE FORMAT 7)
CMAKE
cmake -S "$work/project" -B "$work/build" -G Ninja -DRastra_DIR="$prefix/share/cmake/Rastra" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; exit 1; }
passed=0
failed=0
check() {
  if eval "$2"; then echo "ok    $1"; passed=$((passed + 1)); else echo "FAIL  $1"; failed=$((failed + 1)); fi
}
check "the package's program is rastra.exe" "grep -q -- '-DRASTRA=$prefix/bin/rastra.exe' '$work/build/build.ninja'"
check "backslashed image names become paths" \
  "grep -q 'RASTRA_SOURCE \\[==\\[$work/project/images/logo.bmp\\]==\\]' '$work/build/rastra/logo/job.cmake'"
# Each job of the generated build, run with rastra.exe under Wine and with
# the Linux program: the same files.
for job in "$work"/build/rastra/*/job.cmake; do
  dir=$(dirname "$job")
  name=$(basename "$dir")
  mkdir -p "$dir/pending"
  (cd "$dir" && cmake -DRASTRA="$wrapper" -DRASTRA_JOB="$job" -P "$prefix/share/cmake/Rastra/RastraConvert.cmake")
  mkdir -p "$work/linux/$name/pending"
  (cd "$work/linux/$name" && cmake -DRASTRA="$linux" -DRASTRA_JOB="$job" \
     -P "$prefix/share/cmake/Rastra/RastraConvert.cmake")
  for file in "$work/linux/$name"/*; do
    [ -f "$file" ] || continue
    check "$name/$(basename "$file") as the Linux program makes it" "cmp -s '$file' '$dir/$(basename "$file")'"
  done
done
echo "cmake host: $passed passed, $failed failed"
[ "$failed" = 0 ]
