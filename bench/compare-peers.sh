#!/usr/bin/env bash
# Times Orvelle's effects side by side with ImageMagick 6, GraphicsMagick and
# libvips, in one run on one machine, on the same 2048 x 2048 RGBA 8-bit noise,
# on 1 thread and on every core, and prints one Markdown table of medians and
# ratios.
#
# Orvelle is timed in-process by bench/time_effect (compute only: the picture
# is made in memory, the effect applied several times, the median kept).
# ImageMagick and GraphicsMagick are timed by hyperfine; each tool's start-up
# and file reading is a no-op command on the same input (read, write to
# null:), timed in the same hyperfine run and subtracted. libvips is timed by
# its own clock (--vips-progress, which covers the evaluation of the output
# and none of the start-up), minus the same clock for `vips copy` of the same
# input; --vips-hyperfine times it like the other two instead.
#
#   bench/compare-peers.sh [--quick] [--size N] [--only key,key] [--build DIR]
#                          [--out DIR] [--no-install] [--vips-hyperfine] [--list]
#
# Installs the peers (and the build's dependencies) from Debian when missing
# and builds time_effect. Raw timings stay in the output folder
# (default: <build>/peers).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build"
SIDE=2048
QUICK=0
ONLY=""
OUT=""
INSTALL=1
VIPS_OWN=1
LIST=0

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit "${1:-0}"; }
die() { echo "compare-peers: $*" >&2; exit 1; }

while [ $# -gt 0 ]; do
  case "$1" in
    --quick) QUICK=1 ;;
    --size) [ $# -ge 2 ] || usage 2; SIDE=$2; shift ;;
    --only) [ $# -ge 2 ] || usage 2; ONLY=$2; shift ;;
    --build) [ $# -ge 2 ] || usage 2; BUILD=$2; shift ;;
    --out) [ $# -ge 2 ] || usage 2; OUT=$2; shift ;;
    --no-install) INSTALL=0 ;;
    --vips-hyperfine) VIPS_OWN=0 ;;
    --list) LIST=1 ;;
    -h|--help) usage 0 ;;
    *) echo "compare-peers: unknown argument $1" >&2; usage 2 ;;
  esac
  shift
done
case "$SIDE" in ''|*[!0-9]*) die "--size takes a whole number of pixels" ;; esac
if [ "$SIDE" -lt 64 ] || [ "$SIDE" -gt 5000 ]; then die "--size takes 64..5000"; fi

# ---- the operations ------------------------------------------------------------
# key | operation | Orvelle class and fields | ImageMagick 6 | GraphicsMagick | libvips
# {in}, {out}, {size} and {dir} are filled in below; "-" means the tool has no
# equivalent operation. The closest equivalent is named in docs/performance.md.
OPS=$(cat <<'EOF'
sobel|edge detection, Sobel|mvEdgeDetectionEffect Amount=100 Seamless=true|{in} -edge 1|{in} -edge 1|sobel {in} {out}
emboss|emboss Depth 1 (3x3 kernel)|mvEmbossEffect Depth=1 Amount=190 Direction=2 Seamless=true|{in} -convolve -1,-1,0,-1,0,1,0,1,1|{in} -convolve -1,-1,0,-1,0,1,0,1,1|conv {in} {out} {dir}/emboss.mat --precision integer
median5|median 5x5 (Radius 2)|mvMedianEffect Radius=2 Seamless=true|{in} -statistic Median 5x5|{in} -median 2|rank {in} {out} 5 5 12
median3|median 3x3 (Radius 1)|mvMedianEffect Radius=1 Seamless=true|{in} -statistic Median 3x3|{in} -median 1|rank {in} {out} 3 3 4
minimum|minimum 3x3 (Radius 1)|mvMinimumEffect Radius=1 Seamless=true|{in} -statistic Minimum 3x3|-|rank {in} {out} 3 3 0
maximum|maximum 3x3 (Radius 1)|mvMaximumEffect Radius=1 Seamless=true|{in} -statistic Maximum 3x3|-|rank {in} {out} 3 3 8
hsvnoise|uniform noise: HSV noise|mvHSVNoiseEffect HueAmount=25 SaturationAmount=20 ValueAmount=30 Seed=7|{in} +noise Uniform|{in} +noise Uniform|-
hslnoise|uniform noise: HSL noise|mvHSLNoiseEffect HueAmount=20 LightnessAmount=10 Seed=7|{in} +noise Uniform|{in} +noise Uniform|-
gradmap|gradient map, 11 segments (LUT)|mvGradientMapEffect Segments=11|{in} {dir}/lut.miff -clut|-|maplut {in} {out} {dir}/lut.v
spread|spread 3 x 3|mvSpreadEffect RangeX=3 RangeY=3 Seed=12345 Seamless=true|{in} -spread 3|{in} -spread 3|-
swirl|swirl 360|mvSwirlEffect Angle=360|{in} -swirl 360|{in} -swirl 360|-
motion|motion blur, 21 taps|mvMotionBlurEffect Distance=10 Angle=0 Sigma=7 Seamless=true|{in} -motion-blur 10x7+0|{in} -motion-blur 10x7+0|conv {in} {out} {dir}/motion.mat --precision integer
oilpaint|oil paint Radius 2|mvOilPaintEffect Radius=2 Seamless=true|{in} -paint 2|{in} -paint 2|-
wave|sine wave|mvSineWaveEffect RowAmplitude=6 RowPeriod=128 ColumnAmplitude=4 ColumnPeriod=256 Seamless=true|{in} -wave 6x128|{in} -wave 6x128|-
plasma|plasma|mvPlasmaEffect Seed=7 Roughness=25 Seamless=true|-size {size} plasma:fractal|-size {size} plasma:fractal|-
pixelize|pixelize 10 x 10|mvPixelizeEffect CellWidth=10 CellHeight=10|{in} -scale 10% -scale 1000%|{in} -scale 10% -scale 1000%|shrink {in} {out} 10 10
EOF
)
if [ -n "$ONLY" ]; then
  OPS=$(echo "$OPS" | awk -F'|' -v only=",$ONLY," 'index(only, "," $1 ",")')
  [ -n "$OPS" ] || die "--only matched no operation (keys: sobel emboss median5 median3 minimum maximum hsvnoise hslnoise gradmap spread swirl motion oilpaint wave plasma pixelize)"
fi
if [ "$LIST" = 1 ]; then
  echo "$OPS" | awk -F'|' '{ printf "%-9s %s\n  Orvelle:        %s\n  ImageMagick 6:  %s\n  GraphicsMagick: %s\n  libvips:        %s\n", $1, $2, $3, $4, $5, $6 }'
  exit 0
fi

# ---- tools -----------------------------------------------------------------------
if [ "$INSTALL" = 1 ]; then
  bash "$ROOT/scripts/install-deps.sh"
  bash "$ROOT/scripts/install-deps.sh" --bench
fi
# Debian's own name of the ImageMagick 6 program, so that no other `convert`
# on the PATH is timed in its place.
IM=$(command -v convert-im6.q16 || command -v convert-im6 || true)
GM=$(command -v gm || true)
VIPS=$(command -v vips || true)
for t in hyperfine jq cmake; do command -v "$t" >/dev/null || die "$t is missing (run without --no-install)"; done
if [ -z "$IM" ] || [ -z "$GM" ] || [ -z "$VIPS" ]; then die "a peer is missing (run without --no-install)"; fi

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target time_effect -j "$(nproc)" >/dev/null
TIMER="$BUILD/bench/time_effect"
[ -x "$TIMER" ] || die "time_effect was not built (is Google Benchmark installed? ORVELLE_BENCH off?)"

OUT=${OUT:-$BUILD/peers}
mkdir -p "$OUT"
# Inputs and outputs live in memory where the machine has a tmpfs, so file
# I/O stays small next to the work being timed.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then WORK=$(mktemp -d /dev/shm/orvelle-peers.XXXXXX); else WORK=$(mktemp -d); fi
trap 'rm -rf "$WORK"' EXIT

NPROC=$(nproc)
THREADS="1"
[ "$NPROC" -gt 1 ] && THREADS="1 $NPROC"
# hyperfine runs each command for about 3 s within these bounds. No warm-up
# run: the no-op commands run first and bring the input and the programs
# into memory.
if [ "$QUICK" = 1 ]; then
  ORV_RUNS=3; HF=(--warmup 0 --min-runs 2 --max-runs 3); VIPS_RUNS=3
else
  ORV_RUNS=5; HF=(--warmup 0 --min-runs 3 --max-runs 10); VIPS_RUNS=5
fi
LOAD_START=$(cut -d' ' -f1 /proc/loadavg 2>/dev/null || echo "?")

# ---- inputs ----------------------------------------------------------------------
# Opaque RGBA 8-bit noise for every tool in its own native format, a small
# copy to check each command before timing it, a 256-entry colour table, and
# the convolution masks.
echo "compare-peers: making the ${SIDE} x ${SIDE} noise inputs in $WORK" >&2
make_inputs() {  # dir side
  local d=$1 s=$2
  mkdir -p "$d"
  "$IM" -size "${s}x${s}" xc:gray +noise Random -alpha set -channel A -evaluate set 100% +channel -depth 8 "PNG32:$d/noise.png"
  "$IM" "$d/noise.png" "$d/in.miff"
  "$GM" convert "$d/noise.png" "$d/in.gm.miff"
  "$VIPS" copy "$d/noise.png" "$d/in.v"
  "$IM" -size 1x256 gradient:navy-orange -rotate 90 -depth 8 "$d/lut.miff"
  "$VIPS" identity "$d/lut1.v"
  "$VIPS" bandjoin "$d/lut1.v $d/lut1.v $d/lut1.v $d/lut1.v" "$d/lut.v"
  printf '3 3 1 128\n-1 -1 0\n-1 0 1\n0 1 1\n' >"$d/emboss.mat"
  # 21 Gaussian taps (sigma 7), as Orvelle's Distance 10, Sigma 7 streak.
  awk 'BEGIN { s = 0; for (x = -10; x <= 10; x++) { w[x] = int(100 * exp(-x * x / 98.0) + 0.5); s += w[x] }
               printf "21 1 %d 0\n", s; for (x = -10; x <= 10; x++) printf "%d ", w[x]; print "" }' >"$d/motion.mat"
}
make_inputs "$WORK/big" "$SIDE"
make_inputs "$WORK/small" 96

# The command line of one operation for one tool, in directory $1 at side $2.
fill() {  # dir side tool-field tool
  local d=$1 s=$2 f=$3 tool=$4 in
  case "$tool" in im) in="$d/in.miff" ;; gm) in="$d/in.gm.miff" ;; vips) in="$d/in.v" ;; esac
  f=${f//\{size\}/${s}x${s}}
  f=${f//\{out\}/$d/out.v}
  f=${f//\{dir\}/$d}
  echo "${f//\{in\}/$in}"
}
peer_cmd() {  # tool threads filled-field
  case "$1" in
    im) echo "$IM -limit thread $2 $3 null:" ;;
    gm) echo "$GM convert -limit threads $2 $3 null:" ;;
    vips) echo "$VIPS --vips-concurrency=$2 $3" ;;
  esac
}
peer_env() {  # tool threads: the environment each tool takes its thread count from
  case "$1" in
    im) echo "MAGICK_THREAD_LIMIT=$2 OMP_NUM_THREADS=$2" ;;
    gm) echo "OMP_NUM_THREADS=$2" ;;
    vips) echo "VIPS_CONCURRENCY=$2" ;;
  esac
}
noop_field() {  # tool blank?: what each command is measured against
  case "$1:$2" in
    vips:*) echo "copy {in} {out}" ;;
    *:blank) echo "-size {size} xc:black" ;;
    *) echo "{in}" ;;
  esac
}
column() {  # tool: the field of OPS
  case "$1" in im) echo 4 ;; gm) echo 5 ;; vips) echo 6 ;; esac
}

declare -A RES   # RES[key,tool,threads] = milliseconds, "-" (none) or "fail"

# ---- Orvelle ---------------------------------------------------------------------
while IFS='|' read -r key _ orv _; do
  for t in $THREADS; do
    echo "compare-peers: Orvelle $key, $t thread(s)" >&2
    # shellcheck disable=SC2086  # the class and its FIELD=VALUE words
    if line=$("$TIMER" --size "${SIDE}x${SIDE}" --threads "$t" --runs "$ORV_RUNS" $orv); then
      RES[$key,orv,$t]=$(echo "$line" | sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p')
    else
      RES[$key,orv,$t]=fail
    fi
  done
done <<<"$OPS"

# ---- peers -----------------------------------------------------------------------
# One hyperfine run per tool and thread count: the no-op commands first, then
# every operation that passed its check on the small input.
median_ms() {  # json index
  jq -r ".results[$2].median * 1000" "$1"
}
vips_own_ms() {  # threads filled-field: median of the evaluation time vips reports
  local t=$1 f=$2 i v all=""
  for ((i = 0; i < VIPS_RUNS + 1; i++)); do
    # shellcheck disable=SC2086,SC2046
    v=$(env $(peer_env vips "$t") $(peer_cmd vips "$t" "--vips-progress $f") 2>&1 |
        tr '\r' '\n' | sed -n 's/.*out\.v: done in \([0-9.e+-]*\)s.*/\1/p' | tail -1)
    [ -n "$v" ] || return 1
    [ "$i" -gt 0 ] && all="$all $v"   # the first run warms the caches
  done
  echo "$all" | tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ a[NR] = $1 } END { m = NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2; printf "%.3f\n", m * 1000 }'
}

for tool in im gm vips; do
  col=$(column "$tool")
  for t in $THREADS; do
    keys=(); fields=(); cmds=(); bases=()
    while IFS='|' read -r -a f; do
      key=${f[0]} field=${f[$((col - 1))]}
      if [ "$field" = "-" ]; then RES[$key,$tool,$t]="-"; continue; fi
      base="read"; case "$field" in *'{in}'*) ;; *) base=blank ;; esac
      small=$(fill "$WORK/small" 96 "$field" "$tool")
      # shellcheck disable=SC2046
      if ! env $(peer_env "$tool" "$t") $(peer_cmd "$tool" "$t" "$small") >/dev/null 2>&1; then
        echo "compare-peers: $tool $key fails on a small input; left out" >&2
        RES[$key,$tool,$t]=fail; continue
      fi
      keys+=("$key"); fields+=("$field"); bases+=("$base"); cmds+=("$(peer_cmd "$tool" "$t" "$(fill "$WORK/big" "$SIDE" "$field" "$tool")")")
    done <<<"$OPS"
    [ ${#keys[@]} -gt 0 ] || continue
    echo "compare-peers: $tool, $t thread(s): ${#keys[@]} operation(s)" >&2
    if [ "$tool" = vips ] && [ "$VIPS_OWN" = 1 ]; then
      noop=$(vips_own_ms "$t" "$(fill "$WORK/big" "$SIDE" "$(noop_field vips read)" vips)") || die "vips --vips-progress gave no time"
      for i in "${!keys[@]}"; do
        if ms=$(vips_own_ms "$t" "$(fill "$WORK/big" "$SIDE" "${fields[$i]}" vips)"); then
          RES[${keys[$i]},vips,$t]=$(awk -v a="$ms" -v b="$noop" 'BEGIN { printf "%.3f", a - b }')
        else
          RES[${keys[$i]},vips,$t]=fail
        fi
      done
      continue
    fi
    noops=("$(peer_cmd "$tool" "$t" "$(fill "$WORK/big" "$SIDE" "$(noop_field "$tool" read)" "$tool")")"
           "$(peer_cmd "$tool" "$t" "$(fill "$WORK/big" "$SIDE" "$(noop_field "$tool" blank)" "$tool")")")
    json="$OUT/$tool-${t}t.json"
    # shellcheck disable=SC2046
    if ! env $(peer_env "$tool" "$t") hyperfine -N --style none "${HF[@]}" --export-json "$json" \
        "${noops[@]}" "${cmds[@]}" >"$OUT/$tool-${t}t.log" 2>&1; then
      cat "$OUT/$tool-${t}t.log" >&2
      die "hyperfine failed for $tool"
    fi
    readMs=$(median_ms "$json" 0)
    blankMs=$(median_ms "$json" 1)
    for i in "${!keys[@]}"; do
      ms=$(median_ms "$json" $((i + 2)))
      b=$readMs; [ "${bases[$i]}" = blank ] && b=$blankMs
      RES[${keys[$i]},$tool,$t]=$(awk -v a="$ms" -v b="$b" 'BEGIN { printf "%.3f", a - b }')
    done
  done
done

# ---- the table -------------------------------------------------------------------
fmt() {  # milliseconds or a mark
  case "$1" in
    -|fail|'') echo "${1:--}" ;;
    *) awk -v v="$1" 'BEGIN { if (v < 0.5) print "~0"; else if (v < 10) printf "%.1f\n", v; else printf "%.0f\n", v }' ;;
  esac
}
ratio() {  # a b: a / b when both are times
  awk -v a="$1" -v b="$2" 'BEGIN { if (a !~ /^[0-9.]+$/ || b !~ /^[0-9.]+$/ || a + 0 < 0.5 || b + 0 < 0.5) print "—"; else printf "%.2f\n", a / b }'
}
best() {  # key threads: the fastest peer's time
  local key=$1 t=$2 b="" v tool
  for tool in im gm vips; do
    v=${RES[$key,$tool,$t]:-}
    case "$v" in -|fail|'') continue ;; esac
    if [ -z "$b" ] || awk -v v="$v" -v b="$b" 'BEGIN { exit !(v < b) }'; then b=$v; fi
  done
  echo "${b:--}"
}
pair() {  # key tool
  local a b
  a=$(fmt "${RES[$1,$2,1]:-}")
  if [ "$NPROC" -gt 1 ]; then b=$(fmt "${RES[$1,$2,$NPROC]:-}"); echo "$a / $b"; else echo "$a"; fi
}
ratios() {  # key against: "best" or a tool
  local out="" t o p
  for t in $THREADS; do
    o=${RES[$1,orv,$t]:-}
    if [ "$2" = best ]; then p=$(best "$1" "$t"); else p=${RES[$1,$2,$t]:-}; fi
    out="$out${out:+ / }$(ratio "$o" "$p")"
  done
  echo "$out"
}

TABLE="$OUT/table.md"
{
  cpu=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -1)
  th="1T"; [ "$NPROC" -gt 1 ] && th="1T / ${NPROC}T"
  echo "Compute-only medians in ms on ${SIDE} x ${SIDE} RGBA 8-bit noise, $th; $(date -u +%Y-%m-%d), ${cpu:-unknown CPU}, $NPROC cores."
  echo "Load average $LOAD_START at the start, $(cut -d' ' -f1 /proc/loadavg 2>/dev/null || echo "?") at the end (above 0.5 the figures are noisy)."
  echo "Ratios are Orvelle's time over the peer's at equal threads: below 1 Orvelle is faster."
  echo
  echo "| operation | Orvelle | ImageMagick 6 | GraphicsMagick | libvips | Orvelle ÷ fastest peer | Orvelle ÷ ImageMagick |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  while IFS='|' read -r key label _; do
    echo "| $label | $(pair "$key" orv) | $(pair "$key" im) | $(pair "$key" gm) | $(pair "$key" vips) | $(ratios "$key" best) | $(ratios "$key" im) |"
  done <<<"$OPS"
} >"$TABLE"
cat "$TABLE"
echo >&2
echo "compare-peers: table in $TABLE, hyperfine's raw results in $OUT" >&2
