#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# only those that are missing. Safe to run again; needs root or sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libbenchmark-dev
  libpng-dev zlib1g-dev libjpeg62-turbo-dev nasm
  libsndfile1-dev libfftw3-dev libpixman-1-dev
  clang-14 libclang-rt-14-dev
  python3 python3-pil python3-numpy python3-reportlab
  fonts-dejavu-core fonts-urw-base35 poppler-utils
  binutils soundstretch time
  libx11-dev libxext-dev libxtst-dev libxdamage-dev xvfb
  libfreetype-dev libfontconfig-dev
  g++-mingw-w64-x86-64 wine64 xvfb xdotool
  lv2-dev liblilv-dev lilv-utils lv2file sordi
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

# Codec sources. Debian's static libpng/libjpeg/zlib archives are not position
# independent, so the build compiles them itself (raster/cmake/ImageCodecs.cmake)
# from Debian's source packages, unpacked once under /opt/duv-deps/src.
codec_src=/opt/duv-deps/src
if ! ls -d "$codec_src"/zlib-* "$codec_src"/libpng1.6-* "$codec_src"/libjpeg-turbo-* >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  list=/etc/apt/sources.list.d/duv-deb-src.sources
  if [ ! -f "$list" ]; then
    # Same archives as the binary packages, source side.
    $sudo tee "$list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  $sudo apt-get update -qq
  $sudo mkdir -p "$codec_src"
  # dpkg-dev unpacks source packages (dpkg-source).
  dpkg-query -W -f='${Status}' dpkg-dev 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends dpkg-dev
  (cd "$codec_src" && $sudo apt-get source -qq zlib/bookworm libpng1.6/bookworm libjpeg-turbo/bookworm)
fi

# GoogleTest for the Windows build (tools/run-wine-tests.sh), cross-built from
# Debian's googletest sources with the project's mingw toolchain file into
# /opt/duv-deps/mingw64, with a start gate that needs no std::mutex (mingw's
# default thread model has none).
mingw_prefix=/opt/duv-deps/mingw64
if command -v x86_64-w64-mingw32-g++ >/dev/null && [ ! -f "$mingw_prefix/lib/libgtest.a" ]; then
  here=$(cd "$(dirname "$0")" && pwd)
  gtest_src=$(mktemp -d)
  cp -r /usr/src/googletest/. "$gtest_src"
  cp "$here/win/gtest-custom-port.h" "$gtest_src/googletest/include/gtest/internal/custom/gtest-port.h"
  cmake -S "$gtest_src" -B "$gtest_src/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$mingw_prefix" -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$gtest_src/build" -j "$(nproc)" >/dev/null
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo cmake --install "$gtest_src/build" >/dev/null
  rm -rf "$gtest_src"
fi
