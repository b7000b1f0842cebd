#!/usr/bin/env bash
# Installs the Debian packages Quorvel needs (only those missing) and builds
# the plug-in, the host program, the tests and the benchmarks into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-packages.sh

build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "$@" > /dev/null
cmake --build "$build_dir" -j"$(nproc)"
