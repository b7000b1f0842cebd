#!/usr/bin/env bash
# Runs every benchmark of quorvel_bench and prints one table: each of our
# functions at 1 and 2 threads beside its reference (the OpenCV call doing
# the same job, or a memcpy of the bytes it moves where OpenCV has none).
#
#   bench/report.sh [BUILD_DIR] [--repetitions N] [--filter REGEX] [--json FILE]
#   bench/report.sh --from FILE      (the table of a run saved with --json)
#
# Times are medians over the repetitions.  "1 thread" and the reference are
# CPU time of the measuring thread (steady on a shared machine); "2 threads"
# is wall time, since the second worker's CPU time does not show the
# speed-up; "x2" is the 1-thread wall time over the 2-thread wall time.
# "ratio" is ours at 1 thread over the reference; the target is 1.0 against
# OpenCV and 3.0 against a memcpy.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
repetitions=3
filter=.
json=
from=
while [ $# -gt 0 ]; do
  case "$1" in
    --repetitions) repetitions=$2; shift 2 ;;
    --filter) filter=$2; shift 2 ;;
    --json) json=$2; shift 2 ;;
    --from) from=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
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
fi
python3 - "$json" <<'PY'
import json, sys

runs = json.load(open(sys.argv[1]))["benchmarks"]
ours, refs, order = {}, {}, []
unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
for r in runs:
    if r.get("aggregate_name", "median") != "median" or r.get("error_occurred"):
        continue
    parts = r["run_name"].split("/")
    # Arguments are the numeric parts; "min_time:0.2", "real_time" and the
    # like are options.
    name, args = parts[0][3:], [p for p in parts[1:] if p.lstrip("-").isdigit()]
    threads = int(args[-1]) if args else 1
    variant = "/".join(args[:-1])
    scale = unit[r.get("time_unit", "ns")]
    times = (r["cpu_time"] * scale, r["real_time"] * scale)
    kind = None
    for prefix in ("cv_", "memcpy_"):
        if name.startswith(prefix):
            kind, name = prefix[:-1], name[len(prefix):]
    key = (name, variant)
    if kind:
        if threads == 1:
            refs[key] = (kind, times[0])
        continue
    if key not in ours:
        order.append(key)
        ours[key] = {}
    ours[key][threads] = times

def ms(v):
    return "%9.2f" % v if v is not None else "%9s" % "-"

print("%-26s %9s %9s %6s %9s %9s %6s %6s" %
      ("function", "1 thread", "2 threads", "x2", "reference", "ref ms", "ratio", "target"))
for key in order:
    t = ours[key]
    one = t.get(1)
    two = t.get(2)
    speedup = "%6.2f" % (one[1] / two[1]) if one and two else "%6s" % "-"
    kind, ref = refs.get(key, ("-", None))
    ratio = "%6.2f" % (one[0] / ref) if one and ref else "%6s" % "-"
    target = {"cv": "1.0", "memcpy": "3.0"}.get(kind, "-")
    label = key[0] + ("/" + key[1] if key[1] else "")
    print("%-26s %s %s %s %9s %s %s %6s" %
          (label, ms(one[0] if one else None), ms(two[1] if two else None), speedup, kind, ms(ref),
           ratio, target))
PY
