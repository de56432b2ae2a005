#!/usr/bin/env bash
# Times whole orvelle-cli jobs as a user runs them, files included:
#  - `orvelle-cli generate -n 1000` at 120 x 120 (PNG pictures and recipes
#    written to a folder on disk), wall time and peak resident memory;
#  - `orvelle-cli render --size 5000x5000` of the first recipes of that batch,
#    one process each, writing BMP to memory (a tmpfs when there is one):
#    how many finish under 2 s of wall time, and the peak resident memory.
#
#   bench/whole-jobs.sh [--quick] [--runs N] [--renders N] [--threads N]
#                       [--seed S] [--build DIR] [--out DIR] [--no-install]
#
# --runs: batches timed (default 3; --quick 1). --renders: recipes rendered
# at 5000 x 5000 (default 20; --quick 5; 100 for the goal of 95 in 100).
# --threads: passed to orvelle-cli (default: every core). Wall time and
# memory come from /usr/bin/time.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build"
OUT=""
RUNS=3
RENDERS=20
THREADS=""
SEED=20240
INSTALL=1
QUICK=0

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit "${1:-0}"; }
die() { echo "whole-jobs: $*" >&2; exit 1; }
whole() {  # value lo hi name
  case "$1" in ''|*[!0-9]*) die "$4 takes a whole number from $2 to $3" ;; esac
  if [ "$1" -lt "$2" ] || [ "$1" -gt "$3" ]; then die "$4 takes a whole number from $2 to $3"; fi
}

runsGiven="" rendersGiven=""
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) QUICK=1 ;;
    --runs) [ $# -ge 2 ] || usage 2; whole "$2" 1 20 --runs; runsGiven=$2; shift ;;
    --renders) [ $# -ge 2 ] || usage 2; whole "$2" 1 1000 --renders; rendersGiven=$2; shift ;;
    --threads) [ $# -ge 2 ] || usage 2; whole "$2" 1 256 --threads; THREADS=$2; shift ;;
    --seed) [ $# -ge 2 ] || usage 2; whole "$2" 0 4294967295 --seed; SEED=$2; shift ;;
    --build) [ $# -ge 2 ] || usage 2; BUILD=$2; shift ;;
    --out) [ $# -ge 2 ] || usage 2; OUT=$2; shift ;;
    --no-install) INSTALL=0 ;;
    -h|--help) usage 0 ;;
    *) echo "whole-jobs: unknown argument $1" >&2; usage 2 ;;
  esac
  shift
done
if [ "$QUICK" = 1 ]; then RUNS=1; RENDERS=5; fi
RUNS=${runsGiven:-$RUNS}
RENDERS=${rendersGiven:-$RENDERS}

if [ "$INSTALL" = 1 ]; then
  bash "$ROOT/scripts/install-deps.sh"
  bash "$ROOT/scripts/install-deps.sh" --bench
fi
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (run without --no-install)"
command -v jq >/dev/null || die "jq is missing (run without --no-install)"
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target orvelle-cli -j "$(nproc)" >/dev/null
CLI="$BUILD/cli/orvelle-cli"
[ -x "$CLI" ] || die "orvelle-cli was not built"
CLI_ARGS=()
[ -n "$THREADS" ] && CLI_ARGS=(--threads "$THREADS")

OUT=${OUT:-$BUILD/jobs}
mkdir -p "$OUT"
# The batch goes to disk, as a user's does; renders go to memory.
BATCH="$OUT/batch"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then SCRATCH=$(mktemp -d /dev/shm/orvelle-jobs.XXXXXX); else SCRATCH=$(mktemp -d); fi
trap 'rm -rf "$SCRATCH"' EXIT

timed() {  # log command...: runs it under /usr/bin/time; prints "seconds peak-KB"
  local log=$1
  shift
  if ! /usr/bin/time -f '%e %M' -o "$SCRATCH/time" "$@" >"$log" 2>&1; then
    cat "$log" >&2
    die "failed: $*"
  fi
  cat "$SCRATCH/time"
}
median() { sort -g | awk '{ a[NR] = $1 } END { if (NR == 0) exit; print NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

LOAD_START=$(cut -d' ' -f1 /proc/loadavg 2>/dev/null || echo "?")

# ---- generate -n 1000 at 120 x 120 -------------------------------------------------
gen=()
for ((r = 1; r <= RUNS; r++)); do
  rm -rf "$BATCH"
  echo "whole-jobs: generate -n 1000 at 120x120, run $r of $RUNS" >&2
  gen+=("$(timed "$OUT/generate.log" "$CLI" "${CLI_ARGS[@]}" generate -n 1000 --size 120x120 --seed "$SEED" -o "$BATCH")")
done
genWall=$(printf '%s\n' "${gen[@]}" | cut -d' ' -f1 | median)
genMin=$(printf '%s\n' "${gen[@]}" | cut -d' ' -f1 | sort -g | head -1)
genRss=$(printf '%s\n' "${gen[@]}" | cut -d' ' -f2 | sort -g | tail -1)
files=$(find "$BATCH" -type f | wc -l)

# ---- render --size 5000x5000 of the first recipes ----------------------------------
: >"$OUT/renders.tsv"
for ((i = 1; i <= RENDERS; i++)); do
  recipe=$(printf '%s/texture-%04d.recipe.json' "$BATCH" "$i")
  [ -f "$recipe" ] || die "the batch has no $recipe"
  echo "whole-jobs: render 5000x5000, recipe $i of $RENDERS" >&2
  res=$(timed "$OUT/render.log" "$CLI" "${CLI_ARGS[@]}" render --size 5000x5000 "$recipe" "$SCRATCH/out.bmp")
  rm -f "$SCRATCH/out.bmp"
  printf '%s\t%s\t%s\n' "$(basename "$recipe")" "$res" "$(jq -r '[.effects[].name | sub("^mv"; "") | sub("Effect$"; "")] | join(" ")' "$recipe")" \
    >>"$OUT/renders.tsv"
done
walls=$(cut -f2 "$OUT/renders.tsv" | cut -d' ' -f1)
under=$(echo "$walls" | awk '$1 < 2 { n++ } END { print n + 0 }')
rMedian=$(echo "$walls" | median)
rMax=$(echo "$walls" | sort -g | tail -1)
p95=$(echo "$walls" | sort -g | awk '{ a[NR] = $1 } END { i = int(NR * 0.95 + 0.999); if (i < 1) i = 1; print a[i] }')
rRss=$(cut -f2 "$OUT/renders.tsv" | cut -d' ' -f2 | sort -g | tail -1)

# ---- summary -----------------------------------------------------------------------
mb() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }
{
  cpu=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -1)
  echo "Whole jobs, wall time with files; $(date -u +%Y-%m-%d), ${cpu:-unknown CPU}, $(nproc) cores, threads: ${THREADS:-all}."
  echo "Load average $LOAD_START at the start, $(cut -d' ' -f1 /proc/loadavg 2>/dev/null || echo "?") at the end (above 0.5 the figures are noisy)."
  echo
  echo "| job | runs | median wall s | fastest s | goal | peak RSS MB |"
  echo "|---|---:|---:|---:|---|---:|"
  echo "| generate -n 1000 at 120 x 120, PNG + recipe each ($files files) | $RUNS | $genWall | $genMin | under 3 s | $(mb "$genRss") |"
  echo "| render --size 5000x5000 (BMP to memory), one process per recipe | $RENDERS | $rMedian | — | 95 in 100 under 2 s | $(mb "$rRss") |"
  echo
  echo "Renders at 5000 x 5000: $under of $RENDERS under 2 s; 95th percentile $p95 s, slowest $rMax s (goal: 300 MB peak)."
  echo "Slowest recipes (seconds, peak KB, effects):"
  sort -t$'\t' -k2 -g -r "$OUT/renders.tsv" | head -3 | awk -F'\t' '{ printf "  %s  %s  %s\n", $1, $2, $3 }'
} | tee "$OUT/summary.md"
echo "whole-jobs: summary in $OUT/summary.md, every render in $OUT/renders.tsv" >&2
