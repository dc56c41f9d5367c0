#!/usr/bin/env bash
# Installs what is missing, builds Rastra with its tests and runs them all:
# the test suite, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short fuzzing run of every harness.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)"
scripts/sanitize.sh
scripts/fuzz.sh "${RASTRA_FUZZ_SECONDS:-20}"
