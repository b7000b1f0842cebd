#!/usr/bin/env bash
# Builds the library fuzzer with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs it for a while from
# the seed corpus in tests/fuzz/corpus (copied, so the repository's corpus
# stays as it is).  Usage: scripts/fuzz.sh [seconds, default 120]
# With FUZZ_RUNS=N it runs N inputs from the seed FUZZ_SEED (default 1)
# instead: the same inputs on every machine, as the test command wants.
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
if [ -n "${FUZZ_RUNS:-}" ]; then
  budget=(-runs="$FUZZ_RUNS" -seed="${FUZZ_SEED:-1}")
else
  budget=(-max_total_time="$seconds")
fi
build-fuzz/quorvel_fuzzer "${budget[@]}" -timeout=10 -rss_limit_mb=3072 \
  -print_final_stats=1 -artifact_prefix=build-fuzz/findings/ "$work"
