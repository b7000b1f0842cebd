#!/usr/bin/env bash
# Frames per second of the GStreamer element with the chroma-key script
# (bench/scripts/chroma_key.lua) on 300 frames of 1920 x 1080 test pattern,
# at 1 and 2 threads, beside `quorvel run` on the same frames, and the
# element's own time per buffer from its statistics.
#
#   bench/gst_fps.sh [BUILD_DIR] [FRAMES]
#
# Columns, for each thread count:
#   pipeline fps   wall-clock frames per second of
#                  gst-launch-1.0 videotestsrc num-buffers=N ! quorvel ... ! fakesink
#                  (making the pattern included, as a camera's frames come)
#   element ms     wall ms a buffer spends in the element, from its
#                  statistics ("quorvel-stats" mean-us): conversion in, the
#                  frame kept for copyframe, the script, conversion out
#   script ms      of which in the plug-in (the script itself)
#   run fps        wall-clock frames per second of `quorvel run` over the
#                  same frames from a Y4M file, writing Y4M to /dev/null
#   CPU ms         CPU time a frame (user + system) of the pipeline and of
#                  the run: steadier than the wall times on a shared machine
# "pattern only" is the pipeline without the element: the share of making
# the frames.
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

# Runs a command; prints "wall_seconds cpu_seconds" and leaves its output
# in $work/out.
measure() {
  local start end
  start=$(now)
  /usr/bin/time -f '%U %S' -o "$work/time" "$@" > "$work/out" 2>&1
  end=$(now)
  python3 -c "import sys; s, e, u, k = map(float, sys.argv[1:5]); print(e - s, u + k)" "$start" "$end" \
    $(tail -1 "$work/time")
}

# The element's mean time a buffer and the script's, in ms.
element_times() {
  grep -q "quorvel-stats, frames=(guint64)$frames," "$work/out" || { cat "$work/out" >&2; exit 1; }
  local mean script
  mean=$(grep -o 'mean-us=(double)[0-9.e+]*' "$work/out" | head -1 | cut -d')' -f2)
  script=$(grep -o 'script-mean-us=(double)[0-9.e+]*' "$work/out" | head -1 | cut -d')' -f2)
  python3 -c "import sys; print(float(sys.argv[1]) / 1000, float(sys.argv[2]) / 1000)" "$mean" "$script"
}

printf '%-8s %13s %11s %10s %9s %14s %9s\n' threads "pipeline fps" "element ms" "script ms" "run fps" \
  "pipe CPU ms" "run CPU ms"
for threads in 1 2; do
  read -r wall cpu < <(measure gst-launch-1.0 -m videotestsrc num-buffers="$frames" ! "$caps" ! \
    quorvel script-dir="$work/key" threads="$threads" ! fakesink)
  read -r mean script < <(element_times)
  read -r rwall rcpu < <(measure sh -c "'$build/quorvel' run --input '$work/frames.y4m' \
    --script-dir '$work/key' --threads $threads --strict --output - > /dev/null")
  python3 - "$frames" "$threads" "$wall" "$cpu" "$mean" "$script" "$rwall" "$rcpu" <<'PY'
import sys
f, t = int(sys.argv[1]), sys.argv[2]
wall, cpu, mean, script, rwall, rcpu = map(float, sys.argv[3:9])
print("%-8s %13.1f %11.1f %10.1f %9.1f %14.1f %9.1f"
      % (t, f / wall, mean, script, f / rwall, 1000 * cpu / f, 1000 * rcpu / f))
PY
done
read -r pwall pcpu < <(measure gst-launch-1.0 -q videotestsrc num-buffers="$frames" ! "$caps" ! fakesink)
python3 -c "import sys; f = $frames; print('pattern only: %.1f fps, %.1f CPU ms a frame' % (f / $pwall, 1000 * $pcpu / f))"
