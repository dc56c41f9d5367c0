#!/usr/bin/env bash
# Installs what is missing, builds Rastra with its tests and runs them all:
# the layer check of the core's includes, the test suite, the core library
# built alone and shared, the web page in headless Chromium, the Windows
# build under Wine (scripts/test_windows.sh), the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, the threads test
# under ThreadSanitizer, and a short fuzzing run of every harness. Each
# stage's time is printed as it ends.
#   RASTRA_TEST_SKIP="sanitize tsan fuzz"   stages to leave out
#   RASTRA_FUZZ_SECONDS=N                   each harness's fuzzing time (10)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
stage() {
  local name=$1 t0
  shift
  case " ${RASTRA_TEST_SKIP:-} " in *" $name "*) echo "test: $name skipped"; return 0 ;; esac
  t0=$(date +%s)
  "$@"
  echo "test: $name passed in $(( $(date +%s) - t0 )) s"
}
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
export QT_QPA_PLATFORM=offscreen
run_suite() {
  ctest --test-dir build --output-on-failure -j"$(nproc)" | tee "$summary"
}
stage install scripts/install-deps.sh
stage includes scripts/check_includes.sh
stage build env RASTRA_NO_WARNINGS=1 scripts/build.sh
stage suite run_suite
stage shared scripts/shared_library.sh
stage web env RASTRA="$PWD/build/rastra" scripts/test_web.sh
stage windows env RASTRA="$PWD/build/rastra" scripts/test_windows.sh
stage sanitize scripts/sanitize.sh
stage tsan scripts/tsan.sh
stage fuzz scripts/fuzz.sh "${RASTRA_FUZZ_SECONDS:-10}"
# Every stage above stops the script on a failure, so reaching here means all passed.
echo "test: all stages passed in $(( $(date +%s) - started )) s"
total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$summary" | tail -n 1)
echo "tests: ${total:-0} passed, 0 failed"
