#!/usr/bin/env bash
# Speed of the host program's own path (decode, convert to the editor's
# pixels, convert back, write Y4M) with an empty video_filter, beside
# `ffmpeg -i clip -f yuv4mpegpipe -` on the same 1080p clip in the same run.
#
#   scripts/bench_host.sh [build-dir] [seconds of video] [runs]
#
# Installs Debian's ffmpeg if it is missing (it makes the clip and is the
# yardstick).  Prints the best of the runs for each and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-10}
runs=${3:-3}

if ! command -v ffmpeg > /dev/null; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y ffmpeg > /dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo 'function video_filter(info, vars) end' > "$work/filter.lua"

# Two clips: a clean synthetic picture, and the same with grain, which
# costs the decoder more, as camera footage does.
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30" -t "$seconds" \
  -c:v libx264 -preset medium -crf 20 -pix_fmt yuv420p "$work/clean.mp4"
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30" -t "$seconds" -vf "noise=alls=6:allf=t" \
  -c:v libx264 -preset medium -crf 20 -pix_fmt yuv420p "$work/grain.mp4"

best_of() {
  local best=""
  for _ in $(seq "$runs"); do
    local start end t
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" -eq 1 ]; then best=$t; fi
  done
  echo "$best"
}

for clip in clean grain; do
  f=$(best_of ffmpeg -v error -i "$work/$clip.mp4" -f yuv4mpegpipe -)
  q=$(best_of "$build/quorvel" run -i "$work/$clip.mp4" --script-dir "$work" -o - 2> /dev/null)
  frames=$((seconds * 30))
  printf '%s 1080p, %d frames: ffmpeg %.2f s (%.0f fps), quorvel %.2f s (%.0f fps), ratio %.2f\n' \
    "$clip" "$frames" "$f" "$(echo "$frames / $f" | bc -l)" "$q" "$(echo "$frames / $q" | bc -l)" \
    "$(echo "$q / $f" | bc -l)"
done
