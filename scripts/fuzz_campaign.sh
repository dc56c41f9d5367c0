#!/usr/bin/env bash
# A long run of one harness (scripts/fuzz.sh builds them): fuzzes for the
# given number of seconds in total, one worker, keeping its corpus in
# build-fuzz/campaign/<harness>/. A finding does not end the campaign: its
# input is kept in build-fuzz/findings/ and fuzzing goes on from the corpus.
# At the end the executions, the rate, the coverage and the findings are
# printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
name="$1"
total="${2:-1800}"
harness="build-fuzz/fuzz/$name"
[ -x "$harness" ] || { echo "no harness $harness (run scripts/fuzz.sh first)"; exit 1; }
corpus="build-fuzz/campaign/$name"
mkdir -p "$corpus" build-fuzz/findings
seeds=()
[ -d "fuzz/seeds/$name" ] && seeds+=("$root/fuzz/seeds/$name")
log="build-fuzz/campaign/$name.log"
: >"$log"
start=$(date +%s)
runs=0
findings=0
while :; do
  left=$(( total - ($(date +%s) - start) ))
  [ "$left" -gt 5 ] || break
  status=0
  "$harness" -max_total_time="$left" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$root/build-fuzz/findings/$name-" "$corpus" "${seeds[@]}" >>"$log" 2>&1 || status=$?
  segment=$(grep -E '^stat::number_of_executed_units' "$log" | tail -n 1 | sed 's/[^0-9]//g')
  # A run that ended on a finding prints no final figures; its last status line has the count.
  [ "$status" -eq 0 ] || { segment=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed 's/^#\([0-9]*\).*/\1/'); findings=$((findings + 1)); }
  runs=$((runs + ${segment:-0}))
  [ "$status" -eq 0 ] && break
  echo "finding $findings in $name (status $status), going on" | tee -a "$log"
done
seconds=$(( $(date +%s) - start ))
coverage=$(grep -E '^#[0-9]+' "$log" | sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/\1 edges, \2 features/p' | tail -n 1)
echo "$name: $runs runs in ${seconds}s, $((runs / (seconds > 0 ? seconds : 1))) per second, $coverage, corpus $(ls "$corpus" | wc -l) files, $findings finding(s)"
