#!/usr/bin/env bash
# Builds the core library and its threads tests with ThreadSanitizer into
# build-tsan/ and runs them: two conversions at once must not race, nor the
# images of one command line converted side by side.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -G Ninja -DRASTRA_BUILD_TESTS=ON -DRASTRA_SANITIZE_THREAD=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-tsan -j"$(nproc)" --target test_core_threads test_cli_threads
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" build-tsan/tests/test_core_threads
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" build-tsan/tests/test_cli_threads
