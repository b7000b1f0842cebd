#!/usr/bin/env bash
# Sets up, builds, and runs every test: once on the optimised build, once
# under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded code
# under ThreadSanitizer, and the library fuzzer for a while from its corpus
# (QUORVEL_FUZZ_SECONDS, default 120; 0 skips it).  Then, when
# QUORVEL_WINDOWS=1 or MinGW and Wine are already installed, the Windows
# plug-in's tests under Wine (scripts/test-windows.sh; QUORVEL_WINDOWS=0
# skips them).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
(cd build && ctest --output-on-failure -j"$(nproc)" -LE windows)
scripts/setup.sh build-asan -DQUORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BENCH=OFF
(cd build-asan && ctest --output-on-failure -j"$(nproc)" -LE windows)
scripts/tsan.sh
fuzz_seconds=${QUORVEL_FUZZ_SECONDS:-120}
if [ "$fuzz_seconds" -gt 0 ]; then scripts/fuzz.sh "$fuzz_seconds"; fi
windows=${QUORVEL_WINDOWS:-auto}
if [ "$windows" = auto ]; then
  windows=0
  if command -v i686-w64-mingw32-g++-posix >/dev/null && dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null |
       grep -q 'ok installed'; then windows=1; fi
fi
if [ "$windows" = 1 ]; then scripts/test-windows.sh; fi
