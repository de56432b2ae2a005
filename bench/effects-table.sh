#!/usr/bin/env bash
# Runs the effect benchmarks (every registered effect at 2048 x 2048 with the
# generator's typical settings) and prints one Markdown table: ms on 1 thread
# and on all of them, the speed-up, megapixels per second on all threads,
# and the goals missed: 1.7x from two threads when the work takes more than
# 50 ms; 25 MPix/s on all threads for the effects no other tool has (those
# that have one are held to it by compare-peers.sh); fill, gradients and the
# gradient map within 4x of one write pass over the picture.
#
#   bench/effects-table.sh [--quick] [--filter REGEX] [--repetitions N] [--build DIR]
#
# --quick: shorter timings (0.1 s a benchmark instead of 0.5 s). With
# --repetitions N (default 1) the medians of N repetitions are shown.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build"
FILTER='^Effect/'
PASS='|^BM_WritePass'
MIN_TIME=0.5
REPS=1

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit "${1:-0}"; }
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) MIN_TIME=0.1 ;;
    --filter) [ $# -ge 2 ] || usage 2; FILTER="^Effect/.*($2)"; shift ;;
    --repetitions) [ $# -ge 2 ] || usage 2
      case "$2" in ''|*[!0-9]*|0) echo "effects-table: --repetitions takes 1 or more" >&2; exit 2 ;; esac
      REPS=$2; shift ;;
    --build) [ $# -ge 2 ] || usage 2; BUILD=$2; shift ;;
    -h|--help) usage 0 ;;
    *) echo "effects-table: unknown argument $1" >&2; usage 2 ;;
  esac
  shift
done
command -v jq >/dev/null || { echo "effects-table: jq is missing (scripts/install-deps.sh --bench)" >&2; exit 1; }
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target bench_orvelle -j "$(nproc)" >/dev/null
JSON=$(mktemp)
trap 'rm -f "$JSON"' EXIT

LOAD_START=$(cut -d' ' -f1 /proc/loadavg 2>/dev/null || echo "?")
"$BUILD/bench/bench_orvelle" --benchmark_filter="$FILTER$PASS" --benchmark_min_time="$MIN_TIME" \
  --benchmark_repetitions="$REPS" --benchmark_out="$JSON" --benchmark_out_format=json >&2

echo "Every effect on 2048 x 2048 RGBA 8-bit noise, compute only; $(date -u +%Y-%m-%d), $(nproc) cores;"
echo "load average $LOAD_START at the start, $(cut -d' ' -f1 /proc/loadavg 2>/dev/null || echo "?") at the end."
echo
echo "| effect | setting | 1 thread, ms | all threads, ms | speed-up | MPix/s, all threads | goals |"
echo "|---|---|---:|---:|---:|---:|---|"
# One row per class and setting: the median aggregate when there are
# repetitions, the single run otherwise.
# The effects compare-peers.sh times against another tool.
PEERED='["EdgeDetection","Emboss","Median","Minimum","Maximum","HSVNoise","HSLNoise","GradientMap","Spread",
         "Swirl","MotionBlur","OilPaint","SineWave","Plasma","Pixelize"]'
jq -r --argjson reps "$REPS" --argjson peered "$PEERED" '
  def pick: select(if $reps > 1 then .aggregate_name == "median" else .run_type == "iteration" end);
  ([ .benchmarks[] | pick | select((.run_name // .name) | startswith("BM_WritePass")) | .real_time ][0]) as $pass
  | [ .benchmarks[] | pick
    | (.run_name // .name | split("/")) as $p
    | select($p[0] == "Effect")
    | { cls: ($p[1] | sub("^mv"; "") | sub("Effect$"; "")), set: $p[2], all: ($p[3] == "threads:all"),
        ms: .real_time, mpix: .MPix } ]
  | group_by([.cls, .set])[]
  | (map(select(.all | not))[0]) as $one | (map(select(.all))[0]) as $many
  | select($one != null and $many != null)
  | ($one.ms / $many.ms) as $up
  | .[0].cls as $cls
  | def ms: if . >= 100 then round else . * 10 | round / 10 end;
  [ $cls, .[0].set, ($one.ms | ms), ($many.ms | ms), ($up | . * 100 | round / 100), ($many.mpix | round),
    ([ (if ($peered | index($cls)) == null and $many.mpix < 25 then "below 25 MPix/s" else empty end),
       (if $one.ms > 50 and $up < 1.7 then "speed-up below 1.7" else empty end),
       (if (["Fill","Gradient","GradientPattern","GradientMap"] | index($cls)) != null and $pass != null
           and $many.ms > 4 * $pass then "over 4x a write pass (\($pass | . * 10 | round / 10) ms)" else empty end) ]
     | join(", ")) ]
  | "| " + (map(tostring) | join(" | ")) + " |"' "$JSON"
