#!/usr/bin/env bash
# Renders the examples gallery: each example over the built-in test pattern
# into examples/images/NAME.png, as examples/README.md shows them.  An
# example that fails (a function it calls is not in the library yet, say)
# is skipped with the reason, and its old image, if any, is kept.
#
#   scripts/render_examples.sh [build-dir]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
quorvel=$build/quorvel
out=examples/images
[ -x "$quorvel" ] || { echo "no $quorvel: build first (scripts/setup.sh $build)"; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# render NAME SCRIPT-FOLDER FRAME [options...]: frame FRAME of the pattern.
# Each script runs from a copy, so its error log stays out of the tree.
rendered=0 skipped=0
render() {
  local name=$1 folder=$2 frame=$3
  shift 3
  rm -rf "$work/$name" && mkdir -p "$work/$name"
  [ -n "$folder" ] && cp "$folder/filter.lua" "$work/$name/"
  local strict=--strict
  [ -z "$folder" ] && strict=""
  if "$quorvel" run --input pattern:640x360 --script-dir "$work/$name" --start "$frame" --frames 1 \
       --output "$work/$name.png" $strict "$@" 2> "$work/$name.log"; then
    mv "$work/$name.png" "$out/$name.png"
    echo "rendered $out/$name.png"
    rendered=$((rendered + 1))
  else
    local why
    why=$(grep -m1 -E 'quorvel: frame [0-9]+:' "$work/$name.log" || tail -n1 "$work/$name.log")
    echo "skipped $name: ${why#quorvel: }"
    skipped=$((skipped + 1))
  fi
}

render input "" 20
render green_screen examples 20
render motion_mask examples/motion_mask 20
render colour_grade examples/colour_grade 20 --var x=2700 --var y=2900 --var z=2300 --var a=1600
render blur_sharpen examples/blur_sharpen 20
render mosaic examples/mosaic 20
render title examples/title 30
echo "$rendered rendered, $skipped skipped"
