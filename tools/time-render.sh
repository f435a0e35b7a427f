#!/usr/bin/env bash
# Times duv-render on one minute of generated stereo audio, beside Debian's
# soundstretch shifting the same file by a tenth of a semitone, and prints the
# CPU seconds (user + sys) of each.
#
#   tools/time-render.sh [BUILD_DIR]      (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
[[ "$build" = /* ]] || build="$root/$build"
render="$build/host/duv-render"
plugin="$build/DUV.so"
for f in "$render" "$plugin"; do
  [ -e "$f" ] || { echo "time-render: $f is missing; build the duv-render target first" >&2; exit 1; }
done
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

# CPU seconds (user and sys) of one command, from bash's own timer.
cpu() {
  local TIMEFORMAT='%3U %3S'
  { time "$@" >/dev/null 2>&1; } 2>&1
}

read -r du ds < <(cpu "$render" --quiet --plugin "$plugin" "$work/minute.wav" "$work/duv.wav")
read -r su ss < <(cpu soundstretch "$work/minute.wav" "$work/stretch.wav" -pitch=0.1)
[ -s "$work/duv.wav" ] || { echo "time-render: duv-render wrote nothing" >&2; exit 1; }
[ -s "$work/stretch.wav" ] || { echo "time-render: soundstretch wrote nothing" >&2; exit 1; }

echo "one minute of stereo audio at $rate Hz, 16-bit WAV"
printf '%-28s %8s %8s %8s %12s\n' "tool" "user s" "sys s" "cpu s" "x real time"
row() {
  local total
  total=$(awk -v u="$2" -v s="$3" 'BEGIN { printf "%.3f", u + s }')
  printf '%-28s %8s %8s %8s %12s\n' "$1" "$2" "$3" "$total" \
    "$(awk -v t="$total" -v d="$seconds" 'BEGIN { if (t > 0) printf "%.0f", d / t; else print "-" }')"
}
row "duv-render (block 512)" "$du" "$ds"
row "soundstretch -pitch=0.1" "$su" "$ss"
