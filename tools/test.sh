#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing, builds with gcc (and
# checks that clang builds it warning-free too), and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
# The desktop tests start their own X server and use the real clipboard tool and dialog.
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xclip >/dev/null || need+=(xclip)
command -v zenity >/dev/null || need+=(zenity)
command -v xdotool >/dev/null || need+=(xdotool)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update
  apt-get install -y --no-install-recommends "${need[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DJOTLOG_WERROR=ON
cmake --build build -j2
if command -v clang++ >/dev/null; then
  cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Release -DJOTLOG_WERROR=ON \
    -DCMAKE_CXX_COMPILER=clang++
  cmake --build build-clang -j2
fi
ctest --test-dir build --output-on-failure

# --- Windows build: cross-built with mingw-w64, tested under Wine (README, "Windows") ---
need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v wine >/dev/null || need+=(wine64 wine)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xclip >/dev/null || need+=(xclip)
command -v locale-gen >/dev/null || need+=(locales)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update
  apt-get install -y --no-install-recommends "${need[@]}"
fi
# The date and time pictures are compared in Japanese too.
if ! locale -a | grep -qix 'ja_JP\.utf-\?8'; then
  sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)$/\1/' /etc/locale.gen
  grep -qx 'ja_JP\.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen
fi
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DJOTLOG_WERROR=ON
cmake --build build-win -j2
ctest --test-dir build-win -j2 --output-on-failure
# --- end of the Windows build ---
