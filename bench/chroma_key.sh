#!/usr/bin/env bash
# Frames per second of the chroma-key script (bench/scripts/chroma_key) on
# 300 frames of the 1920 x 1080 test pattern, at 1 and 2 threads.
#
#   bench/chroma_key.sh [BUILD_DIR] [FRAMES]
#
# Prints wall-clock fps and the CPU seconds the run took.  The time includes
# making the test frames, which the host program does per frame; "pattern
# only" runs the same frames through an empty script to show that share.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
frames=${2:-300}
quorvel="$build/quorvel"
[ -x "$quorvel" ] || { echo "no $quorvel: build first" >&2; exit 1; }
empty=$(mktemp -d)
trap 'rm -rf "$empty"' EXIT
echo 'function video_filter(info, vars) end' > "$empty/filter.lua"

run() {  # script dir, threads
  local start end cpu
  start=$(date +%s.%N)
  cpu=$( { /usr/bin/time -f '%U %S' "$quorvel" run --input pattern:1920x1080 --frames "$frames" \
             --script-dir "$1" --threads "$2" --strict > /dev/null; } 2>&1 | tail -1 )
  end=$(date +%s.%N)
  python3 -c "import sys; s, e, u, k = map(float, sys.argv[1:5]); f = int(sys.argv[5]); \
print('%6.1f fps  (%5.2f s wall, %5.2f s CPU)' % (f / (e - s), e - s, u + k))" "$start" "$end" $cpu "$frames"
}

for threads in 1 2; do
  printf 'chroma key,   %d thread(s): ' "$threads"; run bench/scripts/chroma_key "$threads"
  printf 'pattern only, %d thread(s): ' "$threads"; run "$empty" "$threads"
done
