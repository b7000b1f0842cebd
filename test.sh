#!/usr/bin/env bash
# Sets up, builds, and runs every test: once on the optimised build, once
# under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded code
# under ThreadSanitizer, and the library fuzzer for a while from its corpus
# (QUORVEL_FUZZ_SECONDS, default 120; 0 skips it).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
(cd build && ctest --output-on-failure -j"$(nproc)")
scripts/setup.sh build-asan -DQUORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BENCH=OFF
(cd build-asan && ctest --output-on-failure -j"$(nproc)")
scripts/tsan.sh
fuzz_seconds=${QUORVEL_FUZZ_SECONDS:-120}
if [ "$fuzz_seconds" -gt 0 ]; then scripts/fuzz.sh "$fuzz_seconds"; fi
