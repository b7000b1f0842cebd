#!/usr/bin/env bash
# Installs what the program and its tests need (scripts/packages.txt and
# scripts/packages-tests.txt), builds everything, and runs every test: once
# on the optimised build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the library fuzzer over a fixed sequence of
# inputs from its corpus (QUORVEL_FUZZ_RUNS, default 30000; 0 skips it).
# QUORVEL_TSAN=1 also runs the threaded code under ThreadSanitizer
# (scripts/tsan.sh, one more full build).  Then, when QUORVEL_WINDOWS=1 or
# MinGW and Wine are already installed, the Windows plug-in's tests under
# Wine (scripts/test-windows.sh; QUORVEL_WINDOWS=0 skips them).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh --tests build
(cd build && ctest --output-on-failure -j"$(nproc)" -LE windows)
scripts/setup.sh --tests build-asan -DQUORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BENCH=OFF
(cd build-asan && ctest --output-on-failure -j"$(nproc)" -LE windows)
if [ "${QUORVEL_TSAN:-0}" = 1 ]; then scripts/tsan.sh; fi
fuzz_runs=${QUORVEL_FUZZ_RUNS:-30000}
if [ "$fuzz_runs" -gt 0 ]; then FUZZ_RUNS=$fuzz_runs scripts/fuzz.sh; fi
windows=${QUORVEL_WINDOWS:-auto}
if [ "$windows" = auto ]; then
  windows=0
  if command -v i686-w64-mingw32-g++-posix >/dev/null && dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null |
       grep -q 'ok installed'; then windows=1; fi
fi
if [ "$windows" = 1 ]; then scripts/test-windows.sh; fi
