#!/usr/bin/env bash
# The preview's speed in Chromium on a 1080p H.264 clip (tests/browser/bench.mjs):
# first picture, slider to new picture in the output view and in the wipe,
# frame jumps and playing, each beside the script's own time.  Builds what
# it needs in BUILD (default build).
#
#   bench/preview.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j2 --target quorvel make_test_clip
exec tests/browser/run.sh "$build/quorvel" "$build/tests/browser" --bench 1 \
  --clip-maker "$build/tests/make_test_clip"
