#!/usr/bin/env bash
# The main job: builds the plug-in and its host tools, shows what a host sees,
# renders the built-in demo through the plug-in (dry and processed files side
# by side) and draws the editor's picture next to them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
mkdir -p "$root/out"
"$root/build/host/duv-info" "$root/build/DUV.so"
echo
"$root/build/host/duv-render" --demo-out "$root/out"
"$root/build/host/duv-snapshot" -o "$root/out/editor.png"
