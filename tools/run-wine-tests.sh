#!/usr/bin/env bash
# Builds the 64-bit Windows module (DUV.dll) and the tests that share the
# Linux sources with Debian's mingw-w64 in build-win, then runs them under
# wine64: the core, chunk, dispatcher, DSP and raster test programs, the
# embedded images' pixel hashes (libjpeg's SIMD on and off) and the golden
# DSP output hashes against the lists the Linux build checks, the Windows
# layer's own tests (popups, dialogs, resizing with real windows), and the
# editor inside the Windows test host under an Xvfb, driven with xdotool.
# Uses a fresh wine prefix in a temporary folder and ends its wineserver and
# Xvfb when done. Every program runs under a time limit.
# Usage: tools/run-wine-tests.sh [build-dir]   (default build-win)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-win}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
for tool in x86_64-w64-mingw32-g++ "$wine" Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "run-wine-tests: $tool missing (tools/setup-deps.sh installs it)" >&2; exit 1; }
done
[ -f /opt/duv-deps/mingw64/lib/libgtest.a ] ||
  { echo "run-wine-tests: GoogleTest for mingw missing (tools/setup-deps.sh builds it)" >&2; exit 1; }

gtest_programs=(
  tests/raster/duv_raster_tests
  tests/plugin/duv_plugin_tests tests/plugin/duv_plugin_alloc_tests
  tests/dsp/dsp_fft_test tests/dsp/dsp_pitch_detector_test tests/dsp/dsp_filters_test
  tests/dsp/dsp_delay_voice_test tests/dsp/dsp_doubler_engine_test tests/dsp/dsp_engine_allocation_test
  tests/win/duv_win_graphics_tests
)
targets=(DUV duv-win-host duv_embedded_image_hashes dsp_golden_output)
for p in "${gtest_programs[@]}"; do targets+=("$(basename "$p")"); done

echo "== Windows build (mingw-w64) in $build"
start=$SECONDS
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DDUV_BUILD_BENCH=OFF -DDUV_SKIP_LAYERS=docs >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
echo "build: $((SECONDS - start)) s"
if x86_64-w64-mingw32-objdump -p "$build/DUV.dll" | grep "DLL Name" | grep -viE \
    'kernel32|user32|gdi32|comdlg32|shell32|wininet|msvcrt|advapi32' ; then
  echo "DUV.dll depends on a DLL that is not a system one" >&2
  exit 1
fi

work=$(mktemp -d)
xvfb_pid=""
export WINEPREFIX=$work/prefix WINEDEBUG=-all
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display number nobody holds.
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

start=$SECONDS
"$wine" wineboot -i >/dev/null 2>&1 || true
# Top-level windows unmanaged: without a window manager wine otherwise waits
# up to a second or two for each dialog box or host window to be unmapped.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
echo "wine prefix: $((SECONDS - start)) s"

passed=0
failed=0
for p in "${gtest_programs[@]}"; do
  log=$work/$(basename "$p").log
  # Standard input closed: a program the tests start through the shell
  # must not hold the script's terminal.
  if timeout 300 "$wine" "$build/$p.exe" --gtest_brief=1 </dev/null >"$log" 2>&1; then status=ok; else status=FAILED; fi
  n_pass=$(tr -d '\r' <"$log" | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p')
  n_fail=$(tr -d '\r' <"$log" | sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p')
  passed=$((passed + ${n_pass:-0}))
  failed=$((failed + ${n_fail:-0}))
  if [ "$status" != ok ]; then
    [ -z "$n_fail" ] && failed=$((failed + 1))
    tr -d '\r' <"$log" | tail -n 40
  fi
  echo "$status $(basename "$p"): ${n_pass:-0} passed, ${n_fail:-0} failed"
done

# A program's output against a checked-in list: compare <name> <program.exe> <list> [env...]
compare() {
  local name=$1 program=$2 list=$3 out=$work/compare.txt
  shift 3
  if env "$@" timeout 120 "$wine" "$program" </dev/null 2>/dev/null | tr -d '\r' >"$out" &&
      diff -u "$list" "$out"; then
    echo "ok $name"
    passed=$((passed + 1))
  else
    echo "FAILED $name"
    failed=$((failed + 1))
  fi
}
# The decoders' output, pixel for pixel the list the Linux build pins, with
# libjpeg's SIMD code and with its plain C code (as the Linux test does).
image_list=$root/tests/raster/data/embedded-image-hashes.txt
image_tool=$build/tests/raster/duv_embedded_image_hashes.exe
compare "embedded image hashes equal the Linux list (SIMD on)" "$image_tool" "$image_list"
compare "embedded image hashes equal the Linux list (SIMD off)" "$image_tool" "$image_list" JSIMD_FORCENONE=1
# The doubler's output samples, bit for bit those of the Linux build.
compare "DSP golden output equals the Linux list" "$build/tests/dsp/dsp_golden_output.exe" \
  "$root/tests/dsp/data/golden-output.txt"

# The editor in a window: the Windows host, xdotool and the X server's picture.
gui_log=$work/gui.log
if DUV_WINE="$wine" DUV_WIN_HOST="$build/host/win/duv-win-host.exe" DUV_WIN_DLL="$build/DUV.dll" \
    timeout 300 /usr/bin/python3 "$root/tests/win/win_gui_test.py" >"$gui_log" 2>&1; then
  status=ok
else
  status=FAILED
  cat "$gui_log"
fi
n_gui=$(sed -n 's/^Ran \([0-9]*\) tests\{0,1\}.*/\1/p' "$gui_log")
n_gui_fail=$(grep -cE '^(FAIL|ERROR):' "$gui_log" || true)
if [ "$status" = ok ]; then
  passed=$((passed + ${n_gui:-0}))
else
  failed=$((failed + (n_gui_fail > 0 ? n_gui_fail : 1)))
  passed=$((passed + ${n_gui:-0} - n_gui_fail))
fi
echo "$status editor window under wine: ${n_gui:-0} tests, $n_gui_fail failed"

echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
