// Running the desktop's helper programs (clipboard tools, dialogs): started directly,
// never through a shell, with their standard streams on pipes or /dev/null.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace jotlog {

// The full path of `name` in a folder of $PATH; empty when it is not there.
std::string FindOnPath(const std::string& name);

struct HelperRun {
  std::string input;           // written to its standard input, which is then closed
  bool captureOutput = false;  // else its standard output goes to /dev/null
  // How long it may take; nullopt waits as long as it runs (a dialog awaiting its user).
  std::optional<std::chrono::milliseconds> limit = std::chrono::seconds(5);
  // NAME=value settings that replace or join this process's environment.
  std::vector<std::string> environment;
};

struct HelperResult {
  int exitCode = -1;  // -1 when it could not start, was killed or ran over its limit
  std::string output;
};

// Runs `argv` (argv[0] a full path) and waits for it. Only the helper itself is waited
// for: a background process it leaves to serve the clipboard is not.
HelperResult RunHelper(const std::vector<std::string>& argv, const HelperRun& run);

}  // namespace jotlog
