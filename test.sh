#!/usr/bin/env bash
# Sets up, builds, and runs every test: once on the optimised build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
(cd build && ctest --output-on-failure -j"$(nproc)")
scripts/setup.sh build-asan -DQUORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BENCH=OFF
(cd build-asan && ctest --output-on-failure -j"$(nproc)")
