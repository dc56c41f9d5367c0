#!/usr/bin/env bash
# Mutation testing of the core: puts each fault of scripts/mutations.txt into
# the source on its own, builds, runs the test suite and records whether a
# test noticed. A fault no test notices (a survivor) points at behaviour the
# tests do not pin down. Not part of CI: a full run takes hours.
#
#   scripts/mutate.sh [BUILD_DIR]        (default build-mutate, RelWithDebInfo)
#   scripts/mutate.sh --check            only checks that the list is not stale
#
# A line of the list is "FILE | ORIGINAL | REPLACEMENT": ORIGINAL is text that
# occurs exactly once in FILE (within one line), REPLACEMENT what it becomes.
# Neither may contain " | ". Lines starting with # and empty lines are skipped.
# An ORIGINAL that does not occur exactly once makes the list stale: the run
# stops before building anything, since a stale list must not pass unnoticed.
#
# Environment:
#   RASTRA_MUTATIONS       another list (default scripts/mutations.txt)
#   RASTRA_MUTATION_ONLY   extended regex: run only the lines it matches
#   RASTRA_TEST_TIMEOUT    seconds a test may run (default 300); a mutant that
#                          makes a test hang counts as killed when it times out
#   RASTRA_CORPUS          as for the tests
#
# The packaging and installation tests (debian_package, firmware_example,
# library_example, add_bitmap_inputs) are left out: they test how the program
# is built and installed, not what the core does, and take minutes each.
#
# Each file is restored with "git checkout" after its mutant ran, also on
# Ctrl-C; the run refuses to start while a listed file has uncommitted changes,
# which that would throw away. Exits non-zero below a 95 % kill rate.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

check_only=false
if [ "${1:-}" = "--check" ]; then
  check_only=true
  shift
fi
build="${1:-build-mutate}"
list="${RASTRA_MUTATIONS:-scripts/mutations.txt}"
only="${RASTRA_MUTATION_ONLY:-}"
test_timeout="${RASTRA_TEST_TIMEOUT:-300}"
min_rate=95
excluded='^(debian_package|firmware_example|library_example|add_bitmap_inputs)$'
separator=' | '

export QT_QPA_PLATFORM=offscreen
log_dir="$build/mutation-logs"

# ------------------------------------------------------------------ the list

files=()
originals=()
replacements=()
sources=()  # "list:line" for messages

fail_list() {
  echo "mutate.sh: $1" >&2
  exit 2
}

# Occurrences of the literal text $2 in file $1.
count_occurrences() {
  perl -0777 -ne 'BEGIN { $t = shift @ARGV } $n = 0; $p = 0;
    while (($p = index($_, $t, $p)) >= 0) { ++$n; $p += length $t } print $n' "$2" "$1"
}

# Replaces the one occurrence of $2 in file $1 by $3.
apply_mutation() {
  perl -0777 -i -pe 'BEGIN { ($t, $r) = splice @ARGV, 0, 2 }
    $p = index($_, $t); substr($_, $p, length $t) = $r if $p >= 0' "$2" "$3" "$1"
}

line_of() {
  perl -0777 -ne 'BEGIN { $t = shift @ARGV } $p = index($_, $t);
    print 1 + (substr($_, 0, $p) =~ tr/\n//)' "$2" "$1"
}

read_list() {
  [ -f "$list" ] || fail_list "no mutation list $list"
  local number=0 raw file original replacement rest
  while IFS= read -r raw || [ -n "$raw" ]; do
    number=$((number + 1))
    [[ "$raw" =~ ^[[:space:]]*(#|$) ]] && continue
    [ -n "$only" ] && ! [[ "$raw" =~ $only ]] && continue
    file="${raw%%"$separator"*}"
    rest="${raw#*"$separator"}"
    original="${rest%%"$separator"*}"
    replacement="${rest#*"$separator"}"
    if [ "$file" = "$raw" ] || [ "$original" = "$rest" ] || [[ "$replacement" == *"$separator"* ]]; then
      fail_list "$list:$number: not FILE | ORIGINAL | REPLACEMENT"
    fi
    [ -f "$file" ] || fail_list "$list:$number: stale: $file does not exist"
    [[ "$original" == *$'\t'* ]] && fail_list "$list:$number: tabs are not allowed"
    local found
    found=$(count_occurrences "$file" "$original")
    if [ "$found" != 1 ]; then
      fail_list "$list:$number: stale: \"$original\" occurs $found times in $file (must be once)"
    fi
    [ "$original" != "$replacement" ] || fail_list "$list:$number: the replacement changes nothing"
    files+=("$file")
    originals+=("$original")
    replacements+=("$replacement")
    sources+=("$list:$number")
  done <"$list"
  [ "${#files[@]}" -gt 0 ] || fail_list "no mutations selected"
}

read_list
if $check_only; then
  echo "${#files[@]} mutations, none stale."
  exit 0
fi

for file in $(printf '%s\n' "${files[@]}" | sort -u); do
  if ! git diff --quiet HEAD -- "$file"; then
    fail_list "$file has uncommitted changes; commit or stash them first (the run restores files with git checkout)"
  fi
done

# ------------------------------------------------------------------ running

mutated_file=""
restore() {
  if [ -n "$mutated_file" ]; then
    git checkout -- "$mutated_file"
    mutated_file=""
  fi
}
trap 'restore' EXIT
trap 'echo; echo "mutate.sh: interrupted, source restored" >&2; restore; exit 130' INT TERM

build_all() {
  cmake --build "$build" -j2 >"$1" 2>&1
}

# The test that failed, from a ctest log: the summary also lists, under the
# same heading, the tests that never ran ("(Not Run)", "(Disabled)") because
# --stop-on-failure ended the run, and those may come first.
killer_of() {
  grep -oE '^[[:space:]]*[0-9]+ - [^ ]+ \([A-Za-z ]+\)' "$1" | grep -vE '\((Not Run|Disabled)\)$' |
    head -n1 | sed -E 's/^[[:space:]]*[0-9]+ - //'
}

run_suite() {
  ctest --test-dir "$build" -j2 --timeout "$test_timeout" --stop-on-failure -E "$excluded" \
    --output-on-failure >"$1" 2>&1
}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DRASTRA_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 2
fi
mkdir -p "$log_dir"

started=$(date +%s)
echo "Baseline: building and running the suite without a mutation ..."
if ! build_all "$log_dir/baseline-build.log"; then
  echo "mutate.sh: the unmutated source does not build (see $log_dir/baseline-build.log)" >&2
  exit 2
fi
if ! run_suite "$log_dir/baseline-test.log"; then
  echo "mutate.sh: the suite fails without a mutation (see $log_dir/baseline-test.log)" >&2
  exit 2
fi
echo "Baseline passed in $(($(date +%s) - started)) s; ${#files[@]} mutations to run."

killed=0
survived=0
build_failures=()
survivors=()
total=${#files[@]}
for ((i = 0; i < total; ++i)); do
  file="${files[i]}"
  original="${originals[i]}"
  replacement="${replacements[i]}"
  label="$file:$(line_of "$file" "$original"): '$original' -> '$replacement'"
  log="$log_dir/mutation-$((i + 1))"
  t0=$(date +%s)
  # Checked again: an earlier mutant's restore must have left the file as listed.
  if [ "$(count_occurrences "$file" "$original")" != 1 ]; then
    echo "mutate.sh: ${sources[i]}: stale: the original no longer occurs once in $file" >&2
    exit 2
  fi
  mutated_file="$file"
  apply_mutation "$file" "$original" "$replacement"
  if ! build_all "$log.build.log"; then
    outcome="killed (build failed)"
    killed=$((killed + 1))
    build_failures+=("$label")
  elif run_suite "$log.test.log"; then
    outcome="SURVIVED"
    survived=$((survived + 1))
    survivors+=("$label")
  else
    first=$(killer_of "$log.test.log")
    outcome="killed by ${first:-a failing test}"
    killed=$((killed + 1))
  fi
  restore
  printf '[%d/%d] %s (%d s)\n    %s\n' "$((i + 1))" "$total" "$outcome" "$(($(date +%s) - t0))" "$label"
done

# The build is left matching the restored source.
build_all "$log_dir/final-build.log" || echo "mutate.sh: the restored source did not build again" >&2

echo
echo "Survivors: ${#survivors[@]}"
for s in "${survivors[@]}"; do echo "  $s"; done
if [ "${#build_failures[@]}" -gt 0 ]; then
  echo "Mutations that did not compile (counted as killed, but they test nothing): ${#build_failures[@]}"
  for s in "${build_failures[@]}"; do echo "  $s"; done
fi
rate_tenths=$((1000 * killed / (killed + survived)))
echo "Kill rate: $killed / $((killed + survived)) = $((rate_tenths / 10)).$((rate_tenths % 10)) %" \
  "(run took $(($(date +%s) - started)) s)"
[ "$rate_tenths" -ge $((10 * min_rate)) ]
