#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a fixed time
# (default 30 s, or the first argument). Seeds come from the conformance
# corpora beside the project when present. Any finding fails the run; the
# crashing inputs are left in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
# Absolute paths throughout: the command-line harness changes its working
# directory, and libFuzzer reads seed files only when it runs them.
root="$(pwd)"
seconds="${1:-30}"
corpus="${RASTRA_CORPUS:-$(pwd)/../shared/corpus}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DRASTRA_BUILD_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)"
mkdir -p build-fuzz/findings

seeds_for() {
  case "$1" in
    fuzz_reader_bmp|fuzz_reader_sbmp) echo "$corpus/bmp/g $corpus/bmp/q $corpus/bmp/b" ;;
    fuzz_reader_png) echo "$corpus/png" ;;
    fuzz_reader_gif|fuzz_gif_*) echo "$corpus/gif" ;;
    fuzz_reader_jpeg) echo "$corpus/jpeg" ;;
    *) echo "" ;;
  esac
}

status=0
for harness in build-fuzz/fuzz/fuzz_*; do
  [ -x "$harness" ] || continue
  name=$(basename "$harness")
  work=$(mktemp -d)
  dirs=("$work")
  for d in $(seeds_for "$name") "$root/fuzz/seeds/$name"; do [ -d "$d" ] && dirs+=("$d"); done
  echo "fuzzing $name for ${seconds}s"
  if ! "$harness" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$root/build-fuzz/findings/$name-" -print_final_stats=1 "${dirs[@]}" \
       >"build-fuzz/$name.log" 2>&1; then
    echo "FINDING in $name:"; tail -n 40 "build-fuzz/$name.log"; status=1
  else
    grep -E '^stat::number_of_executed_units' "build-fuzz/$name.log" | sed "s/^/  $name /"
  fi
  rm -rf "$work"
done
exit $status
