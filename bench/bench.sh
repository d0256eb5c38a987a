#!/usr/bin/env bash
# Measures one run of jotlog against the floor (a static C program that stamps, appends
# and commits one line) and against what a shell user would write instead, then how the
# cost scales: a large memo file, a large settings file and, in-process, a 64 MiB memo.
# Prints a table and checks the targets; exits 1 when one is missed.
# Usage: bash bench/bench.sh [runs]   (default 1000 runs a command; as root it installs
# hyperfine, valgrind, Google Benchmark and GNU time when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000}

need=()
command -v hyperfine >/dev/null || need+=(hyperfine)
command -v valgrind >/dev/null || need+=(valgrind)
[ -x /usr/bin/time ] || need+=(time)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
command -v gcc >/dev/null || need+=(gcc)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update >/dev/null
  apt-get install -y --no-install-recommends "${need[@]}" >/dev/null
fi

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DJOTLOG_TESTS=OFF -DJOTLOG_BENCH=ON >/dev/null
cmake --build build-bench -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/Documents" "$work/run" "$work/a" "$work/big"
gcc -O2 -static -o "$work/floor" bench/floor.c
cp build-bench/jotlog "$work/a/"
cp build-bench/jotlog "$work/big/"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
unset DISPLAY WAYLAND_DISPLAY

# The settings file the program writes itself at its first start, with the memo file
# moved and the success box off.
settings() {  # folder, memo file
  "$1/jotlog" first start 2>/dev/null
  sed -i "s|^FileName=.*|FileName=$2|; s|^ShowDialog=.*|ShowDialog=0|" "$1/jotlog.ini"
}
settings "$work/a" "$work/a.txt"
settings "$work/big" "$work/big.txt"

median() {  # csv file, row (1-based) -> median in microseconds
  awk -F, -v row="$2" 'NR == row + 1 { printf "%.0f", $4 * 1e6 }' "$1"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit ? "met" : "MISSED") }'; }

echo "Measuring one run ($runs runs each, side by side)..." >&2
hyperfine -N --style none --warmup 50 --runs "$runs" --export-csv "$work/run.csv" \
  "$work/a/jotlog memo" \
  "$work/floor $work/floor.txt memo" \
  "sh -c 'printf \"[%s] %s\\r\\n\" \"\$(date \"+%Y/%m/%d %H:%M:%S\")\" memo >> $work/shell.txt'" \
  >/dev/null
a=$(median "$work/run.csv" 1) b=$(median "$work/run.csv" 2) c=$(median "$work/run.csv" 3)
[ "$(grep -c 'memo' "$work/a.txt")" -ge "$runs" ] || { echo "jotlog did not append" >&2; exit 1; }

instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 |
    awk '/Collected/ { print $NF }'
}
ia=$(instructions "$work/a/jotlog" memo)
ib=$(instructions "$work/floor" "$work/floor.txt" memo)
rss=$(/usr/bin/time -f %M "$work/a/jotlog" memo 2>&1 >/dev/null | tail -n 1)
size=$(stat -c %s build-bench/jotlog)

echo "Measuring how the cost scales..." >&2
truncate -s 0 "$work/a.txt"
hyperfine -N --style none --warmup 20 --runs "$((runs / 2))" --export-csv "$work/scale.csv" \
  --prepare "truncate -s 0 $work/a.txt" "$work/a/jotlog memo" \
  --prepare "truncate -s 1G $work/big.txt" "$work/big/jotlog memo" >/dev/null
empty=$(median "$work/scale.csv" 1) gib=$(median "$work/scale.csv" 2)

mkdir -p "$work/sections"
cp build-bench/jotlog "$work/sections/"
awk -v memo="$work/sections.txt" 'BEGIN {
  line = sprintf("[setting]\nFileName=%s\nShowDialog=0\n", memo)
  printf "%s", line
  for (i = 0; n < 1048576; i++) { line = sprintf("[%d]\nk=v\n", i); printf "%s", line; n += length(line) }
}' >"$work/sections/jotlog.ini"
sections=$(grep -c '^\[' "$work/sections/jotlog.ini")
hyperfine -N --style none --warmup 3 --runs 20 --export-csv "$work/sections.csv" \
  "$work/sections/jotlog memo" >/dev/null
big_settings=$(median "$work/sections.csv" 1)

head -c $((64 << 20)) /dev/zero | tr '\0' m >"$work/memo64"
hyperfine -N --style none --warmup 2 --runs 10 --export-csv "$work/cat.csv" \
  --prepare "rm -f $work/cat64" "sh -c 'cat $work/memo64 >$work/cat64'" \
  --prepare "rm -f $work/cat64" "sh -c 'cat $work/memo64 >$work/cat64 && sync $work/cat64'" \
  >/dev/null
cat_us=$(median "$work/cat.csv" 1) catsync_us=$(median "$work/cat.csv" 2)
JOTLOG_BENCH_DIR="$work" build-bench/bench/jotlog_append_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null >"$work/memo.csv"
read -r memo_us memo_memory < <(awk -F, '/_median"/ { gsub(/"/, ""); printf "%.0f %s\n", $3 * 1000, $NF }' "$work/memo.csv")

mib_s() { awk -v us="$1" 'BEGIN { printf "%.0f", 64 / (us / 1e6) }'; }
ab=$(ratio "$a" "$b") ac=$(ratio "$a" "$c") growth=$(ratio "$gib" "$empty")
throughput=$(ratio "$catsync_us" "$memo_us")

cat <<TABLE
| measure | value | target |
|---|---|---|
| (a) jotlog, median of one run | ${a} us | |
| (b) floor (static C: stamp, append, fsync), median | ${b} us | |
| (c) shell (\`printf ... \$(date ...) >> file\`), median | ${c} us | |
| (a)/(b) | ${ab} | <= 1.3: $(verdict "$ab" 1.3) |
| (a)/(c) | ${ac} | |
| instructions, one run of (a) | ${ia} | <= 150000: $(verdict "$ia" 150000) |
| instructions, one run of (b) | ${ib} | |
| peak RSS of (a) | ${rss} KiB | <= 2048 KiB: $(verdict "$rss" 2048) |
| size of the program | ${size} bytes | |
| (a) appending to an empty file / to a 1 GiB one | ${empty} us / ${gib} us (x${growth}) | within 5 %: $(verdict "$growth" 1.05) |
| (a) with 1 MiB of settings in ${sections} sections | ${big_settings} us | |
| 64 MiB memo, FormatMemoEntry + append (fsync'd) | ${memo_us} us, $(mib_s "$memo_us") MiB/s | |
| cat of the same bytes to a file / then fsync'd | ${cat_us} us, $(mib_s "$cat_us") MiB/s / ${catsync_us} us, $(mib_s "$catsync_us") MiB/s | |
| 64 MiB memo throughput / cat's with fsync | ${throughput} | >= 0.5: $(verdict "$(ratio 1 "$throughput")" 2) |
| 64 MiB memo, peak memory / memo size | ${memo_memory} | <= 4: $(verdict "$memo_memory" 4) |
TABLE
if grep -q MISSED <<<"$(verdict "$ab" 1.3)$(verdict "$ia" 150000)$(verdict "$rss" 2048)$(verdict "$growth" 1.05)$(verdict "$(ratio 1 "$throughput")" 2)$(verdict "$memo_memory" 4)"; then
  exit 1
fi
