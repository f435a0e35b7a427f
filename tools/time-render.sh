#!/usr/bin/env bash
# Times duv-render on one minute of generated stereo audio, beside Debian's
# soundstretch shifting the same file by a tenth of a semitone. The two run in
# pairs, alternating A B A B, so that a shared, loaded machine slows both
# alike; it prints the median CPU seconds (user + sys) of each, the median of
# the per-pair ratios, and the peak resident memory of each.
#
#   tools/time-render.sh [BUILD_DIR [PAIRS]]      (defaults: build, 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
pairs=${2:-7}
[[ "$pairs" =~ ^[1-9][0-9]*$ ]] || { echo "time-render: PAIRS must be a whole number above 0" >&2; exit 2; }
[[ "$build" = /* ]] || build="$root/$build"
render="$build/host/duv-render"
plugin="$build/DUV.so"
for f in "$render" "$plugin"; do
  [ -e "$f" ] || { echo "time-render: $f is missing; build the duv-render target first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "time-render: /usr/bin/time is missing (tools/setup-deps.sh)" >&2; exit 1; }
command -v soundstretch >/dev/null || { echo "time-render: soundstretch is missing (tools/setup-deps.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=60
rate=44100

# Two detuned saw-like tones with a slow tremolo and a little seeded noise:
# pitched material that keeps the pitch detector and the voices busy.
python3 - "$work/minute.wav" "$seconds" "$rate" <<'PY'
import array, math, random, sys, wave
path, seconds, rate = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(1)
n = seconds * rate
samples = array.array("h", bytes(4 * n))
two_pi = 2.0 * math.pi
for i in range(n):
    t = i / rate
    tremolo = 0.75 + 0.25 * math.sin(two_pi * 0.5 * t)
    left = sum(math.sin(two_pi * 196.0 * k * t) / k for k in (1, 2, 3, 4))
    right = sum(math.sin(two_pi * 247.0 * k * t) / k for k in (1, 2, 3, 4))
    samples[2 * i] = int(6000 * tremolo * left + 300 * (rng.random() - 0.5))
    samples[2 * i + 1] = int(6000 * tremolo * right + 300 * (rng.random() - 0.5))
with wave.open(path, "wb") as w:
    w.setnchannels(2)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(samples.tobytes())
PY

# "user sys maxrss_kib" of one command: CPU from bash's timer (milliseconds;
# GNU time prints hundredths), the peak resident memory from GNU time.
measure() {
  local TIMEFORMAT='%3U %3S' times
  times=$({ time /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>&1; } 2>&1) ||
    { echo "time-render: failed: $*" >&2; exit 1; }
  echo "$times $(tail -n 1 "$work/rss")"
}

: >"$work/duv.txt"
: >"$work/stretch.txt"
for ((k = 0; k < pairs; ++k)); do
  measure "$render" --quiet --plugin "$plugin" "$work/minute.wav" "$work/duv.wav" >>"$work/duv.txt"
  measure soundstretch "$work/minute.wav" "$work/stretch.wav" -pitch=0.1 >>"$work/stretch.txt"
done
[ -s "$work/duv.wav" ] || { echo "time-render: duv-render wrote nothing" >&2; exit 1; }
[ -s "$work/stretch.wav" ] || { echo "time-render: soundstretch wrote nothing" >&2; exit 1; }

echo "one minute of stereo audio at $rate Hz, 16-bit WAV; $pairs pairs, alternating"
paste "$work/duv.txt" "$work/stretch.txt" | awk -v d="$seconds" '
  function median(a, n,   i, j, t) {
    for (i = 2; i <= n; ++i)
      for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  {
    n++
    dc[n] = $1 + $2; sc[n] = $4 + $5
    ratio[n] = sc[n] > 0 ? dc[n] / sc[n] : 0
    if ($3 > dm) dm = $3
    if ($6 > sm) sm = $6
  }
  END {
    d_cpu = median(dc, n); s_cpu = median(sc, n)
    printf "%-28s %12s %12s %14s\n", "tool", "median cpu s", "x real time", "peak RSS MiB"
    printf "%-28s %12.3f %12.0f %14.1f\n", "duv-render (block 512)", d_cpu, (d_cpu > 0 ? d / d_cpu : 0), dm / 1024
    printf "%-28s %12.3f %12.0f %14.1f\n", "soundstretch -pitch=0.1", s_cpu, (s_cpu > 0 ? d / s_cpu : 0), sm / 1024
    printf "median CPU ratio duv-render / soundstretch: %.2fx (pairs from %.2fx to %.2fx)\n",
      median(ratio, n), ratio[1], ratio[n]
  }'
