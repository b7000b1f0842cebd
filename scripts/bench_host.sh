#!/usr/bin/env bash
# Speed of the host program end to end on 1080p H.264 clips, Y4M to a pipe,
# beside `ffmpeg -i clip -f yuv4mpegpipe -` on the same clip in the same run:
#
#   pass-through  an empty video_filter: decode, convert to the editor's
#                 pixels, convert back, write (the host program's own cost)
#   chroma key    bench/scripts/chroma_key.lua at --threads 2
#
# each with the decoding read ahead on its own thread (the default) and
# without (--no-read-ahead).
#
#   scripts/bench_host.sh [build-dir] [seconds of video] [runs]
#
# Installs Debian's ffmpeg if it is missing (it makes the clips and is the
# yardstick).  Prints, for each, the best wall time of the runs (and its
# frames per second) and the least CPU time (user + system), and the CPU
# time's ratio to ffmpeg's.  The machine's load is printed first: the wall
# times depend on it, the CPU times much less.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-10}
runs=${3:-3}
quorvel="$build/quorvel"
[ -x "$quorvel" ] || { echo "no $quorvel: build first" >&2; exit 1; }

if ! command -v ffmpeg > /dev/null; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y ffmpeg > /dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/empty" "$work/key"
echo 'function video_filter(info, vars) end' > "$work/empty/filter.lua"
cp bench/scripts/chroma_key.lua "$work/key/filter.lua"

# Two clips: a clean synthetic picture, and the same with grain, which
# costs the decoder more, as camera footage does.
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30" -t "$seconds" \
  -c:v libx264 -preset medium -crf 20 -pix_fmt yuv420p "$work/clean.mp4"
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30" -t "$seconds" -vf "noise=alls=6:allf=t" \
  -c:v libx264 -preset medium -crf 20 -pix_fmt yuv420p "$work/grain.mp4"

# "best_wall least_cpu" in seconds over the runs of the command, its
# standard output going through a pipe.
measure() {
  local best="" least="" wall user sys
  for _ in $(seq "$runs"); do
    { /usr/bin/time -o "$work/time" -f '%e %U %S' "$@" 2> /dev/null | cat > /dev/null; } 2> /dev/null
    read -r wall user sys < "$work/time"
    best=$(python3 -c "import sys; a = sys.argv[1:]; print(min(float(x) for x in a if x))" "$wall" "$best")
    least=$(python3 -c "import sys; a = sys.argv[1:]; print(min(float(x) for x in a if x))" \
      "$(python3 -c "print($user + $sys)")" "$least")
  done
  echo "$best $least"
}

frames=$((seconds * 30))
echo "load: $(uptime | sed 's/.*load average/load average/')"
for clip in clean grain; do
  read -r fwall fcpu < <(measure ffmpeg -v error -i "$work/$clip.mp4" -f yuv4mpegpipe -)
  show() {
    python3 - "$frames" "$1" "$2" "$3" "$fcpu" <<'PY'
import sys
f = int(sys.argv[1]); what = sys.argv[2]; w, c, fc = map(float, sys.argv[3:6])
print("  %-40s %6.2f s wall (%5.1f fps)  %6.2f s CPU  (%.2f x ffmpeg's CPU)" % (what, w, f / w, c, c / fc))
PY
  }
  echo "$clip 1080p, $frames frames:"
  show "ffmpeg -f yuv4mpegpipe" "$fwall" "$fcpu"
  for mode in "" --no-read-ahead; do
    read -r wall cpu < <(measure "$quorvel" run -i "$work/$clip.mp4" --script-dir "$work/empty" -o - $mode)
    show "pass-through ${mode:-(read-ahead)}" "$wall" "$cpu"
  done
  for mode in "" --no-read-ahead; do
    read -r wall cpu < <(measure "$quorvel" run -i "$work/$clip.mp4" --script-dir "$work/key" \
      --threads 2 --strict -o - $mode)
    show "chroma key, 2 threads ${mode:-(read-ahead)}" "$wall" "$cpu"
  done
done
