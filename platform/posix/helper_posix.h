// Running the desktop's helper programs (clipboard tools, dialogs): started directly,
// never through a shell, with their standard streams on pipes or /dev/null.
#pragma once

#include <chrono>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jotlog {

// The full path of `name` in a folder of $PATH; empty when it is not there.
std::string FindOnPath(const std::string& name);

struct HelperRun {
  // Written to its standard input, which is then closed. It counts as taken once the
  // helper has read all of it.
  std::string_view input;
  bool captureOutput = false;  // else its standard output goes to /dev/null
  bool captureErrors = false;  // the start of its standard error; else it goes to /dev/null
  // More output than this is a failure.
  size_t outputLimit = std::numeric_limits<size_t>::max();
  // How long it may take; nullopt waits as long as it runs (a dialog awaiting its user).
  // A helper with a limit runs in a process group of its own, which is ended as a whole
  // when it goes over.
  std::optional<std::chrono::milliseconds> limit = std::chrono::seconds(5);
  // NAME=value settings that replace or join this process's environment.
  std::vector<std::string> environment;
};

struct HelperResult {
  // -1 when it could not start, left part of its input unread, wrote more than the output
  // limit, was killed or ran over its time limit.
  int exitCode = -1;
  bool timedOut = false;
  std::string output;
  std::string errors;  // with captureErrors: the first 4 KiB of its standard error
};

// Runs `argv` (argv[0] a full path) and waits for it. Only the helper itself is waited
// for: a background process it leaves to serve the clipboard is not.
HelperResult RunHelper(const std::vector<std::string>& argv, const HelperRun& run);

}  // namespace jotlog
