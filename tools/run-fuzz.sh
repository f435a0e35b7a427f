#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a short, bounded time, each
# from its committed seeds (fuzz/corpus/<kind>) plus a scratch corpus, and
# fails on the first finding. Usage: tools/run-fuzz.sh <fuzz-build-dir> [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: run-fuzz.sh <fuzz-build-dir> [seconds]}
seconds=${2:-20}
found=0
for kind in png jpeg; do
  bin="$build/fuzz/duv_fuzz_$kind"
  if [ ! -x "$bin" ]; then
    echo "missing fuzz target $bin" >&2
    exit 1
  fi
  scratch=$(mktemp -d)
  echo "== fuzz $kind (${seconds}s)"
  # Mutated headers ask for bitmaps of up to 2 GiB. Allocations above 64 MiB
  # fail (answer null) instead, which keeps runs fast and exercises the
  # loaders' allocation-failure path.
  if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=64 \
      "$bin" -max_total_time="$seconds" -rss_limit_mb=6144 -malloc_limit_mb=4096 -timeout=60 \
      -print_final_stats=1 -artifact_prefix="$scratch/" "$scratch" "$root/fuzz/corpus/$kind" \
      > "$scratch/log" 2>&1; then
    tail -n 60 "$scratch/log" >&2
    echo "fuzz $kind: finding kept in $scratch" >&2
    found=1
    continue
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$scratch/log" || true
  rm -rf "$scratch"
done
exit $found
