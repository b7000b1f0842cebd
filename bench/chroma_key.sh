#!/usr/bin/env bash
# Frames per second of the chroma-key script (bench/scripts/chroma_key.lua)
# on 300 frames of the 1920 x 1080 test pattern, at 1 and 2 threads, through
# the host program as a user runs it.
#
#   bench/chroma_key.sh [BUILD_DIR] [FRAMES] [SCRIPT]
#   bench/chroma_key.sh --table [BUILD_DIR] [FRAMES]   (one line per thread
#                                     count: threads, wall ms, CPU ms a frame)
#
# QUORVEL_RUN_OPTIONS adds options to every run: "--sandbox" measures the
# plug-in in its worker process, frames through shared memory.
#
# Prints wall-clock fps and the CPU seconds the run took.  The time includes
# making the test frames; "pattern only" runs the same frames through an
# empty script to show that share.  On a shared machine the wall time
# depends on the other work; the CPU time much less.
set -euo pipefail
cd "$(dirname "$0")/.."
table=
if [ "${1:-}" = --table ]; then table=1; shift; fi
build=${1:-build}
frames=${2:-300}
script=${3:-bench/scripts/chroma_key.lua}
quorvel="$build/quorvel"
[ -x "$quorvel" ] || { echo "no $quorvel: build first" >&2; exit 1; }
[ -f "$script" ] || { echo "no $script" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/key" "$work/empty"
cp "$script" "$work/key/filter.lua"
echo 'function video_filter(info, vars) end' > "$work/empty/filter.lua"

# Prints "wall_seconds cpu_seconds" of one run: script dir, threads.
measure() {
  local start end cpu
  start=$(date +%s.%N)
  cpu=$( { /usr/bin/time -f '%U %S' "$quorvel" run --input pattern:1920x1080 --frames "$frames" \
             --script-dir "$1" --threads "$2" --strict ${QUORVEL_RUN_OPTIONS:-} > /dev/null; } 2>&1 | tail -1 )
  end=$(date +%s.%N)
  python3 -c "import sys; s, e, u, k = map(float, sys.argv[1:5]); print(e - s, u + k)" "$start" "$end" $cpu
}

for threads in 1 2; do
  read -r wall cpu < <(measure "$work/key" "$threads")
  if [ -n "$table" ]; then
    python3 -c "import sys; w, c, f = map(float, sys.argv[1:4]); print(sys.argv[4], 1000 * w / f, 1000 * c / f)" \
      "$wall" "$cpu" "$frames" "$threads"
    continue
  fi
  read -r ewall ecpu < <(measure "$work/empty" "$threads")
  python3 - "$frames" "$threads" "$wall" "$cpu" "$ewall" "$ecpu" <<'PY'
import sys
f, t = int(sys.argv[1]), int(sys.argv[2])
w, c, ew, ec = map(float, sys.argv[3:7])
print("chroma key,   %d thread(s): %6.1f fps  (%6.2f s wall, %6.2f s CPU)" % (t, f / w, w, c))
print("pattern only, %d thread(s): %6.1f fps  (%6.2f s wall, %6.2f s CPU)" % (t, f / ew, ew, ec))
PY
done
