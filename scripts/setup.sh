#!/usr/bin/env bash
# Installs the Debian packages that are missing and builds into a build
# folder (default build/).
#
#   scripts/setup.sh [BUILD-DIR [CMAKE-OPTIONS...]]          the program: the plug-in and
#                                                            build/quorvel, nothing else
#   scripts/setup.sh --tests [BUILD-DIR [CMAKE-OPTIONS...]]  also the tests, the benchmarks
#                                                            and the GStreamer element
#
# Without --tests a new build folder is configured without the tests, the
# benchmarks and the GStreamer element (whose packages are not installed
# then); a folder that was configured with them keeps them, and only the
# program is built.  ccache is used when it is there.
set -euo pipefail
cd "$(dirname "$0")/.."

tests=0
if [ "${1:-}" = --tests ]; then
  tests=1
  shift
fi
build_dir=${1:-build}
shift || true
options=(-DCMAKE_BUILD_TYPE=Release)
if command -v ccache > /dev/null; then options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
if [ "$tests" = 1 ]; then
  scripts/install-packages.sh --tests
  options+=(-DQUORVEL_TESTS=ON -DQUORVEL_BENCH=ON -DQUORVEL_GST=ON)
  targets=()
else
  scripts/install-packages.sh
  [ -f "$build_dir/CMakeCache.txt" ] || options+=(-DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF -DQUORVEL_GST=OFF)
  targets=(--target quorvel quorvel_plugin)
fi
cmake -S . -B "$build_dir" "${options[@]}" "$@" > /dev/null
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
