#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build (duv_fuzz_png, duv_fuzz_jpeg,
# duv_fuzz_chunk), each from its committed seeds in fuzz/corpus/<kind>.
#
#   run-fuzz.sh <fuzz-build-dir> [seconds]
#       Short bounded runs (default 20 s each) for the test command: a scratch
#       corpus, stop at the first finding and fail; the finding stays in the
#       scratch folder named in the message.
#   run-fuzz.sh <fuzz-build-dir> --long <seconds> [kind...]
#       Long runs with a persistent corpus outside the repository
#       ($DUV_FUZZ_HOME, default ~/.cache/duv-fuzz, one folder per kind). A
#       finding does not stop the run: every crash, leak, timeout, memory
#       overrun or slow input is kept as a reproducer in
#       $DUV_FUZZ_HOME/findings/<kind>/. One worker, at low priority.
#   run-fuzz.sh <fuzz-build-dir> --merge [kind...]
#       Adds to fuzz/corpus/<kind> the few inputs of the persistent corpus
#       that reach coverage the committed seeds do not (libFuzzer's -merge=1).
#
# Each run prints the executions and executions per second of every target.
# Limits, the same in every mode: an input slower than 1 s is reported as slow
# and kept; one slower than 10 s is a timeout; a single allocation above
# 64 MiB or a resident size above 512 MiB is a finding (the loaders refuse
# anything that would need more before allocating it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: run-fuzz.sh <fuzz-build-dir> [seconds | --long <seconds> [kind...] | --merge [kind...]]"
build=${1:?$usage}
shift
mode=short
seconds=20
case "${1:-}" in
  --long) mode=long; seconds=${2:?$usage}; shift 2 ;;
  --merge) mode=merge; shift ;;
  "") ;;
  *) seconds=$1; shift ;;
esac
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(png jpeg chunk)
home=${DUV_FUZZ_HOME:-$HOME/.cache/duv-fuzz}

# UBSan reports stop the run like any other finding.
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=32:malloc_context_size=20
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
limits=(-timeout=10 -report_slow_units=1 -malloc_limit_mb=64 -rss_limit_mb=512)

binary() {
  local bin="$build/fuzz/duv_fuzz_$1"
  if [ ! -x "$bin" ]; then
    echo "missing fuzz target $bin" >&2
    exit 1
  fi
  echo "$bin"
}

# Executions and executions per second from a libFuzzer log: the final
# statistics of a plain run, or the last status line of a fork-mode run.
report() { # kind, log, seconds
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$2" | tail -n1)
  if [ -z "$execs" ]; then
    execs=$(sed -n 's/^#\([0-9][0-9]*\):* .*/\1/p' "$2" | tail -n1)
  fi
  execs=${execs:-0}
  local rss
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p;s/.* rss: \([0-9]*\)Mb.*/\1/p' "$2" | sort -n | tail -n1)
  printf 'fuzz %s: %s executions in %s s, %s per second, peak RSS %s MiB\n' \
    "$1" "$execs" "$3" "$((execs / ($3 > 0 ? $3 : 1)))" "${rss:-?}"
}

found=0
for kind in "${kinds[@]}"; do
  bin=$(binary "$kind")
  seeds="$root/fuzz/corpus/$kind"
  case $mode in
    short)
      scratch=$(mktemp -d)
      echo "== fuzz $kind (${seconds}s)"
      start=$SECONDS
      status=0
      "$bin" -max_total_time="$seconds" "${limits[@]}" -print_final_stats=1 \
        -artifact_prefix="$scratch/" "$scratch" "$seeds" > "$scratch/log" 2>&1 || status=$?
      report "$kind" "$scratch/log" "$((SECONDS - start))"
      slow=$(find "$scratch" -maxdepth 1 -name 'slow-unit-*' | head -n1)
      if [ $status -ne 0 ] || [ -n "$slow" ]; then
        tail -n 60 "$scratch/log" >&2
        [ -n "$slow" ] && echo "fuzz $kind: an input took over 1 s: $slow" >&2
        echo "fuzz $kind: finding kept in $scratch" >&2
        found=1
        continue
      fi
      rm -rf "$scratch"
      ;;
    long)
      corpus="$home/$kind"
      findings="$home/findings/$kind"
      mkdir -p "$corpus" "$findings"
      log="$home/$kind.log"
      echo "== fuzz $kind (${seconds}s, corpus $corpus, findings $findings, log $log)"
      start=$SECONDS
      # Fork mode with one worker keeps fuzzing after a finding and keeps each.
      nice -n 19 "$bin" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -max_total_time="$seconds" "${limits[@]}" -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "$seeds" > "$log" 2>&1 || true
      report "$kind" "$log" "$((SECONDS - start))"
      count=$(find "$findings" -maxdepth 1 -type f | wc -l)
      echo "fuzz $kind: $count reproducer file(s) in $findings"
      [ "$count" -eq 0 ] || found=1
      ;;
    merge)
      corpus="$home/$kind"
      if [ ! -d "$corpus" ]; then
        echo "no persistent corpus $corpus (run --long first)" >&2
        exit 1
      fi
      before=$(find "$seeds" -type f | wc -l)
      "$bin" -merge=1 "${limits[@]}" "$seeds" "$corpus" > "$home/$kind.merge.log" 2>&1
      echo "fuzz $kind: $(( $(find "$seeds" -type f | wc -l) - before )) input(s) added to $seeds"
      ;;
  esac
done
exit $found
