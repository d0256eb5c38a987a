#!/usr/bin/env bash
# The packages as a user meets them: each case makes its package with CPack from a built
# folder, unpacks it where its user may not write, starts the program as an unprivileged
# user (uid 65534) with a home of its own, and checks a table of facts.
#   package_test.sh deb BUILD VERSION                 the .deb, the tarball, cmake --install
#   package_test.sh zip BUILD VERSION PROBE WINE_DIR  the Windows ZIP, under Wine
#   package_test.sh nsis BUILD VERSION PROBE WINE_DIR the Windows installer, under Wine
# CPACK and CMAKE name the tools, WINE the Wine loader of the build's bitness, SYSTEM the
# package's system name (win64, win32). Needs root; exits 77 (skipped) without it or a tool,
# except under CI, where that is a failure.
set -uo pipefail
kind=$1 build=$2 version=$3
cpack=${CPACK:-cpack} cmake=${CMAKE:-cmake}

skip() {
  echo "skipped: $*"
  [ -n "${CI:-}" ] && exit 1
  exit 77
}
[ "$(id -u)" = 0 ] || skip "needs root (the scratch root is root's, the user is 65534)"

scratch=$(mktemp -d /tmp/jotlog-package-XXXXXX)
chmod 755 "$scratch"
cleanup() {
  if [ "$kind" != deb ]; then as_user wineserver -k >/dev/null 2>&1; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

home=$scratch/home
mkdir -p "$home/Documents"
chown -R 65534:65534 "$home"
# Runs a command as the unprivileged user, with nothing of the caller's environment, in
# a folder that user may enter (the build tree may lie where it may not).
as_user() {
  (cd "$scratch" && setpriv --reuid=65534 --regid=65534 --clear-groups \
    env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 HOME="$home" ${USER_ENV:-} "$@")
}
# The files under a folder, one relative path a line, sorted.
tree() { (cd "$1" && find . -mindepth 1 \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort); }
# Fails unless the first argument equals the second, showing both.
same() {
  [ "$1" = "$2" ] && return 0
  printf 'got:\n%s\nwanted:\n%s\n' "$1" "$2"
  return 1
}
# Whether a memo file's text is exactly one entry of the default layout for `memo`.
one_entry() { grep -qxP '\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] '"$2"'\r' <<<"$1" && [ "$(wc -l <<<"$1")" = 1 ]; }
make_package() {
  "$cpack" -G "$1" --config "$build/CPackConfig.cmake" -B "$build/packages" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; exit 1; }
}

# Each row: a name, then shell code that succeeds when the fact holds.
failures=0
run_table() {
  local row name code output
  for row in "$@"; do
    name=${row%%|*} code=${row#*|}
    if output=$(eval "$code" 2>&1); then
      echo "ok   $name"
    else
      echo "FAIL $name"
      printf '%s\n' "$output" | sed 's/^/     /'
      failures=$((failures + 1))
    fi
  done
}

case $kind in
deb)
  for tool in dpkg-deb lintian mandoc man setpriv desktop-file-validate file; do
    command -v $tool >/dev/null || skip "no $tool"
  done
  make_package DEB
  make_package TGZ
  deb=$build/packages/jotlog_${version}_$(dpkg --print-architecture).deb
  tgz=$build/packages/jotlog-$version-Linux.tar.gz
  root=$scratch/root
  dpkg-deb -x "$deb" "$root"
  "$cmake" --install "$build" --prefix "$scratch/prefix" >/dev/null
  mkdir "$scratch/tgz" && tar -xzf "$tgz" -C "$scratch/tgz" --strip-components=1
  before=$(find "$root" -printf '%p %m %s\n' | LC_ALL=C sort)

  # A writable copy of the same program shows the default settings text it writes.
  mkdir -p "$scratch/own" "$scratch/ownhome/Documents"
  cp "$root/usr/bin/jotlog" "$scratch/own/"
  chown -R 65534:65534 "$scratch/own" "$scratch/ownhome"
  home=$scratch/ownhome as_user "$scratch/own/jotlog" first >/dev/null 2>&1
  defaults=$(cat "$scratch/own/jotlog.ini")

  program=$root/usr/bin/jotlog
  saved=$(as_user "$program" buy milk 2>&1)
  memo=$(cat "$home/Documents/jotlog.txt")
  help=$(as_user "$program" --help 2>&1)
  config=$home/.config/jotlog/jotlog.ini
  run_table \
    'file name and fields|[ -f "$deb" ] &&
      same "$(dpkg-deb -f "$deb" Package Version Section Recommends Depends)" \
"Package: jotlog
Version: $version
Section: utils
Recommends: xclip | wl-clipboard, zenity | kdialog | libnotify-bin, fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic" &&
      [ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 4 ]' \
    'lintian shows no error|lintian --fail-on error --display-level ">=info" "$deb"' \
    'manual page lints clean|mandoc -T lint -W all "$root/usr/share/man/man1/jotlog.1.gz"' \
    'manual page renders|man -l "$root/usr/share/man/man1/jotlog.1.gz" 2>&1 |
      grep -cx "NAME\|SYNOPSIS\|DESCRIPTION\|SETTINGS\|FILES\|ENVIRONMENT\|EXIT STATUS\|EXAMPLES" |
      grep -qx 8' \
    'manual page renders in the C locale without a warning|
      [ -z "$(LC_ALL=C man -l "$root/usr/share/man/man1/jotlog.1.gz" 2>&1 >/dev/null)" ]' \
    'cmake --install gives the program, its page and documents only|same "$(tree "$scratch/prefix")" \
"bin/jotlog
share/applications/jotlog.desktop
share/doc/jotlog/LICENSE
share/doc/jotlog/README.md
share/icons/hicolor/128x128/apps/jotlog.png
share/icons/hicolor/16x16/apps/jotlog.png
share/icons/hicolor/24x24/apps/jotlog.png
share/icons/hicolor/256x256/apps/jotlog.png
share/icons/hicolor/32x32/apps/jotlog.png
share/icons/hicolor/48x48/apps/jotlog.png
share/icons/hicolor/64x64/apps/jotlog.png
share/icons/hicolor/scalable/apps/jotlog.svg
share/man/man1/jotlog.1"' \
    'the tarball holds the installed tree|same "$(tree "$scratch/tgz")" "$(tree "$scratch/prefix")"' \
    'the package holds it under /usr, as Debian lays it out|same "$(tree "$root")" \
"usr/bin/jotlog
usr/share/applications/jotlog.desktop
usr/share/doc/jotlog/README.md
usr/share/doc/jotlog/changelog.gz
usr/share/doc/jotlog/copyright
usr/share/icons/hicolor/128x128/apps/jotlog.png
usr/share/icons/hicolor/16x16/apps/jotlog.png
usr/share/icons/hicolor/24x24/apps/jotlog.png
usr/share/icons/hicolor/256x256/apps/jotlog.png
usr/share/icons/hicolor/32x32/apps/jotlog.png
usr/share/icons/hicolor/48x48/apps/jotlog.png
usr/share/icons/hicolor/64x64/apps/jotlog.png
usr/share/icons/hicolor/scalable/apps/jotlog.svg
usr/share/lintian/overrides/jotlog
usr/share/man/man1/jotlog.1.gz"' \
    'the desktop entry validates and starts jotlog --input, its action --clipboard|
      entry=$root/usr/share/applications/jotlog.desktop
      desktop-file-validate "$entry" && same "$(grep "^Exec=" "$entry")" "Exec=jotlog --input
Exec=jotlog --clipboard"' \
    'each icon is a PNG of its size|for size in 16 24 32 48 64 128 256; do
        file "$root/usr/share/icons/hicolor/${size}x$size/apps/jotlog.png" |
          grep -q "PNG image data, $size x $size," || { echo "not $size x $size"; exit 1; }
      done' \
    'the user'"'"'s memo is recorded|same "$saved" "確認: メモファイルに保存しました。" &&
      one_entry "$memo" "buy milk"' \
    'the settings file is the user'"'"'s, with the default text|
      [ -n "$defaults" ] && same "$(cat "$config")" "$defaults" &&
      [ "$(stat -c %u "$config")" = 65534 ]' \
    'nothing is written beside the program|same "$(find "$root" -printf "%p %m %s\n" | LC_ALL=C sort)" "$before"' \
    '--help names the settings file|grep -qF "$config" <<<"$help"' \
    '--version prints the version|same "$(as_user "$program" --version 2>&1)" "jotlog $version"' \
    'a package from a fresh build folder builds the program alone|
      "$cmake" -S "$(dirname "$0")/.." -B "$scratch/fresh" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
      "$cpack" -G TGZ --config "$scratch/fresh/CPackConfig.cmake" -B "$scratch/fresh/packages" >/dev/null &&
      [ -x "$scratch/fresh/jotlog" ] && [ -z "$(find "$scratch/fresh" -name "*_tests" -o -name "*_replay")" ]'
  ;;
zip)
  probe=$4 wine_dir=$5
  for tool in unzip wrestool icotool wine setpriv; do
    command -v $tool >/dev/null || skip "no $tool"
  done
  [ -f "$wine_dir/display" ] || skip "no display from the Wine fixture"
  make_package ZIP
  zip=$build/packages/jotlog-$version-${SYSTEM:-win64}.zip
  top=jotlog-$version-${SYSTEM:-win64}
  unzip -q "$zip" -d "$scratch/unpacked"
  chmod -R go-w,a+rX "$scratch/unpacked"
  exe=$scratch/unpacked/$top/jotlog.exe
  before=$(find "$scratch/unpacked" -printf '%p %m %s\n' | LC_ALL=C sort)
  wrestool -x -R -t 16 "$exe" >"$scratch/version.res"
  wrestool -x -R -t 24 "$exe" >"$scratch/manifest.xml"
  wrestool -x -t 14 "$exe" >"$scratch/jotlog.ico"
  # FILEVERSION and PRODUCTVERSION as the fixed block holds them (two 32-bit halves each).
  IFS=. read -r major minor patch <<<"$version"
  half() { printf '%02x%02x%02x%02x' $(($2 & 255)) $(($2 >> 8)) $(($1 & 255)) $(($1 >> 8)); }
  fixed="bd04effe00000100$(half "$major" "$minor")$(half "$patch" 0)"
  fixed="$fixed$(half "$major" "$minor")$(half "$patch" 0)"

  # The user's own prefix and documents; the probe dismisses the boxes.
  cp "$probe" "$scratch/probe.exe"
  mkdir -p "$scratch/own"
  cp "$exe" "$scratch/own/"
  chown -R 65534:65534 "$scratch/own"
  export USER_ENV="WINEPREFIX=$home/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY=$(cat "$wine_dir/display")"
  as_user "${WINE:-wine}" wineboot --init >/dev/null 2>&1
  winepath() { echo "Z:${1//\//\\}"; }
  run_exe() { printf '%s\n' "$2" | as_user "${WINE:-wine}" "$scratch/probe.exe" run "$(winepath "$1")" 2>&1; }
  appdata=$(ls -d "$home"/prefix/drive_c/users/*/AppData/Roaming 2>/dev/null | grep -v /Public/ | head -n 1)
  documents=$(readlink -f "$(ls -d "$home"/prefix/drive_c/users/*/Documents | grep -v /Public/ | head -n 1)")
  # A writable copy shows the default settings text it writes beside itself.
  run_exe "$scratch/own/jotlog.exe" first >/dev/null
  defaults=$(cat "$scratch/own/jotlog.ini" 2>/dev/null)
  rm -f "$documents/jotlog.txt"
  saved=$(run_exe "$exe" "buy milk")
  memo=$(cat "$documents/jotlog.txt")
  run_table \
    'file name and contents|same "$(unzip -Z1 "$zip" | grep -v "/$" | LC_ALL=C sort)" \
"$top/LICENSE.txt
$top/README.txt
$top/jotlog.exe"' \
    'a short README.txt|[ "$(wc -l <"$scratch/unpacked/$top/README.txt")" -le 80 ]' \
    'texts have CR LF line ends|for text in README.txt LICENSE.txt; do
      file=$scratch/unpacked/$top/$text
      [ -s "$file" ] && ! grep -q $'"'"'[^\r]$'"'"' "$file" && ! grep -q "^$" "$file" || exit 1
    done' \
    'version resource|strings=$(tr -d "\0" <"$scratch/version.res")
      for value in "ProductVersion$version" "FileVersion$version" ProductNamejotlog \
        OriginalFilenamejotlog.exe "FileDescriptionjotlog one-shot memo recorder"; do
        grep -qF "$value" <<<"$strings" || { echo "no $value"; exit 1; }
      done
      od -An -v -tx1 "$scratch/version.res" | tr -d " \n" | grep -q "$fixed"' \
    'manifest|for value in "level=\"asInvoker\"" "name=\"Microsoft.Windows.Common-Controls\"" \
        "version=\"6.0.0.0\"" ">true/pm<" ">PerMonitorV2" ">true</longPathAware>" \
        35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
        1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
        grep -qF -- "$value" "$scratch/manifest.xml" || { echo "no $value"; exit 1; }
      done' \
    'the icon, in each size Windows shows|same "$(icotool -l "$scratch/jotlog.ico" | grep -o "width=[0-9]*")" \
"width=16
width=24
width=32
width=48
width=256"' \
    'the user'"'"'s memo is recorded, in English: Wine'"'"'s user interface language in C.UTF-8|
      same "$saved" "jotlog: Saved to the memo file." && one_entry "$memo" "buy milk"' \
    'the settings file is in the user'"'"'s Application Data, with the default text|
      [ -n "$defaults" ] && same "$(cat "$appdata/jotlog/jotlog.ini")" "$defaults"' \
    'nothing is written beside the program|same "$(find "$scratch/unpacked" -printf "%p %m %s\n" | LC_ALL=C sort)" "$before"'
  ;;
nsis)
  probe=$4 wine_dir=$5
  for tool in makensis wine setpriv; do
    command -v $tool >/dev/null || skip "no $tool"
  done
  [ -f "$wine_dir/display" ] || skip "no display from the Wine fixture"
  make_package NSIS
  system=$(sed -n 's/^set(CPACK_SYSTEM_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
  installer=$build/packages/jotlog-$version-$system.exe
  cp "$installer" "$scratch/setup.exe" && cp "$probe" "$scratch/probe.exe" || exit 1
  export USER_ENV="WINEPREFIX=$home/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY=$(cat "$wine_dir/display")"
  as_user "${WINE:-wine}" wineboot --init >/dev/null 2>&1
  # Each step ends when every process of the prefix has, an uninstaller's copy of itself too.
  wine_w() { as_user "${WINE:-wine}" "$@" >/dev/null 2>&1; as_user wineserver -w; }
  user_dir=$(ls -d "$home"/prefix/drive_c/users/* | grep -v /Public | head -n 1)
  user=${user_dir##*/}
  local=$user_dir/AppData/Local roaming=$user_dir/AppData/Roaming
  installed=$local/Programs/jotlog
  link=$roaming/Microsoft/Windows/Start\ Menu/Programs/jotlog.lnk
  documents=$(readlink -f "$user_dir/Documents")
  uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\jotlog'
  # What is written for the whole machine: its registry and files outside the user's folder.
  machine() {
    grep -ci jotlog "$home/prefix/system.reg"
    (cd "$home/prefix/drive_c" && find . -path "./users/$user" -prune -o -iname "*jotlog*" -print)
  }
  as_user wineserver -w
  machine_before=$(machine)

  wine_w "$scratch/setup.exe" /S
  files=$(tree "$installed")
  shortcut=$(as_user "${WINE:-wine}" "$scratch/probe.exe" shortcut "C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\jotlog.lnk" 2>&1)
  entry=$(as_user "${WINE:-wine}" reg query "$uninstall_key" 2>/dev/null | tr -d '\r' | sed -n 's/^ *\([A-Za-z]*\) *\(REG_[A-Z_]*\) *\(.*\)$/\1 \2 \3/p' | LC_ALL=C sort)
  # Its size in KiB, as the files installed hold it (the uninstaller, written there, aside).
  size=$(stat -c %s "$installed/jotlog.exe" "$installed/README.txt" "$installed/LICENSE.txt" 2>/dev/null |
    awk '{ n += $1 } END { print int(n / 1024) }')
  as_user wineserver -w
  machine_installed=$(machine)
  # The shortcut's command line, the box answered as a user would.
  asked=$(printf '%s\n%s\n' --input '+typed at the shortcut' |
    as_user "${WINE:-wine}" "$scratch/probe.exe" run "C:\\users\\$user\\AppData\\Local\\Programs\\jotlog\\jotlog.exe" 2>&1)
  memo=$(cat "$documents/jotlog.txt" 2>/dev/null)
  settings=$(ls "$installed/jotlog.ini" "$roaming/jotlog/jotlog.ini" 2>/dev/null | head -n 1)
  # The user's own settings, and a memo kept unsaved, which neither step may touch.
  [ -n "$settings" ] && printf '# mine\n' >>"$settings"
  mkdir -p "$local/jotlog" && printf 'kept\r\n' >"$local/jotlog/unsaved.txt" && chown -R 65534:65534 "$local/jotlog"
  mine=$(cat "$settings" 2>/dev/null)
  beside=$([ "$settings" = "$installed/jotlog.ini" ] && echo jotlog.ini)
  printf 'old' >"$installed/jotlog.exe"
  wine_w "$scratch/setup.exe" /S
  files_again=$(tree "$installed")
  program_again=$(head -c 2 "$installed/jotlog.exe")
  settings_again=$(cat "$settings" 2>/dev/null)
  wine_w "$installed/Uninstall.exe" /S
  left=$(tree "$installed" 2>/dev/null)
  entry_left=$(as_user "${WINE:-wine}" reg query "$uninstall_key" 2>&1 | tr -d '\r')
  as_user wineserver -w
  run_table \
    'the installer is small|[ "$(stat -c %s "$installer")" -lt 1000000 ]' \
    'a silent install puts the program in the user'"'"'s Programs folder|same "$files" \
"LICENSE.txt
README.txt
Uninstall.exe
jotlog.exe"' \
    'the Start-menu shortcut asks for a memo at Ctrl+Alt+J|same "$shortcut" \
"C:\\users\\$user\\AppData\\Local\\Programs\\jotlog\\jotlog.exe
--input
Ctrl+Alt+J"' \
    'the uninstall entry is the user'"'"'s, with its values|
      dir="C:\\users\\$user\\AppData\\Local\\Programs\\jotlog"
      same "$entry" "DisplayIcon REG_SZ $dir\\jotlog.exe,0
DisplayName REG_SZ jotlog
DisplayVersion REG_SZ $version
EstimatedSize REG_DWORD $(grep -o "EstimatedSize REG_DWORD 0x[0-9a-f]*" <<<"$entry" | cut -d" " -f3)
InstallLocation REG_SZ $dir
NoModify REG_DWORD 0x1
NoRepair REG_DWORD 0x1
Publisher REG_SZ the jotlog developers
QuietUninstallString REG_SZ \"$dir\\Uninstall.exe\" /S
UninstallString REG_SZ \"$dir\\Uninstall.exe\""' \
    'the uninstall entry gives the size installed|
      estimated=$(($(grep -o "EstimatedSize REG_DWORD 0x[0-9a-f]*" <<<"$entry" | cut -d" " -f3)))
      [ "$size" -gt 100 ] && [ $((estimated - size)) -ge 0 ] && [ $((estimated - size)) -le 3 ] ||
        { echo "$estimated KiB for $size KiB"; exit 1; }' \
    'nothing is written for the whole machine|[ -n "$files" ] && same "$machine_installed" "$machine_before"' \
    'the installed program asks for the memo in a box 60 characters wide, and records it|
      same "$asked" "jotlog: Memo [] 60 wide
jotlog: Saved to the memo file." && one_entry "$memo" "typed at the shortcut"' \
    'a second install replaces the program and keeps the settings|
      [ -n "$mine" ] && same "$settings_again" "$mine" &&
      same "$files_again" "$(printf "%s\n" $files $beside | LC_ALL=C sort)" &&
      same "$program_again" MZ' \
    'a silent uninstall removes what it installed|
      [ -n "$files" ] && [ ! -e "$link" ] && grep -q "Unable to find\|not found\|ERROR" <<<"$entry_left" &&
      same "$left" "$beside"' \
    'and keeps the memo file, the settings and the unsaved memos|
      [ -n "$memo" ] && [ -n "$mine" ] && same "$(cat "$documents/jotlog.txt")" "$memo" && same "$(cat "$settings")" "$mine" &&
      same "$(cat "$local/jotlog/unsaved.txt")" "kept"$'"'"'\r'"'"''
  ;;
*)
  echo "unknown case $kind" >&2
  exit 2
  ;;
esac
echo "$failures failed"
[ "$failures" = 0 ]
