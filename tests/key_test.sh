#!/usr/bin/env bash
# A key press becomes a memo: README's xbindkeys binding, run as README gives it, on an X
# server of the test's own; xdotool presses Ctrl+Alt+J, answers the input box the binding
# opens and the memo is checked in the memo file.
#   key_test.sh PROGRAM README
# Exits 77 (skipped) where xbindkeys, Xvfb, xdotool or zenity is missing, except under CI.
set -uo pipefail
program=$1 readme=$2
skip() {
  echo "skipped: $*"
  [ -n "${CI:-}" ] && exit 1
  exit 77
}
for tool in xbindkeys xvfb-run xdotool zenity; do
  command -v $tool >/dev/null || skip "no $tool (Debian's ${tool/xvfb-run/xvfb})"
done
# The one command README gives for xbindkeys.
bind=$(grep -x ' *grep .*printf .*>>~/\.xbindkeysrc' "$readme")
[ "$(wc -l <<<"$bind")" = 1 ] || { echo "README gives no single xbindkeys command"; exit 1; }

scratch=$(mktemp -d /tmp/jotlog-key-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin" "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
cp "$program" "$scratch/bin/jotlog"
printf '[setting]\nFileName=%s/memo.txt\nShowDialog=0\nAddFrom=clipboard\n' "$scratch" \
  >"$scratch/bin/jotlog.ini"
(cd "$scratch/home" && HOME=$scratch/home bash -c "$bind") || exit 1

HOME=$scratch/home PATH=$scratch/bin:/usr/bin:/bin XDG_RUNTIME_DIR=$scratch/run NO_AT_BRIDGE=1 \
  timeout 60 xvfb-run -a -s '-nolisten tcp' sh -c '
    xbindkeys -n -f "$HOME/.xbindkeysrc" & daemon=$!
    sleep 1
    xdotool key ctrl+alt+j
    until w=$(xdotool search --onlyvisible --name "^jotlog$"); do sleep 0.1; done
    xdotool windowfocus --sync $w type "pressed"
    xdotool key Return
    until [ -s "$0/memo.txt" ]; do sleep 0.1; done
    kill $daemon' "$scratch"
memo=$(cat "$scratch/memo.txt" 2>/dev/null)
if grep -qxP '\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] pressed\r' <<<"$memo" && [ "$(wc -l <<<"$memo")" = 1 ]; then
  echo "ok   one key press, one memo: $memo"
else
  printf 'FAIL the memo file holds:\n%s\n' "$memo"
  exit 1
fi
