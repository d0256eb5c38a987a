#!/usr/bin/env bash
# Measures what a user feels: the time from start to end of one run and its peak memory,
# over many runs that append to one memo file with the settings file in place; then one
# run whose settings file is 1 MiB of distinct sections, which must not take long either.
# Usage: bash tools/bench.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-500}

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target jotlog >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/Documents" "$work/run" "$work/bin"
cp build/jotlog "$work/bin/"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" LC_ALL=C
unset DISPLAY WAYLAND_DISPLAY
"$work/bin/jotlog" first run writes the settings file 2>/dev/null
printf '[setting]\nShowDialog=0\n' >"$work/bin/jotlog.ini"

start=$(date +%s%N)
for ((i = 0; i < runs; i++)); do "$work/bin/jotlog" "memo number $i"; done
end=$(date +%s%N)
lines=$(wc -l <"$work/home/Documents/jotlog.txt")
rss=$(/usr/bin/time -f %M "$work/bin/jotlog" one more 2>&1 >/dev/null | tail -n 1)

echo "runs: $runs, entries in the memo file: $lines"
echo "mean time per run: $(((end - start) / runs / 1000)) us"
echo "peak resident memory of one run: ${rss} KiB"

awk 'BEGIN { for (i = 0; i < 100000; i++) printf "[%d]\nk\n", i }' >"$work/bin/jotlog.ini"
start=$(date +%s%N)
"$work/bin/jotlog" big settings 2>/dev/null
end=$(date +%s%N)
echo "one run with $(wc -c <"$work/bin/jotlog.ini") bytes of settings in 100000 sections: $(((end - start) / 1000000)) ms"
