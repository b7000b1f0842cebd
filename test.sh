#!/usr/bin/env bash
# Sets up, builds, and runs every test: once on the optimised build, once
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the library
# fuzzer over a fixed sequence of inputs from its corpus (QUORVEL_FUZZ_RUNS,
# default 30000; 0 skips it).  QUORVEL_TSAN=1 also runs the threaded code
# under ThreadSanitizer (scripts/tsan.sh, one more full build).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
(cd build && ctest --output-on-failure -j"$(nproc)")
scripts/setup.sh build-asan -DQUORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BENCH=OFF
(cd build-asan && ctest --output-on-failure -j"$(nproc)")
if [ "${QUORVEL_TSAN:-0}" = 1 ]; then scripts/tsan.sh; fi
fuzz_runs=${QUORVEL_FUZZ_RUNS:-30000}
if [ "$fuzz_runs" -gt 0 ]; then FUZZ_RUNS=$fuzz_runs scripts/fuzz.sh; fi
