#!/usr/bin/env bash
# What chunks on a cluster gain: one run of a 1080p H.264 clip (the test
# pattern, encoded by quorvel run itself) at --threads 1 beside
# the same clip in 4 chunks on a one-node Slurm cluster started here
# (tests/cluster/slurm_harness.sh), each chunk at --threads 1 with 10 frames
# of warm-up, joined.  The one run is timed twice: free to spread its
# reading, script and writing threads over both cores, and held to one
# core, as each chunk's task is held to its one CPU (task/affinity).  Then what a chunk costs besides its frames: a run of
# one frame from the middle of the clip (start-up and seek) and the same with
# 10 frames of warm-up.  Needs root for slurmd.
#
#   bench/cluster.sh [BUILD_DIR] [FRAMES] [SCRIPT]
#
# The script defaults to bench/scripts/chunk_motion.lua, whose state reaches
# 10 frames back.  On a shared machine the wall times depend on the other
# work; run it when the machine is quiet.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
frames=${2:-480}
script=$(realpath "${3:-bench/scripts/chunk_motion.lua}")
quorvel=$build/quorvel
[ -x "$quorvel" ] || { echo "no $quorvel: build first" >&2; exit 1; }
. tests/cluster/slurm_harness.sh
work=$(mktemp -d /tmp/quorvel-cluster-bench.XXXXXX)
chmod 755 "$work"
trap 'slurm_down; rm -rf "$work"' EXIT
mkdir "$work/script"
cp "$script" "$work/script/filter.lua"
echo "making a ${frames}-frame 1920x1080 clip"
"$quorvel" run --input pattern:1920x1080 --frames "$frames" --output "$work/clip.mp4" 2>/dev/null

# "WALL USER SYSTEM" seconds of a command (its children included).
measure() {
    local TIMEFORMAT='%R %U %S' times
    times=$( { time "$@" >/dev/null 2>"$work/last.log"; } 2>&1 ) || { cat "$work/last.log" >&2; return 1; }
    echo "$times"
}
wall() { echo "${1%% *}"; }
cpu() { awk -v t="$1" 'BEGIN { split(t, s, " "); printf "%.2f", s[2] + s[3] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

run=("$quorvel" run --input "$work/clip.mp4" --script-dir "$work/script" --threads 1)
single=$(measure "${run[@]}" --output "$work/single.mkv")
echo "one run, --threads 1:          $(wall "$single") s wall, $(cpu "$single") s CPU" \
    "($(ratio "$frames" "$(wall "$single")") fps)"
pinned=$(measure taskset -c 0 "${run[@]}" --output "$work/pinned.mkv")
echo "the same on one core:          $(wall "$pinned") s wall, $(cpu "$pinned") s CPU" \
    "($(ratio "$frames" "$(wall "$pinned")") fps)"

export SLURM_TASK_PLUGIN=task/affinity
slurm_up "$work/cluster" || { echo "the cluster cannot start: $SLURM_DOWN_REASON" >&2; exit 1; }
chunked=$(measure "$quorvel" cluster --input "$work/clip.mp4" --script-dir "$work/script" \
    --output "$work/joined.mkv" --chunks 4 --warmup 10 --keep-chunks --wait)
echo "4 chunks on 2 cores, joined:   $(wall "$chunked") s wall" \
    "($(ratio "$(wall "$chunked")" "$(wall "$single")") x the one run," \
    "$(ratio "$(wall "$chunked")" "$(wall "$pinned")") x the one run on one core)"
grep -h ' ran ' "$work"/joined.mkv.chunks/chunk_*.log | sed 's/^quorvel cluster: /  /'
again=$(measure "$quorvel" join "$work"/joined.mkv.chunks/chunk_*.mkv -o "$work/again.mkv")
echo "  the join alone, by hand: $(wall "$again") s"

mid=$((frames / 2))
one=$(measure "${run[@]}" --start $mid --end $mid --output "$work/one.mkv")
warm=$(measure "${run[@]}" --start $mid --end $mid --warmup 10 --output "$work/warm.mkv")
echo "one frame from frame $mid:      $(wall "$one") s wall, $(cpu "$one") s CPU (start-up, seek, one frame)"
echo "the same with --warmup 10:     $(wall "$warm") s wall, $(cpu "$warm") s CPU"
