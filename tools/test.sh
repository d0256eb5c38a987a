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
