#!/usr/bin/env bash
# Builds the unit tests under ThreadSanitizer into build-tsan/ and runs the
# tests of everything that runs on more than one thread: the thread pool,
# the toolkit workers and the functions whose rows or workers run in
# parallel.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_TSAN=ON -DQUORVEL_BENCH=OFF > /dev/null
cmake --build build-tsan -j"$(nproc)" --target quorvel_unit_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan_suppressions.txt" \
  build-tsan/tests/quorvel_unit_tests
