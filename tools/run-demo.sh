#!/usr/bin/env bash
# The main job: builds the plug-in and its host tools, then shows what a host sees.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
mkdir -p "$root/out"
"$root/build/host/duv-info" "$root/build/DUV.so"
