#!/usr/bin/env bash
# Installs what the program needs, builds the program (the plug-in and
# build/quorvel; the tests are ./test.sh's), and runs the example script over
# the built-in test pattern; the filtered video is written to
# build/example.y4m.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
build/quorvel run --script-dir examples --output build/example.y4m -y "$@"
echo "Wrote build/example.y4m"
