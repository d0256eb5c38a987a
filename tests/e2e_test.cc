// Runs the built program as a user would: a copy of it in a temporary folder, with a home,
// runtime and config folder of its own, and checks the bytes it wrote and what it showed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string kSaved = "確認: メモファイルに保存しました。\n";
const std::string kNotSaved = "確認: メモファイルに保存できませんでした。\n";
const std::regex kEntry(R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] (.*)\r\n)");

std::string ReadFile(const fs::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// The memo of a file holding one entry in the default layout; "<no entry>" otherwise.
std::string MemoOf(const std::string& file) {
  std::smatch match;
  return std::regex_match(file, match, kEntry) ? match[1].str() : "<no entry>";
}

// The ASCII text as UTF-16 with a signature.
std::string Utf16(const std::string& text, bool little) {
  std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
  for (char c : text) bytes += little ? std::string{c, '\0'} : std::string{'\0', c};
  return bytes;
}

std::string Quote(const std::string& text) {
  std::string quoted(1, '\'');
  for (char c : text) {
    if (c == '\'') {
      quoted.append("'\\''");
    } else {
      quoted.push_back(c);
    }
  }
  quoted.push_back('\'');
  return quoted;
}

// A command started through the shell, its standard output readable.
struct Child {
  FILE* pipe = nullptr;

  // Waits for the end; returns what it printed, or "exit N" when it did not exit with 0.
  std::string Finish() {
    std::string text;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
    const int status = pclose(pipe);
    return status == 0 ? text : "exit " + std::to_string(status);
  }
};

Child Shell(const std::string& command) { return Child{popen(command.c_str(), "r")}; }

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jotlog-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    for (const char* folder : {"home/Documents", "run", "config", "bin"}) {
      fs::create_directories(root / folder);
    }
    fs::copy_file(JOTLOG_EXE, root / "bin/jotlog");
  }
  void TearDown() override { fs::remove_all(root); }

  // Starts the program with an environment of its own; what it shows on standard error
  // is the Child's output.
  Child Start(const std::vector<std::string>& args) const {
    std::string command = "env -i LC_ALL=C PATH=/usr/bin:/bin " + desktop +
                          "HOME=" + Quote((root / "home").string()) +
                          " XDG_RUNTIME_DIR=" + Quote((root / "run").string()) +
                          " XDG_CONFIG_HOME=" + Quote((root / "config").string()) + " " +
                          Quote((root / "bin/jotlog").string());
    for (const std::string& arg : args) command.append(1, ' ').append(Quote(arg));
    return Shell(command + " 2>&1 >/dev/null </dev/null");
  }
  std::string Run(const std::vector<std::string>& args) const { return Start(args).Finish(); }
  void Settings(const std::string& bytes) const {
    std::ofstream(root / "bin/jotlog.ini", std::ios::binary) << bytes;
  }

  fs::path root;
  std::string desktop;  // DISPLAY and the like, for the desktop tests
  fs::path memoFile() const { return root / "home/Documents/jotlog.txt"; }
};

TEST_F(EndToEnd, RecordsStampedMemosInTheDocumentsFolder) {
  std::time_t now = std::time(nullptr);
  char today[16];
  std::strftime(today, sizeof today, "[%Y/%m/%d ", std::localtime(&now));
  EXPECT_EQ(Run({"buy", "milk"}), kSaved);
  const std::string first = ReadFile(memoFile());
  EXPECT_EQ(MemoOf(first), "buy milk");
  EXPECT_EQ(first.substr(0, 12), today);

  // Arguments are joined with single spaces; bytes that are not UTF-8 pass unchanged.
  EXPECT_EQ(Run({" two ", "\"memo\"", "caf\xE9", "確認"}), kSaved);
  const std::string both = ReadFile(memoFile());
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_EQ(MemoOf(both.substr(first.size())), " two  \"memo\" caf\xE9 確認");
}

TEST_F(EndToEnd, TheDocumentsFolderFollowsUserDirsOrFallsBackToHome) {
  fs::create_directories(root / "home/Papers");
  std::ofstream(root / "config/user-dirs.dirs") << "# test\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
  EXPECT_EQ(Run({"one"}), kSaved);
  EXPECT_EQ(MemoOf(ReadFile(root / "home/Papers/jotlog.txt")), "one");

  fs::remove(root / "config/user-dirs.dirs");
  fs::remove_all(root / "home/Documents");
  EXPECT_EQ(Run({"two"}), kSaved);
  EXPECT_EQ(MemoOf(ReadFile(root / "home/jotlog.txt")), "two");
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

  std::string received = ReadFile(memoFile());  // lets the first run write
  EXPECT_EQ(first.Finish(), kSaved);
  EXPECT_EQ(MemoOf(received), "first");
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
  EXPECT_EQ(MemoOf(ReadFile(memoFile()).substr(27)), "def");
}

TEST_F(EndToEnd, SettingsAreHonouredInEveryEncodingTheFileMayHave) {
  const std::string memo = (root / "memo.txt").string();
  const std::string settings = "[setting]\nFileName=" + memo +
                               "\nMemoFormat=<%MEMO%|%TIME%>\\n\nTimeFormat='T'\nShowDialog=0\n";
  const std::string crlf = std::regex_replace(settings, std::regex("\n"), "\r\n");
  for (const std::string& file :
       {settings, "\xEF\xBB\xBF" + crlf, Utf16(crlf, true), Utf16(settings, false)}) {
    Settings(file);
    fs::remove(memo);
    EXPECT_EQ(Run({"m"}), "");
    EXPECT_EQ(ReadFile(memo), "<m|T>\r\n");
  }
}

TEST_F(EndToEnd, FailuresShowTheFailureLineAndUtf16MemoFilesStayUtf16) {
  fs::create_directories(memoFile());  // a folder in the memo file's place
  EXPECT_EQ(Run({"memo"}), kNotSaved);
  Settings("[setting]\nFileName=/dev/full\n");
  EXPECT_EQ(Run({"memo"}), kNotSaved);
  Settings("[setting]\nFileName=clipboard\n");  // no display
  EXPECT_EQ(Run({"memo"}), "確認: クリップボードに保存できませんでした。\n");

  const fs::path memo = root / "u16.txt";
  std::ofstream(memo, std::ios::binary) << Utf16("a", true);
  Settings("[setting]\nFileName=" + memo.string() + "\nMemoFormat=<%MEMO%>\\n\n");
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
    Settings(file);
    EXPECT_EQ(Run({"memo"}), kSaved);
    EXPECT_EQ(ReadFile(ini), file);
  }
  fs::remove(ini);
  fs::create_directory(ini);  // a folder in the settings file's place is left alone
  EXPECT_EQ(Run({"memo"}), kSaved);
  EXPECT_TRUE(fs::is_empty(ini));
  EXPECT_EQ(ReadFile(memoFile()).size(), 8 * std::string("[2026/12/06 20:00:00] memo\r\n").size());
}

TEST_F(EndToEnd, OnWaylandTheWlClipboardToolsServeTheClipboard) {
  // Stand-ins for wl-paste and wl-copy that keep the clipboard in a file.
  const fs::path tools = root / "wl", clip = root / "clip", log = root / "log";
  fs::create_directories(tools);
  std::ofstream(tools / "wl-paste")
      << "#!/bin/sh\necho paste \"$*\" >>" << log << "\ncat " << clip << " 2>/dev/null\n";
  std::ofstream(tools / "wl-copy") << "#!/bin/sh\necho copy \"$*\" >>" << log << "\nrm -f " << clip
                                   << "\n[ \"$1\" = --clear ] || cat >" << clip << "\n";
  for (const char* tool : {"wl-paste", "wl-copy"}) {
    fs::permissions(tools / tool, fs::perms::owner_all);
  }
  desktop = "WAYLAND_DISPLAY=wayland-test PATH=" + tools.string() + ":/usr/bin:/bin ";
  std::ofstream(clip) << "abc";
  Settings("[setting]\nAddFrom=clipboard\nFileName=clipboard\nMemoFormat=<%MEMO%>\n");
  EXPECT_EQ(Run({}), kSaved.substr(0, 8) + "クリップボードに保存しました。\n");
  EXPECT_EQ(ReadFile(clip), "abc<abc>");
  EXPECT_EQ(ReadFile(log),
            "paste --no-newline --type text\npaste --no-newline --type text\n"
            "copy --type text/plain;charset=utf-8\n");
}

// A desktop of the test's own: an X server on a free display, with nothing on its
// clipboard and no window manager.
class DesktopEndToEnd : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    server = Shell("echo $$; exec Xvfb -displayfd 1 -nolisten tcp 2>/dev/null");
    ASSERT_EQ(fscanf(server.pipe, "%d %d", &serverPid, &display), 2)
        << "Xvfb is needed (Debian's xvfb)";
    desktop = "DISPLAY=:" + std::to_string(display) + " NO_AT_BRIDGE=1 ";
  }
  void TearDown() override {
    kill(serverPid, SIGTERM);
    server.Finish();
    EndToEnd::TearDown();
  }

  // Runs a tool of the desktop; returns what it printed on its standard output.
  std::string Tool(const std::string& command) const {
    return Shell("export " + desktop + "; " + command + " 2>/dev/null").Finish();
  }
  std::string Clipboard() const { return Tool("xclip -selection clipboard -o"); }
  void Copy(const std::string& text, const char* target = "UTF8_STRING") const {
    Tool("printf %s " + Quote(text) + " | xclip -selection clipboard -i -t " + target +
         " >/dev/null");
  }

  Child server;
  int serverPid = 0, display = 0;
};

TEST_F(DesktopEndToEnd, TheClipboardAsSourceAndDestination) {
  Copy("abc");
  Settings("[setting]\nShowDialog=0\nAddFrom=clipboard\nFileName=clipboard\n");
  EXPECT_EQ(Run({"ignored"}), "");
  const std::string clipboard = Clipboard();
  EXPECT_EQ(clipboard.substr(0, 3), "abc");
  EXPECT_EQ(MemoOf(clipboard.substr(3)), "abc");

  Copy("日本語 テキスト");
  Settings("[setting]\nShowDialog=0\nAddFrom=clipboard\nFileName=clipboard\nMemoFormat=<%MEMO%>\n");
  EXPECT_EQ(Run({}), "");
  EXPECT_EQ(Clipboard(), "日本語 テキスト<日本語 テキスト>");

  Settings("[setting]\nShowDialog=0\nAddFrom=Clipboard\n");
  EXPECT_EQ(Run({"command", "line"}), "");
  EXPECT_EQ(MemoOf(ReadFile(memoFile())), "command line");
}

TEST_F(DesktopEndToEnd, AClipboardWithoutTextGivesAnEmptyMemoAndTakesTheEntryAlone) {
  Settings("[setting]\nShowDialog=0\nAddFrom=clipboard\n");
  EXPECT_EQ(Run({"ignored"}), "");
  EXPECT_EQ(MemoOf(ReadFile(memoFile())), "");

  Copy("not text", "image/png");
  Settings("[setting]\nShowDialog=0\nFileName=clipboard\nMemoFormat=<%MEMO%>\n");
  EXPECT_EQ(Run({"memo"}), "");
  EXPECT_EQ(Clipboard(), "<memo>");
}

TEST_F(DesktopEndToEnd, TheSuccessDialogHoldsTheGuardUntilDismissed) {
  Child first = Start({"dialog"});
  std::string window = Tool("timeout 20 xdotool search --sync --name 確認");
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(Run({"second"}), "");
  Tool("xdotool windowfocus --sync " + window.substr(0, window.find('\n')) + " key Return");
  EXPECT_EQ(first.Finish(), "");  // shown as a dialog, not as a line
  EXPECT_EQ(MemoOf(ReadFile(memoFile())), "dialog");
}

}  // namespace
