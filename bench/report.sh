#!/usr/bin/env bash
# Runs every benchmark of quorvel_bench and the chroma-key script, and prints
# one table: each of our functions at 1 and 2 threads beside its reference
# (the OpenCV call doing the same job, or a memcpy/memset of the bytes it
# moves where OpenCV has none).
#
#   bench/report.sh [BUILD_DIR] [--repetitions N] [--filter REGEX] [--json FILE] [--no-script]
#   bench/report.sh --from FILE      (the table of a run saved with --json)
#
# Times are medians over the repetitions, in ms.  "1 thread" and the
# reference are CPU time of the measuring thread (steadier on a shared
# machine); "2 threads" is wall time, since the second worker's CPU time
# does not show the speed-up; "x2" is the 1-thread wall time over the
# 2-thread wall time (2.0 is perfect, below 1.0 two threads lost).
# "ratio" is ours at 1 thread over the reference; the target is 1.0 against
# OpenCV and 3.0 against a memory routine.  The chroma-key row is wall time
# a frame of bench/chroma_key.sh (300 frames of the 1080p pattern through
# the host program); its reference is the frame time of the fps target
# (18 fps at 1 thread, 55.6 ms; 30 fps at 2 threads asks for 33.3 ms).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
repetitions=3
filter=.
json=
from=
script=1
while [ $# -gt 0 ]; do
  case "$1" in
    --repetitions) repetitions=$2; shift 2 ;;
    --filter) filter=$2; script=; shift 2 ;;
    --json) json=$2; shift 2 ;;
    --from) from=$2; shift 2 ;;
    --no-script) script=; shift ;;
    *) build=$1; shift ;;
  esac
done
key_rows=
if [ -n "$from" ]; then
  json=$from
else
  bench="$build/bench/quorvel_bench"
  [ -x "$bench" ] || { echo "no $bench: build with QUORVEL_BENCH=ON first" >&2; exit 1; }
  if [ -z "$json" ]; then
    json=$(mktemp)
    trap 'rm -f "$json"' EXIT
  fi
  "$bench" --benchmark_filter="$filter" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true --benchmark_format=json > "$json"
  if [ -n "$script" ]; then key_rows=$(bench/chroma_key.sh --table "$build" 300); fi
fi
python3 - "$json" "$key_rows" <<'PY'
import json, sys

runs = json.load(open(sys.argv[1]))["benchmarks"]
ours, refs, order = {}, {}, []
unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
# References whose names are not ours with a prefix: our name -> theirs.
ALIASES = {
    "linear_3x3": "cv_filter2D_3x3", "linear_3x3_fractional": "cv_filter2D_3x3",
    "laplacian": "cv_Laplacian", "gaussian_sigma2": "cv_GaussianBlur_sigma2",
    "defocus_5x5": "cv_blur_5x5", "median": "cv_medianBlur", "cvcanny": "cv_Canny",
    "affine": "cv_warpAffine", "rotate": "cv_warpAffine", "fill": "memset",
    "mosaic16": "memcpy", "text_title": "frame_copy", "text_title_first": "frame_copy",
    "color_hsv": "cv_hsv_round_trip", "color_hsv_i": "cv_hsv_round_trip",
    "color_hsv_m": "cv_hsv_round_trip", "posterize_hsv": "cv_hsv_round_trip",
    "color_lab": "cv_lab_round_trip", "mkmask_p_lab": "cv_rgb_to_lab",
    "mkmask_l_lab": "cv_rgb_to_lab", "merge_near_lab": "cv_rgb_to_lab",
    "mkmask_near_lab": "cv_rgb_to_lab",
}
BARE_REFERENCES = {"memset": "memset", "memcpy": "memcpy", "frame_copy": "memcpy"}
for r in runs:
    if r.get("aggregate_name", "median") != "median" or r.get("error_occurred"):
        continue
    parts = r["run_name"].split("/")
    # Arguments are the numeric parts, the thread count last; "min_time:0.2",
    # "real_time" and the like are options.
    full, args = parts[0][3:], [p for p in parts[1:] if p.lstrip("-").isdigit()]
    threads = int(args[-1]) if args else 1
    variant = "/".join(args[:-1])
    scale = unit[r.get("time_unit", "ns")]
    times = (r["cpu_time"] * scale, r["real_time"] * scale)
    if full.startswith(("cv_", "memcpy_")) or full in BARE_REFERENCES:
        if threads == 1:
            refs[(full, variant)] = times[0]
        continue
    key = (full, variant)
    if key not in ours:
        order.append(key)
        ours[key] = {}
    ours[key][threads] = times

def reference(name, variant):
    for ref in (ALIASES.get(name), "cv_" + name, "memcpy_" + name):
        if ref is None:
            continue
        for v in (variant, ""):
            if (ref, v) in refs:
                kind = "cv" if ref.startswith("cv_") else BARE_REFERENCES.get(ref, "memcpy")
                return kind, refs[(ref, v)]
    return "-", None

def ms(v):
    return "%9.2f" % v if v is not None else "%9s" % "-"

def row(label, one, two, speedup, kind, ref, ratio, target):
    print("%-28s %s %s %s %9s %s %s %6s" % (label, ms(one), ms(two), speedup, kind, ms(ref), ratio, target))

print("%-28s %9s %9s %6s %9s %9s %6s %6s" %
      ("function", "1 thread", "2 threads", "x2", "reference", "ref ms", "ratio", "target"))
for key in order:
    t = ours[key]
    one, two = t.get(1), t.get(2)
    speedup = "%6.2f" % (one[1] / two[1]) if one and two else "%6s" % "-"
    kind, ref = reference(*key)
    ratio = "%6.2f" % (one[0] / ref) if one and ref else "%6s" % "-"
    target = {"cv": "1.0", "memcpy": "3.0", "memset": "3.0"}.get(kind, "-")
    row(key[0] + ("/" + key[1] if key[1] else ""), one[0] if one else None, two[1] if two else None,
        speedup, kind, ref, ratio, target)

# The chroma-key script: "threads wall_ms cpu_ms" lines.
key = {int(l.split()[0]): [float(x) for x in l.split()[1:]] for l in sys.argv[2].splitlines() if l.strip()}
if 1 in key and 2 in key:
    one, two = key[1][0], key[2][0]
    row("chroma_key.lua (a frame)", one, two, "%6.2f" % (one / two), "18 fps", 1000 / 18,
        "%6.2f" % (one / (1000 / 18)), "1.0")
    print("%-28s %9.1f %9.1f %6s %9s %9.1f %6.2f %6s" %
          ("chroma_key.lua (fps)", 1000 / one, 1000 / two, "", "30 fps", 30, 1000 / two / 30, ">=1.0"))
PY
