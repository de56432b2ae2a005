#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each, one after another, on its
# committed seed corpus (new finds go to a scratch copy, not into git).
# Usage: fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
# A crash, a leak, an input slower than 10 s or one that takes more than
# 2 GB is a finding: the run stops with the reproducer in the scratch folder.
set -euo pipefail
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(bmp png jpeg recipe effect_load effect_apply ini)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvelle-fuzz.XXXXXX")
keep=0
trap '[ $keep = 1 ] || rm -rf "$scratch"' EXIT
for t in "${targets[@]}"; do
  mkdir -p "$scratch/$t"
  cp -r "$here/corpus/$t/." "$scratch/$t/" 2>/dev/null || true
  dict=()
  [ -f "$here/dict/$t.dict" ] && dict=(-dict="$here/dict/$t.dict")
  echo "fuzz_$t: ${seconds}s"
  if ! UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
      "$build/fuzz/fuzz_$t" "$scratch/$t" "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -malloc_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$scratch/" 2>"$scratch/$t.log"; then
    keep=1
    tail -n 60 "$scratch/$t.log" >&2
    echo "fuzz_$t found a fault; reproducer and log in $scratch" >&2
    exit 1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$scratch/$t.log" | sed "s/^/  /"
done
echo "fuzz: ${#targets[@]} passed, 0 failed"
