#!/usr/bin/env bash
# Frames per second of the GStreamer element with the chroma-key script
# (bench/scripts/chroma_key.lua) on 300 frames of 1920 x 1080 test pattern,
# at 1 and 2 threads, beside `quorvel run` on the same frames, and the
# element's own time per buffer from its statistics.
#
#   bench/gst_fps.sh [BUILD_DIR] [FRAMES]
#
# Columns:
#   pipeline   wall-clock fps of
#              gst-launch-1.0 videotestsrc num-buffers=N ! quorvel ... ! fakesink
#              (making the pattern included, as a camera's frames would be)
#   element    ms a buffer spends in the element (its "quorvel-stats":
#              conversion in, the script, conversion out)
#   run        wall-clock fps of `quorvel run` over the same frames from a
#              Y4M file (reading the file included)
#   run ms     wall ms a frame of that run
# "pattern only" is the pipeline without the element: the share of making
# the frames.  On a shared machine the wall times depend on the other work.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
frames=${2:-300}
build=$(cd "$build" && pwd)
[ -f "$build/gst/libgstquorvel.so" ] || { echo "no $build/gst/libgstquorvel.so: build first" >&2; exit 1; }
command -v gst-launch-1.0 > /dev/null || { echo "no gst-launch-1.0: scripts/install-packages.sh" >&2; exit 1; }
export GST_PLUGIN_PATH="$build/gst"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/key"
cp bench/scripts/chroma_key.lua "$work/key/filter.lua"
caps="video/x-raw,format=I420,width=1920,height=1080,framerate=30/1"

# The frames, once, as the run reads them: raw I420 from videotestsrc with
# a Y4M frame header before each.
gst-launch-1.0 -q videotestsrc num-buffers="$frames" ! "$caps" ! filesink location="$work/frames.yuv"
python3 - "$work/frames.yuv" "$work/frames.y4m" <<'PY'
import sys
size = 1920 * 1080 * 3 // 2
with open(sys.argv[1], "rb") as src, open(sys.argv[2], "wb") as out:
    out.write(b"YUV4MPEG2 W1920 H1080 F30:1 Ip A1:1 C420jpeg\n")
    while True:
        frame = src.read(size)
        if len(frame) < size:
            break
        out.write(b"FRAME\n" + frame)
PY
rm "$work/frames.yuv"

now() { date +%s.%N; }

# Prints "wall_seconds mean_us" of the pipeline with `threads` workers.
pipeline() {
  local start end out
  start=$(now)
  out=$(gst-launch-1.0 -m videotestsrc num-buffers="$frames" ! "$caps" ! \
        quorvel script-dir="$work/key" threads="$1" ! fakesink 2>&1)
  end=$(now)
  grep -q "quorvel-stats, frames=(guint64)$frames," <<< "$out" || { echo "$out" >&2; exit 1; }
  local mean
  mean=$(grep -o 'mean-us=(double)[0-9.e+]*' <<< "$out" | head -1 | cut -d')' -f2)
  echo "$(python3 -c "print($end - $start)") $mean"
}

pattern_only() {
  local start end
  start=$(now)
  gst-launch-1.0 -q videotestsrc num-buffers="$frames" ! "$caps" ! fakesink
  end=$(now)
  python3 -c "print($end - $start)"
}

run() {
  local start end
  start=$(now)
  "$build/quorvel" run --input "$work/frames.y4m" --script-dir "$work/key" --threads "$1" \
    --strict 2> /dev/null
  end=$(now)
  python3 -c "print($end - $start)"
}

printf '%-8s %10s %12s %10s %10s\n' threads pipeline "element ms" run "run ms"
for threads in 1 2; do
  read -r wall mean < <(pipeline "$threads")
  rwall=$(run "$threads")
  python3 - "$frames" "$threads" "$wall" "$mean" "$rwall" <<'PY'
import sys
f, t = int(sys.argv[1]), sys.argv[2]
wall, mean, rwall = map(float, sys.argv[3:6])
print("%-8s %6.1f fps %9.1f ms %6.1f fps %7.1f ms" % (t, f / wall, mean / 1000, f / rwall, 1000 * rwall / f))
PY
done
pwall=$(pattern_only)
python3 -c "import sys; print('pattern only: %.1f fps' % ($frames / $pwall))"
