// The cost of a very large memo, in-process: the entry built by FormatMemoEntry and
// appended to a memo file by AppendToMemoFile, with the real platform layer. Reports the
// throughput in the memo's bytes on disk and the peak memory the work took beyond what
// the process held before, as a multiple of the memo's size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/memo_entry.h"
#include "app/run.h"
#include "platform/posix/platform_posix.h"
#include "settings/settings_file.h"

namespace {

// A line of /proc/self/status in KiB, such as VmRSS (resident now) or VmHWM (the peak
// since the last reset).
long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, field.size() + 1, field + ":") == 0)
      return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// Makes VmHWM start again from what is resident now.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void FormatAndAppend(benchmark::State& state) {
  const size_t memoBytes = static_cast<size_t>(state.range(0)) << 20;
  const char* folder = std::getenv("JOTLOG_BENCH_DIR");
  const std::string path = std::string(folder != nullptr ? folder : "/tmp") + "/bench-memo.txt";
  const std::u16string fileName(path.begin(), path.end());
  jotlog::PosixPlatform platform;
  long peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ::unlink(path.c_str());
    ResetPeak();
    const long before = StatusKiB("VmRSS");
    // The memo counts: it is the memory a run needs before it builds anything.
    std::u16string memo(memoBytes, u'm');
    jotlog::SettingsFile settings(platform, false);
    state.ResumeTiming();
    const std::u16string entry = jotlog::FormatMemoEntry(platform, std::move(memo), settings);
    std::u16string reason;
    if (!jotlog::AppendToMemoFile(platform, fileName, entry, reason)) state.SkipWithError("append failed");
    state.PauseTiming();
    peak = std::max(peak, StatusKiB("VmHWM") - before);
    state.ResumeTiming();
  }
  ::unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * memoBytes));
  state.counters["peak_memory_per_memo_byte"] =
      static_cast<double>(peak) * 1024 / static_cast<double>(memoBytes);
}

BENCHMARK(FormatAndAppend)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
