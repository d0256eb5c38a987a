// What the end-to-end tests share: files as bytes, shell commands, a folder per test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

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
// The same in English.
inline const std::string kSavedEn = "jotlog: Saved to the memo file.\n";
inline const std::string kNotSavedEn = "jotlog: Could not save to the memo file.\n";
inline const std::string kClipboardSavedEn = "jotlog: Saved to the clipboard.\n";
inline const std::string kClipboardNotSavedEn = "jotlog: Could not save to the clipboard.\n";

// What a run that failed shows: the first line above, then where it failed and why, and
// its exit status. "{why}" stands for any reason, in the words of either system.
inline std::string Failed(const std::string& line, const std::string& where,
                          const std::string& why = "{why}") {
  return line + where + ": " + why + "\nexit 256";
}

// What a run that failed shows when it kept its memo in the file of unsaved memos, named
// "{kept}" as the program names it.
inline std::string Kept(const std::string& line, const std::string& where,
                        const std::string& why = "{why}") {
  const bool english = line.starts_with("jotlog: ");
  return line + where + ": " + why +
         (english ? "\nThe memo is kept in {kept}." : "\nメモは {kept} に残しました。") +
         "\nexit 256";
}

// Whether `shown` is `expected`, where each "{why}" in it stands for the rest of a line.
inline bool Shows(const std::string& shown, const std::string& expected) {
  const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  std::string pattern, rest = expected;
  for (size_t at; (at = rest.find("{why}")) != std::string::npos; rest.erase(0, at + 5))
    pattern += std::regex_replace(rest.substr(0, at), special, "\\$&") + "[^\n]+";
  return std::regex_match(shown, std::regex(pattern + std::regex_replace(rest, special, "\\$&")));
}

inline std::string ReadFile(const fs::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string Quote(const std::string& text) {
  // Built step by step: GCC 12 warns falsely (-Wrestrict) of "'" + a temporary.
  std::string quoted = "'";
  quoted += std::regex_replace(text, std::regex("'"), "'\\''");
  return quoted += "'";
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

// A temporary folder per test, `root`.
class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jotlog-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root = pattern;
  }
  void TearDown() override { fs::remove_all(root); }

  fs::path root;
};

}  // namespace jotlog::test
