// Runs the built program as a user would: a copy of it in a temporary folder, with a home,
// runtime and config folder of its own, and checks the bytes it wrote and the line it
// printed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

const std::string kSaved = "確認: メモファイルに保存しました。\n";
const std::string kNotSaved = "確認: メモファイルに保存できませんでした。\n";

std::string ReadFile(const fs::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

std::string Stamp() {  // "[YYYY/MM/DD hh:mm:ss]", local time
  std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "[%Y/%m/%d %H:%M:%S]", std::localtime(&now));
  return text;
}

struct Child {
  pid_t pid = -1;
  int errors = -1;  // read end of its standard error

  // Waits for the end; returns what it printed, or "exit N" when N is not 0.
  std::string Finish() {
    std::string output;
    char chunk[4096];
    for (ssize_t n; (n = read(errors, chunk, sizeof chunk)) > 0;) output.append(chunk, n);
    close(errors);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? output
                                                         : "exit " + std::to_string(status);
  }
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jotlog-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    for (const char* folder : {"home/Documents", "run", "config", "bin"}) {
      fs::create_directories(root / folder);
    }
    fs::copy_file(JOTLOG_EXE, root / "bin" / "jotlog");
  }
  void TearDown() override { fs::remove_all(root); }

  Child Start(std::vector<std::string> args) const {
    std::string program = (root / "bin" / "jotlog").string();
    std::vector<std::string> env = {
        "HOME=" + (root / "home").string(), "XDG_RUNTIME_DIR=" + (root / "run").string(),
        "XDG_CONFIG_HOME=" + (root / "config").string(), "LC_ALL=C", "PATH=/usr/bin:/bin"};
    env.insert(env.end(), desktop.begin(), desktop.end());
    args.insert(args.begin(), program);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int fds[2];
    Child child;
    if (pipe2(fds, O_CLOEXEC) != 0) return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    child.errors = fds[0];
    return child;
  }
  std::string Run(const std::vector<std::string>& args) const { return Start(args).Finish(); }

  fs::path root;
  std::vector<std::string> desktop;  // further variables for the program
  fs::path memoFile() const { return root / "home/Documents/jotlog.txt"; }
};

TEST_F(EndToEnd, RecordsStampedMemosInTheDocumentsFolder) {
  const std::string before = Stamp();
  EXPECT_EQ(Run({"buy", "milk"}), kSaved);
  const std::string first = ReadFile(memoFile()), after = Stamp();
  ASSERT_TRUE(
      std::regex_match(first, std::regex(R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] buy milk\r\n)")))
      << first;
  EXPECT_LE(before, first.substr(0, before.size()));
  EXPECT_GE(after, first.substr(0, before.size()));

  // Arguments are joined with single spaces; bytes that are not UTF-8 pass unchanged.
  EXPECT_EQ(Run({" two ", "\"memo\"", "caf\xE9", "確認"}), kSaved);
  const std::string both = ReadFile(memoFile());
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_EQ(both.substr(first.size() + before.size()), "  two  \"memo\" caf\xE9 確認\r\n");
}

TEST_F(EndToEnd, TheDocumentsFolderFollowsUserDirsOrFallsBackToHome) {
  fs::create_directories(root / "home/Papers");
  std::ofstream(root / "config/user-dirs.dirs") << "# test\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
  EXPECT_EQ(Run({"one"}), kSaved);
  EXPECT_TRUE(fs::exists(root / "home/Papers/jotlog.txt"));

  fs::remove(root / "config/user-dirs.dirs");
  fs::remove_all(root / "home/Documents");
  EXPECT_EQ(Run({"two"}), kSaved);
  EXPECT_TRUE(fs::exists(root / "home/jotlog.txt"));
}

TEST_F(EndToEnd, AMemoFileThatCannotBeOpenedGivesTheFailureLine) {
  fs::create_directories(memoFile());  // a folder in the file's place
  EXPECT_EQ(Run({"memo"}), kNotSaved);
}

TEST_F(EndToEnd, ASecondStartWhileTheFirstRunsEndsAtOnce) {
  // The first run blocks opening a named pipe as its memo file, guard held.
  ASSERT_EQ(mkfifo(memoFile().c_str(), 0600), 0);
  Child first = Start({"first"});
  bool held = false;
  for (int i = 0; i < 1000 && !held; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (const auto& lock : fs::directory_iterator(root / "run")) {
      int fd = open(lock.path().c_str(), O_RDONLY | O_CLOEXEC);
      held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0;
      close(fd);
    }
  }
  ASSERT_TRUE(held);
  EXPECT_EQ(Run({"second"}), "");

  int reader = open(memoFile().c_str(), O_RDONLY | O_CLOEXEC);
  std::string received;
  char chunk[256];
  for (ssize_t n; (n = read(reader, chunk, sizeof chunk)) > 0;) received.append(chunk, n);
  close(reader);
  EXPECT_EQ(first.Finish(), kSaved);
  EXPECT_TRUE(std::regex_match(received, std::regex(R"(\[[^\]]+\] first\r\n)"))) << received;
}

// The ASCII text as UTF-16 with a signature.
std::string Utf16(const std::string& text, bool little) {
  std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
  for (char c : text) bytes += little ? std::string{c, '\0'} : std::string{'\0', c};
  return bytes;
}

TEST_F(EndToEnd, AFirstStartLeavesTheDefaultFileWhichTheNextStartOnlyReads) {
  EXPECT_EQ(Run({"abc"}), kSaved);
  const fs::path ini = root / "bin/jotlog.ini";
  EXPECT_EQ(
      ReadFile(ini),
      "[setting]\n# 保存先ファイル名\nFileName=\\My Documents\\jotlog.txt\n\n"
      "# 追記元\nAddFrom=arg\n\n# 完了ダイアログを表示するかどうか\nShowDialog=1\n\n"
      "# メモのフォーマット\nMemoFormat=[%DATE% %TIME%] %MEMO%\\n\n\n"
      "# 日付のフォーマット\nDateFormat=yyyy/MM/dd\n\n# 時間のフォーマット\nTimeFormat=HH:mm:ss\n");
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
  fs::last_write_time(ini, old);
  EXPECT_EQ(Run({"def"}), kSaved);
  EXPECT_EQ(fs::last_write_time(ini), old);
  EXPECT_EQ(ReadFile(memoFile()).size(), 2 * std::string("[2026/12/06 21:00:00] abc\r\n").size());
}

TEST_F(EndToEnd, SettingsAreHonouredInEveryEncodingTheFileMayHave) {
  const std::string memo = (root / "memo.txt").string();
  const std::string settings = "[setting]\nFileName=" + memo +
                               "\nMemoFormat=<%MEMO%|%DATE%|%TIME%>\\n\nDateFormat=yyyy\n"
                               "TimeFormat='T'\nShowDialog=0\n";
  const std::string crlf = std::regex_replace(settings, std::regex("\n"), "\r\n");
  for (const std::string& file :
       {settings, "\xEF\xBB\xBF" + crlf, Utf16(crlf, true), Utf16(settings, false)}) {
    std::ofstream(root / "bin/jotlog.ini", std::ios::binary) << file;
    fs::remove(memo);
    EXPECT_EQ(Run({"m"}), "");
    EXPECT_EQ(ReadFile(memo), "<m|" + Stamp().substr(1, 4) + "|T>\r\n");
  }
}

TEST_F(EndToEnd, AFullDeviceFailsAndAUtf16MemoFileStaysUtf16) {
  std::ofstream(root / "bin/jotlog.ini") << "[setting]\nFileName=/dev/full\n";
  EXPECT_EQ(Run({"memo"}), kNotSaved);

  const fs::path memo = root / "u16.txt";
  std::ofstream(memo, std::ios::binary) << Utf16("a", true);
  std::ofstream(root / "bin/jotlog.ini")
      << "[setting]\nFileName=" << memo.string() << "\nMemoFormat=<%MEMO%>\\n\n";
  EXPECT_EQ(Run({"x"}), kSaved);
  EXPECT_EQ(ReadFile(memo), Utf16("a<x>\r\n", true));
}

TEST_F(EndToEnd, BadSettingsFilesNeverStopTheRun) {
  std::string random(100000, '\0'), sections;
  for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>(i * 2654435761u >> 13);
  for (int i = 0; i < 300; ++i) sections += "[" + std::string(600, 'a' + i % 26) + "]\nk=v\n";
  const std::string files[] = {random,
                               std::string(1 << 20, 'x'),
                               std::string(5000, '\0') + "\n[setting]\n",
                               "\xFF\xFE[\0s\0]",  // odd length
                               "\xFF\xFE\x00\xD8\x00\xDC\x00\xDC\n\0",
                               "\xEF\xBB\xBF",
                               sections};
  const fs::path ini = root / "bin/jotlog.ini";
  for (const std::string& file : files) {
    std::ofstream(ini, std::ios::binary) << file;
    EXPECT_EQ(Run({"memo"}), kSaved);
    EXPECT_EQ(ReadFile(ini), file);
  }
  fs::remove(ini);
  fs::create_directory(ini);  // a folder in the settings file's place is left alone
  EXPECT_EQ(Run({"memo"}), kSaved);
  EXPECT_TRUE(fs::is_empty(ini));
  EXPECT_EQ(std::count(std::istreambuf_iterator<char>(std::ifstream(memoFile()).rdbuf()), {}, '\n'),
            8);
}

TEST_F(EndToEnd, WithoutADisplayTheClipboardCannotBeOpened) {
  std::ofstream(root / "bin/jotlog.ini") << "[setting]\nFileName=clipboard\n";
  EXPECT_EQ(Run({"memo"}), "確認: クリップボードに保存できませんでした。\n");
}

// A desktop of the test's own: an X server on a free display, with nothing on its
// clipboard and no window manager.
class DesktopEndToEnd : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string xvfb = "/usr/bin/Xvfb";
    std::vector<std::string> args = {xvfb, "-displayfd", std::to_string(fds[1]), "-nolisten",
                                     "tcp"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ASSERT_EQ(posix_spawn(&server, xvfb.c_str(), &actions, nullptr, argv.data(), environ), 0)
        << "Xvfb is needed (Debian's xvfb)";
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty());
    setenv("DISPLAY", (":" + number).c_str(), 1);
    desktop = {"DISPLAY=:" + number, "NO_AT_BRIDGE=1"};
  }
  void TearDown() override {
    if (server > 0) {
      kill(server, SIGTERM);
      waitpid(server, nullptr, 0);
    }
    EndToEnd::TearDown();
  }

  // Runs a shell command of the test against the display; returns what it printed.
  static std::string Shell(const std::string& command, const std::string& input = "") {
    FILE* pipe = popen(command.c_str(), input.empty() ? "r" : "w");
    std::string output;
    if (!input.empty()) {
      fwrite(input.data(), 1, input.size(), pipe);
    } else {
      char chunk[4096];
      for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, n);
    }
    pclose(pipe);
    return output;
  }
  static std::string Clipboard() { return Shell("xclip -selection clipboard -o 2>/dev/null"); }
  void Settings(const std::string& lines) const {
    std::ofstream(root / "bin/jotlog.ini") << "[setting]\nShowDialog=0\n" << lines;
  }

  pid_t server = -1;
};

TEST_F(DesktopEndToEnd, TheClipboardAsSourceAndDestination) {
  Shell("xclip -selection clipboard -i >/dev/null 2>&1", "abc");
  Settings("AddFrom=clipboard\nFileName=clipboard\n");
  EXPECT_EQ(Run({"ignored"}), "");
  EXPECT_TRUE(
      std::regex_match(Clipboard(), std::regex(R"(abc\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] abc\r\n)")))
      << Clipboard();

  Shell("xclip -selection clipboard -i >/dev/null 2>&1", "日本語 テキスト");
  Settings("AddFrom=clipboard\nFileName=clipboard\nMemoFormat=<%MEMO%>\n");
  EXPECT_EQ(Run({}), "");
  EXPECT_EQ(Clipboard(), "日本語 テキスト<日本語 テキスト>");

  Settings("AddFrom=Clipboard\nMemoFormat=<%MEMO%>\\n\n");
  EXPECT_EQ(Run({"command", "line"}), "");
  EXPECT_EQ(ReadFile(memoFile()), "<command line>\r\n");
}

TEST_F(DesktopEndToEnd, AnEmptyClipboardGivesAnEmptyMemoAndTakesTheEntryAlone) {
  Settings("AddFrom=clipboard\nMemoFormat=<%MEMO%>\\n\n");
  EXPECT_EQ(Run({"ignored"}), "");
  EXPECT_EQ(ReadFile(memoFile()), "<>\r\n");

  Settings("FileName=clipboard\nMemoFormat=<%MEMO%>\n");
  Shell("xclip -selection clipboard -i -t image/png >/dev/null 2>&1", "not text");
  EXPECT_EQ(Run({"memo"}), "");
  EXPECT_EQ(Clipboard(), "<memo>");
}

TEST_F(DesktopEndToEnd, TheSuccessDialogHoldsTheGuardUntilDismissed) {
  Child first = Start({"dialog"});
  const std::string window =
      Shell("timeout 20 xdotool search --sync --name '確認' 2>/dev/null | head -n 1");
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(Run({"second"}), "");
  Shell("xdotool windowfocus --sync " + window.substr(0, window.size() - 1) + " key Return");
  EXPECT_EQ(first.Finish(), "");  // shown as a dialog, not as a line
  EXPECT_TRUE(std::regex_match(ReadFile(memoFile()), std::regex(R"(\[[^\]]+\] dialog\r\n)")));
}

}  // namespace
