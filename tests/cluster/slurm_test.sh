#!/usr/bin/env bash
# quorvel cluster on a real Slurm: a one-node cluster on this machine
# (slurm_harness.sh) renders a 240-frame clip in 4 chunks with a script whose
# state reaches 10 frames back, and the joined video must equal one run of
# the whole clip, frame for frame and audio packet for audio packet.  A chunk
# whose script fails under --strict must fail the join, name its log and
# leave no output.
#
#   tests/cluster/slurm_test.sh build/quorvel build/tests/cluster_media_tool
#
# Exits 77 (skipped) with the reason when the cluster cannot start.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quorvel=$(realpath "$1")
tool=$(realpath "$2")
. "$here/slurm_harness.sh"

dir=$(mktemp -d /tmp/quorvel-slurm-test.XXXXXX)
chmod 755 "$dir"
trap 'slurm_down; rm -rf "$dir"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! slurm_up "$dir/cluster"; then
    echo "SKIP: the Slurm cluster cannot start: $SLURM_DOWN_REASON"
    exit 77
fi
echo "cluster up: $(sinfo -h -o '%P %D node, %c CPUs, %T')"

"$tool" make "$dir/clip.mp4" 240 || exit 1
mkdir -p "$dir/script"
# Each frame is mixed with the input of 10 frames before it, which the
# script keeps in buffers 2 to 11: its state reaches exactly 10 frames back.
cat >"$dir/script/filter.lua" <<'EOF'
function video_filter(info, vars)
  local slot = 2 + info.frame % 10
  copy(0, 1)              -- this frame's input
  if info.frame >= 10 then
    -- half of the input 10 frames back over it
    alpha(slot, 0, 0, 0, info.w, info.h, 0, 0, 2048)
  end
  copy(1, slot)           -- kept for 10 frames on
end
EOF

digest() { "$tool" digest "$1" >"$1.digest" || fail "cannot read $1"; }

# The reference: one run of the whole clip.
"$quorvel" run --input "$dir/clip.mp4" --script-dir "$dir/script" --output "$dir/single.mkv" \
    --threads 1 --strict 2>"$dir/single.log" || { cat "$dir/single.log"; fail "the single run failed"; }
digest "$dir/single.mkv"

# Chunks that warm up through 10 frames join into the same video.
start=$EPOCHREALTIME
"$quorvel" cluster --input "$dir/clip.mp4" --script-dir "$dir/script" --output "$dir/joined.mkv" \
    --chunks 4 --warmup 10 --wait -- --strict >"$dir/jobs.txt" 2>"$dir/cluster.log"
status=$?
end=$EPOCHREALTIME
cat "$dir/cluster.log"
if [ $status -ne 0 ]; then
    fail "quorvel cluster exited $status"
    for f in "$dir"/joined.mkv.chunks/*.log; do echo "== $f"; cat "$f"; done
else
    echo "4 chunks and the join took $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') s"
    digest "$dir/joined.mkv"
    frames=$(grep -c '^v ' "$dir/joined.mkv.digest")
    audio=$(grep -c '^a ' "$dir/joined.mkv.digest")
    [ "$frames" = 240 ] || fail "the joined video has $frames frames, not 240"
    [ "$audio" -gt 0 ] || fail "the joined video has no audio"
    if diff -q "$dir/single.mkv.digest" "$dir/joined.mkv.digest" >/dev/null; then
        echo "joined = single run: $frames frames and $audio audio packets equal"
    else
        fail "the joined video differs from the single run:"
        diff "$dir/single.mkv.digest" "$dir/joined.mkv.digest" | head -n 10
    fi
    # The same chunk started cold differs in its first 10 frames and only
    # there: what the warm-up is for, and a check that this test sees it.
    "$quorvel" run --input "$dir/clip.mp4" --script-dir "$dir/script" --start 60 --end 119 \
        --output "$dir/cold.mkv" --threads 1 2>/dev/null || fail "the cold chunk failed"
    digest "$dir/cold.mkv"
    hashes() { awk -v from="$2" -v to="$3" '$1 == "v" && $2 >= from && $2 <= to { print $4 }' "$1"; }
    [ "$(hashes "$dir/cold.mkv.digest" 0 9)" != "$(hashes "$dir/single.mkv.digest" 60 69)" ] ||
        fail "a chunk without warm-up gives the same frames: the test cannot see the warm-up"
    [ "$(hashes "$dir/cold.mkv.digest" 10 59)" = "$(hashes "$dir/single.mkv.digest" 70 119)" ] ||
        fail "a chunk without warm-up differs after its first 10 frames"
    left=$(ls "$dir"/joined.mkv.chunks/chunk_*.mkv 2>/dev/null | wc -l)
    [ "$left" = 0 ] || fail "the join left $left chunks behind"
fi

# A chunk whose script fails on one frame fails the join, names its log
# and leaves no output.
cp -r "$dir/script" "$dir/failing"
cat >>"$dir/failing/filter.lua" <<'EOF'
local run = video_filter
function video_filter(info, vars)
  if info.frame == 130 then error("frame 130 is broken") end
  run(info, vars)
end
EOF
"$quorvel" cluster --input "$dir/clip.mp4" --script-dir "$dir/failing" --output "$dir/failed.mkv" \
    --chunks 4 --warmup 10 --wait -- --strict >/dev/null 2>"$dir/failed.log"
status=$?
cat "$dir/failed.log"
[ $status -eq 1 ] || fail "a failing chunk: quorvel cluster exited $status, not 1"
grep -q "chunk 2 (frames 120 to 179) failed twice; its log is $dir/failed.mkv.chunks/chunk_002.log" \
    "$dir/failed.log" || fail "the failed chunk's log is not named"
grep -q "chunk [013] " "$dir/failed.log" && fail "chunks that did not fail are named"
grep -q "frame 130 is broken" "$dir/failed.mkv.chunks/chunk_002.log" ||
    fail "the chunk's log does not hold the script's error"
[ "$(grep -c 'attempt [12] of 2' "$dir/failed.mkv.chunks/chunk_002.log")" = 2 ] ||
    fail "the failed chunk was not run twice"
[ ! -e "$dir/failed.mkv" ] || fail "a failed join left $dir/failed.mkv"

if [ $failures -gt 0 ]; then
    echo "$failures failures"
    exit 1
fi
echo "all passed"
