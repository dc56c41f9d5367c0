#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a fixed time
# (default 30 s, or the first argument); further arguments name the harnesses
# to run (default: all), and the figures of each run are printed. Seeds come from fuzz/seeds/ and from
# the conformance corpora beside the project when present. Any finding fails the run; the
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

# Corpus files of the harness's own type below 32 KiB; big files and the reference
# decodes beside the JPEG files would only slow every run down.
copy_corpus_seeds() {
  local folder extension
  case "$1" in
    fuzz_reader_bmp|fuzz_reader_sbmp) folder=bmp extension=bmp ;;
    fuzz_reader_png) folder=png extension=png ;;
    fuzz_reader_gif|fuzz_gif_*) folder=gif extension=gif ;;
    fuzz_reader_jpeg) folder=jpeg extension=jpg ;;
    *) return 0 ;;
  esac
  [ -d "$corpus/$folder" ] || return 0
  find "$corpus/$folder" -type f -iname "*.$extension" -size -32k -exec cp {} "$2" \;
}

shift $(( $# > 0 ? 1 : 0 ))
if [ $# -gt 0 ]; then
  harnesses=()
  for name in "$@"; do harnesses+=("build-fuzz/fuzz/$name"); done
else
  harnesses=(build-fuzz/fuzz/fuzz_*)
fi

status=0
for harness in "${harnesses[@]}"; do
  [ -x "$harness" ] || { echo "no harness $harness"; status=1; continue; }
  name=$(basename "$harness")
  work=$(mktemp -d)
  mkdir "$work/corpus" "$work/seeds"
  copy_corpus_seeds "$name" "$work/seeds"
  dirs=("$work/corpus" "$work/seeds")
  [ -d "$root/fuzz/seeds/$name" ] && dirs+=("$root/fuzz/seeds/$name")
  echo "fuzzing $name for ${seconds}s"
  if ! "$harness" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$root/build-fuzz/findings/$name-" -print_final_stats=1 "${dirs[@]}" \
       >"build-fuzz/$name.log" 2>&1; then
    echo "FINDING in $name:"; tail -n 40 "build-fuzz/$name.log"; status=1
  else
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/$name.log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "build-fuzz/$name.log")
    coverage=$(grep -E '^#[0-9]+' "build-fuzz/$name.log" | sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/\1 edges, \2 features/p' | tail -n 1)
    echo "  $name: $runs runs, $rate per second, ${coverage:-coverage not printed}"
  fi
  rm -rf "$work"
done
exit $status
