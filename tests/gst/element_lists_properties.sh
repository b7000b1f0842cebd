#!/usr/bin/env bash
# gst-inspect-1.0 finds the element through GST_PLUGIN_PATH and lists every
# property with its line.
set -euo pipefail
out=$(gst-inspect-1.0 quorvel)
missing=0
for p in script-dir script-no var-a var-b var-c var-d var-u var-v var-x var-y var-z display \
         threads frame-timeout memory-limit sandbox max-size stats; do
  grep -qE "^  $p +: " <<< "$out" || { echo "no property $p"; missing=1; }
done
grep -q 'I420_10LE' <<< "$out" || { echo "no 10-bit formats in the caps"; missing=1; }
[ "$missing" = 0 ] || { echo "$out"; exit 1; }
echo "every property listed"
