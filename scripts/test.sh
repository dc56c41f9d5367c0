#!/usr/bin/env bash
# Installs what is missing, builds Rastra with its tests and runs them all:
# the layer check of the core's includes, the test suite, the core library
# built alone and shared, the web page in headless Chromium, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, the threads test
# under ThreadSanitizer, and a short fuzzing run of every harness.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check_includes.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
ctest --test-dir build --output-on-failure -j"$(nproc)" | tee "$summary"
scripts/shared_library.sh
RASTRA=$PWD/build/rastra scripts/test_web.sh
scripts/sanitize.sh
scripts/tsan.sh
scripts/fuzz.sh "${RASTRA_FUZZ_SECONDS:-20}"
# Every step above stops the script on a failure, so reaching here means all passed.
total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$summary" | tail -n 1)
echo "tests: ${total:-0} passed, 0 failed"
