#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# only those that are missing. Safe to run again; needs root or sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libbenchmark-dev
  libpng-dev zlib1g-dev libjpeg62-turbo-dev
  libsndfile1-dev libfftw3-dev libpixman-1-dev
  clang-14 libclang-rt-14-dev
  python3 python3-pil python3-numpy python3-reportlab
  fonts-dejavu-core fonts-urw-base35 poppler-utils
  binutils soundstretch
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
