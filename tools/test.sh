#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing, builds with gcc and runs
# every test; then runs the whole suite again built by clang with the sanitizers, each
# fuzz target for a minute, and the tests of the 64-bit and 32-bit Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
# An X server of the tests' own (for Wine too), the real clipboard tool and dialog.
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)  # for xvfb-run
command -v xclip >/dev/null || need+=(xclip)
command -v zenity >/dev/null || need+=(zenity)
command -v xdotool >/dev/null || need+=(xdotool)
# A notification service on that desktop: dunst, started by a D-Bus session bus of its own.
command -v dunst >/dev/null || need+=(dunst)
command -v notify-send >/dev/null || need+=(libnotify-bin)
command -v dbus-run-session >/dev/null || need+=(dbus-daemon)
# Sanitizers and fuzzing (clang); the fault tests limit file sizes, change user and make
# system calls fail (strace).
command -v clang++ >/dev/null || need+=(clang)
{ command -v prlimit && command -v setpriv; } >/dev/null || need+=(util-linux)
command -v strace >/dev/null || need+=(strace)
# The Windows build: mingw-w64 with POSIX threads, GoogleTest's sources, Wine; the date
# and time pictures are compared in Japanese too.
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v wine >/dev/null || need+=(wine64 wine)
command -v locale-gen >/dev/null || need+=(locales)
# The C library's words for a failure in Japanese.
[ -f /usr/share/locale/ja/LC_MESSAGES/libc.mo ] || need+=(libc-l10n)
# The package tests: CPack's .deb (dpkg-shlibdeps, file), lintian, the manual page's
# linter and reader, the ZIP's unpacking and the Windows program's resources.
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v file >/dev/null || need+=(file)
command -v lintian >/dev/null || need+=(lintian)
command -v mandoc >/dev/null || need+=(mandoc)
command -v man >/dev/null || need+=(man-db)
command -v unzip >/dev/null || need+=(unzip)
command -v wrestool >/dev/null || need+=(icoutils)
command -v desktop-file-validate >/dev/null || need+=(desktop-file-utils)
# The Windows installer (makensis), and a key daemon that turns a key press into a run.
command -v makensis >/dev/null || need+=(nsis)
command -v xbindkeys >/dev/null || need+=(xbindkeys)
# A stick without hard links: an exFAT image on a loop device, served by exfat-fuse.
command -v mkfs.exfat >/dev/null || need+=(exfatprogs)
[ -x /sbin/mount.exfat-fuse ] || need+=(exfat-fuse)
updated=
install() {
  [ -n "$updated" ] || apt-get update
  updated=1
  apt-get install -y --no-install-recommends "$@"
}
if [ ${#need[@]} -gt 0 ]; then install "${need[@]}"; fi
# The 32-bit build's tests need Wine's 32-bit loader, wine32 of the i386 architecture, where
# the machine can add that architecture; without it they are skipped, with a message.
if [ ! -x /usr/lib/wine/wine ] && [ "$(dpkg --print-architecture)" = amd64 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    updated=
  fi
  install wine32:i386 || echo "wine32:i386 cannot be installed here: no 32-bit Windows tests" >&2
fi
# The sanitizer and libFuzzer runtimes come with the compiler's own compiler-rt package.
runtime="$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-$(uname -m).a"
[ -f "$runtime" ] || install "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"
# The locales whose names, eras and month forms the picture tests check.
missing=
for name in ja_JP zh_TW th_TH lo_LA ko_KR ru_RU pl_PL; do
  locale -a | grep -qix "$name\.utf-\?8" && continue
  sed -i "s/^# *\($name\.UTF-8 UTF-8\)\$/\1/" /etc/locale.gen
  grep -qx "$name\.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" >>/etc/locale.gen
  missing=1
done
[ -z "$missing" ] || locale-gen

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DJOTLOG_WERROR=ON
cmake --build build -j2
# package_deb makes the .deb and the tarball in build/packages and proves them.
ctest --test-dir build --output-on-failure

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer: any report ends
# the program that made it, which fails its test.
cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJOTLOG_WERROR=ON \
  -DJOTLOG_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++
cmake --build build-clang -j2
ctest --test-dir build-clang --output-on-failure

# Each fuzz target on a copy of its seed corpus; a finding stays in the printed folder.
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJOTLOG_WERROR=ON \
  -DJOTLOG_FUZZ=ON -DJOTLOG_TESTS=OFF -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz -j2 --target settings_fuzz utf8_fuzz picture_fuzz
for target in settings utf8 picture; do
  work=$(mktemp -d)
  cp -r fuzz/corpus/$target "$work/corpus"
  if ! build-fuzz/fuzz/${target}_fuzz -max_total_time="${JOTLOG_FUZZ_SECONDS:-60}" \
    -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1; then
    tail -n 40 "$work/log"
    echo "fuzz target $target failed: see $work" >&2
    exit 1
  fi
  echo "$target: $(grep -h '^Done' "$work/log")"
  rm -rf "$work"
done

# The Windows program, cross-built, and its tests under Wine (README, "Windows").
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DJOTLOG_WERROR=ON
cmake --build build-win -j2
# package_zip and package_nsis make the ZIP and the installer in build-win/packages and
# prove them.
ctest --test-dir build-win -j2 --output-on-failure

# The 32-bit Windows program, and the same tests under Wine's 32-bit loader.
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release -DJOTLOG_WERROR=ON
cmake --build build-win32 -j2
ctest --test-dir build-win32 -j2 --output-on-failure
