#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build (duv_fuzz_png, duv_fuzz_jpeg,
# duv_fuzz_chunk, duv_fuzz_host, duv_fuzz_lv2), each from its committed seeds
# in fuzz/corpus/<kind> (fuzz/make_host_seeds.py writes those of host and lv2).
#
#   run-fuzz.sh <fuzz-build-dir> [seconds]
#       Short bounded runs (default 20 s each) for the test command: a scratch
#       corpus, stop at the first finding and fail; the finding stays in the
#       scratch folder named in the message.
#   run-fuzz.sh <fuzz-build-dir> --long <seconds> [kind...]
#       Long runs with a persistent corpus outside the repository
#       ($DUV_FUZZ_HOME, default ~/.cache/duv-fuzz, one folder per kind). A
#       finding does not end the run (libFuzzer starts again from the grown
#       corpus): every crash, leak, timeout, memory overrun or slow input is
#       kept as a reproducer in $DUV_FUZZ_HOME/findings/<kind>/. One process,
#       at low priority.
#   run-fuzz.sh <fuzz-build-dir> --merge [kind...]
#       Adds to fuzz/corpus/<kind> the few inputs of the persistent corpus
#       that reach code the committed seeds do not (libFuzzer's -merge=1 on
#       edges alone, not hit counts, which keeps the set to a few hundred).
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
[ ${#kinds[@]} -gt 0 ] || kinds=(png jpeg chunk host lv2)
home=${DUV_FUZZ_HOME:-$HOME/.cache/duv-fuzz}

# UBSan reports stop the run like any other finding.
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=32:malloc_context_size=20
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
limits=(-timeout=10 -report_slow_units=1 -malloc_limit_mb=64 -rss_limit_mb=512)
# One process per corpus: -reload=0, or libFuzzer reads back every input it
# has just written to the corpus folder and runs it a second time.
single=(-reload=0)

# libpng prints a warning for nearly every mutated input: its stderr is closed
# (libFuzzer's own output and the sanitizers' reports still come through).
quiet() { [ "$1" != png ] || echo -close_fd_mask=2; }

binary() {
  local bin="$build/fuzz/duv_fuzz_$1"
  if [ ! -x "$bin" ]; then
    echo "missing fuzz target $bin" >&2
    exit 1
  fi
  echo "$bin"
}

# Executions of one libFuzzer run from its log (the final statistics, or the
# last status line of a run that ended in a finding), and the peak resident
# size over a log of one or more runs.
executions() {
  local n
  n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$1" | tail -n1)
  [ -n "$n" ] || n=$(sed -n 's/^#\([0-9][0-9]*\)[[:space:]].*/\1/p' "$1" | tail -n1)
  echo "${n:-0}"
}
peak_rss() {
  sed -n 's/^stat::peak_rss_mb: *//p;s/.* rss: \([0-9]*\)Mb.*/\1/p' "$1" | sort -n | tail -n1
}
report() { # kind, executions, peak RSS, seconds
  printf 'fuzz %s: %s executions in %s s, %s per second, peak RSS %s MiB\n' \
    "$1" "$2" "$4" "$(($2 / ($4 > 0 ? $4 : 1)))" "${3:-?}"
}

# libFuzzer keeps an input that took over 1 s as slow-unit-*. Each is timed
# again on its own: one that is fast alone was slowed by other load on a
# shared machine and is dropped; the others stay and make this fail.
confirm_slow() { # binary, folder
  local f ms result=0
  for f in "$2"/slow-unit-*; do
    [ -e "$f" ] || continue
    ms=$("$1" "${limits[@]}" "$f" 2>&1 | sed -n 's/^Executed .* in \([0-9]*\) ms$/\1/p')
    if [ "${ms:-1000}" -ge 1000 ]; then
      echo "fuzz: an input takes ${ms:-over 1000} ms: $f" >&2
      result=1
    else
      echo "fuzz: an input was slow under load only (${ms} ms alone), dropped"
      rm -f "$f"
    fi
  done
  return $result
}

# The loop and the exit end on one line, so bash has read all of it before it
# runs: editing this file during a long run cannot change what that run does.
found=0
for kind in "${kinds[@]}"; do
  bin=$(binary "$kind")
  seeds="$root/fuzz/corpus/$kind"
  case $mode in
    short)
      scratch=$(mktemp -d)
      mkdir "$scratch/corpus"  # the log beside it, not in it: libFuzzer reads every file there as an input
      echo "== fuzz $kind (${seconds}s)"
      start=$SECONDS
      status=0
      "$bin" -max_total_time="$seconds" "${limits[@]}" "${single[@]}" $(quiet "$kind") -print_final_stats=1 \
        -artifact_prefix="$scratch/" "$scratch/corpus" "$seeds" > "$scratch/log" 2>&1 || status=$?
      report "$kind" "$(executions "$scratch/log")" "$(peak_rss "$scratch/log")" "$((SECONDS - start))"
      confirm_slow "$bin" "$scratch" || status=1
      if [ $status -ne 0 ]; then
        tail -n 60 "$scratch/log" >&2
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
      : > "$log"
      start=$SECONDS
      execs=0
      # A finding ends a libFuzzer run with the reproducer kept: start again
      # from the grown corpus until the time is used (at most 50 runs, so an
      # input that fails at once cannot spin).
      for _ in $(seq 50); do
        left=$((start + seconds - SECONDS))
        [ $left -gt 0 ] || break
        status=0
        nice -n 10 "$bin" -max_total_time="$left" "${limits[@]}" "${single[@]}" $(quiet "$kind") -print_final_stats=1 \
          -artifact_prefix="$findings/" "$corpus" "$seeds" > "$log.run" 2>&1 || status=$?
        cat "$log.run" >> "$log"
        execs=$((execs + $(executions "$log.run")))
        [ $status -ne 0 ] || break
      done
      rm -f "$log.run"
      confirm_slow "$bin" "$findings" || true
      report "$kind" "$execs" "$(peak_rss "$log")" "$((SECONDS - start))"
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
      "$bin" -merge=1 -use_counters=0 "${limits[@]}" $(quiet "$kind") "$seeds" "$corpus" > "$home/$kind.merge.log" 2>&1
      echo "fuzz $kind: $(( $(find "$seeds" -type f | wc -l) - before )) input(s) added to $seeds"
      ;;
  esac
done; exit $found
