#!/usr/bin/env bash
# A pipeline as a user writes it: the test pattern through the example
# script to fakesink.  It must reach the end of the stream (gst-launch exits
# 0 only then), with every one of the 60 buffers filtered.
#   launch_reaches_eos.sh SCRIPT_DIR
set -euo pipefail
out=$(gst-launch-1.0 -m videotestsrc num-buffers=60 ! video/x-raw,width=320,height=180 ! \
  quorvel script-dir="$1" ! fakesink 2>&1)
grep -q 'Got EOS from element' <<< "$out" || { echo "$out"; echo "no EOS"; exit 1; }
grep -q 'quorvel-stats, frames=(guint64)60,' <<< "$out" || { echo "$out"; echo "not 60 frames"; exit 1; }
if grep -q 'WARNING' <<< "$out"; then echo "$out"; echo "warnings"; exit 1; fi
echo "EOS after 60 filtered frames"
