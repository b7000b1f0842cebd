#!/usr/bin/env bash
# Runs the preview page's browser tests: installs playwright-core from the
# lock file into WORK_DIR (npm ci, again only when the lock file changes)
# and drives Debian's Chromium headless against QUORVEL_BINARY.
#
#   tests/browser/run.sh build/quorvel build/tests/browser [--screenshot docs/preview.png]
#
# Exits 77 (a skip for ctest) only when Chromium cannot start at all.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$1
work=$2
shift 2

chromium=${CHROMIUM:-$(command -v chromium || command -v chromium-browser || true)}
# Chromium refuses to run as root inside its sandbox.
flags=(--headless --disable-gpu --no-sandbox)
if [ -z "$chromium" ]; then
  echo "SKIP: no chromium found (apt-get install chromium)"
  exit 77
fi
if ! timeout 60 "$chromium" "${flags[@]}" --dump-dom about:blank > /dev/null 2>&1; then
  echo "SKIP: $chromium cannot start here:"
  timeout 60 "$chromium" "${flags[@]}" --dump-dom about:blank 2>&1 | tail -5 || true
  exit 77
fi

mkdir -p "$work"
if ! cmp -s "$here/package-lock.json" "$work/package-lock.json" || [ ! -d "$work/node_modules/playwright-core" ]; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi
CHROMIUM="$chromium" exec node "$here/preview.test.mjs" --binary "$binary" --modules "$work" "$@"
