// What the end-to-end tests share: files as bytes, shell commands, a temporary folder per
// test and the Linux program started in a home of its own under it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace jotlog::test {

namespace fs = std::filesystem;

inline const std::string kSaved = "確認: メモファイルに保存しました。\n";
inline const std::string kNotSaved = "確認: メモファイルに保存できませんでした。\n";
inline const std::string kClipboardSaved = "確認: クリップボードに保存しました。\n";
inline const std::string kClipboardNotSaved = "確認: クリップボードに保存できませんでした。\n";

inline std::string ReadFile(const fs::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The memo of a file holding one entry in the default layout; "<no entry>" otherwise.
inline std::string MemoOf(const std::string& file) {
  static const std::regex stamp(R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] )");
  const size_t length = 22;
  if (file.size() < length + 2 || !std::regex_match(file.substr(0, length), stamp) ||
      !file.ends_with("\r\n")) {
    return "<no entry>";
  }
  const std::string memo = file.substr(length, file.size() - length - 2);
  return memo.find_first_of("\r\n") == std::string::npos ? memo : "<no entry>";
}

// The UTF-16 units as bytes, in either order.
inline std::string Utf16(const std::u16string& units, bool little) {
  std::string bytes;
  for (char16_t unit : units) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes += little ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

inline std::string Quote(const std::string& text) {
  std::string quoted(1, '\'');
  quoted += std::regex_replace(text, std::regex("'"), "'\\''");
  return quoted += '\'';
}

// A shell command started with its standard output readable.
struct Child {
  FILE* pipe;

  std::string ReadLine() {
    char line[4096] = {};
    return std::fgets(line, sizeof line, pipe) != nullptr ? line : "";
  }
  // The rest of the output, followed by "exit N" when it did not exit with 0.
  std::string Finish() {
    std::string text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
    const int status = ::pclose(pipe);
    return status == 0 ? text : text + "exit " + std::to_string(status);
  }
};

inline Child Shell(const std::string& command) { return Child{::popen(command.c_str(), "r")}; }

// A temporary folder per test, `root`, holding the Linux program in `linuxDir`/bin beside the
// home, runtime and config folders it is given.
class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jotlog-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root = pattern;
  }
  void TearDown() override { fs::remove_all(root); }

  void MakeLinuxProgram(const fs::path& program) const {
    LinuxFolders();
    fs::copy_file(program, linuxDir / "bin/jotlog");
  }
  void LinuxFolders() const {
    for (const char* folder : {"home/Documents", "run", "config", "bin"}) {
      fs::create_directories(linuxDir / folder);
    }
  }
  // The command line that starts the Linux program in a C locale with `env` added to its
  // environment.
  std::string LinuxCommand(const std::vector<std::string>& args, const std::string& env) const {
    std::string command = "env -i LC_ALL=C PATH=/usr/bin:/bin " + env;
    command.append("HOME=").append(Quote(linuxDir / "home"));
    command.append(" XDG_RUNTIME_DIR=").append(Quote(linuxDir / "run"));
    command.append(" XDG_CONFIG_HOME=").append(Quote(linuxDir / "config"));
    command.append(" ").append(Quote(linuxDir / "bin/jotlog"));
    for (const std::string& arg : args) command.append(" ").append(Quote(arg));
    return command;
  }

  fs::path root, linuxDir;
};

}  // namespace jotlog::test
