#!/usr/bin/env bash
# Builds the library fuzzer with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs it for a while from
# the seed corpus in tests/fuzz/corpus (copied, so the repository's corpus
# stays as it is).  Usage: scripts/fuzz.sh [seconds, default 120]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_FUZZ=ON \
  -DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF > /dev/null
cmake --build build-fuzz -j"$(nproc)" --target quorvel_fuzzer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/fuzz/corpus/* "$work"/
# Findings (crash-*, leak-*, timeout-*) are written to build-fuzz/findings.
mkdir -p build-fuzz/findings
build-fuzz/quorvel_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 \
  -print_final_stats=1 -artifact_prefix=build-fuzz/findings/ "$work"
