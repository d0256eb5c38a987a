// The Windows program under Wine, beside its Linux twin. Both builds must leave the same
// bytes after the same run; and the Windows program must do what only Windows asks of it
// (its command line, its message boxes, its clipboard, its file sharing). A probe of the
// tests' own (win_probe.cc) runs each Windows program, reads its message boxes and
// dismisses them, and reads the clipboard as a Windows program sees it.
//
// The paths come from CTest (tests/wine.cmake): JOTLOG_WINE_DIR (the build's Wine, its
// prefix and its display), JOTLOG_WIN_EXE, JOTLOG_PROBE and JOTLOG_LINUX_EXE.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "platform/platform_posix.h"
#include "platform/utf.h"
#include "tests/picture_table.h"

extern char** environ;

namespace jotlog {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kSaved = "確認: メモファイルに保存しました。\n";
const std::string kNotSaved = "確認: メモファイルに保存できませんでした。\n";
const std::regex kEntry(R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] (.*)\r\n)");

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string ReadFile(const fs::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The memo of a file holding one entry in the default layout; "<no entry>" otherwise.
std::string MemoOf(const std::string& file) {
  std::smatch match;
  return std::regex_match(file, match, kEntry) ? match[1].str() : "<no entry>";
}

// The name Wine gives a path of this machine.
std::string WinePath(const fs::path& path) {
  std::string name = "Z:" + path.string();
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  return name;
}

std::string Utf16(const std::string& utf8, bool little) {
  std::string bytes;
  for (char16_t unit : DecodeUtf8(utf8)) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes += little ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A child process with its standard input and output on pipes; standard error joins the
// output.
class Process {
 public:
  // `environment` replaces this process's own.
  Process(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    std::vector<char*> args, env;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    for (const std::string& setting : environment) {
      env.push_back(const_cast<char*>(setting.c_str()));
    }
    args.push_back(nullptr);
    env.push_back(nullptr);
    if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), env.data()) != 0) {
      pid_ = -1;
    }
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~Process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
  }
  Process(Process&& other) noexcept
      : pid_(std::exchange(other.pid_, -1)),
        in_(std::exchange(other.in_, -1)),
        out_(std::exchange(other.out_, -1)),
        output_(std::move(other.output_)) {}
  Process& operator=(Process&&) = delete;

  void Write(const std::string& text) {
    if (in_ >= 0 && ::write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      ADD_FAILURE() << "cannot write to the child";
    }
  }

  // The next line of output (with its line feed), waiting up to a minute for it.
  std::string ReadLine() {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    size_t end;
    while ((end = output_.find('\n')) == std::string::npos && out_ >= 0 &&
           Clock::now() < deadline) {
      Pump(100);
    }
    const std::string line = output_.substr(0, end == std::string::npos ? end : end + 1);
    output_.erase(0, line.size());
    return line;
  }

  // Closes the child's input and waits up to a minute for its end. Returns the output not
  // read yet, followed by "exit N" when the child did not exit with 0. A Wine program may
  // leave a process behind that holds the output open, so the end of the child, not of
  // its output, ends the wait.
  std::string Finish() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (pid_ > 0 && Clock::now() < deadline) {
      Pump(20);
      if (::waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
    }
    while (Pump(0)) {
    }
    if (pid_ > 0) return output_ + "timed out";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return output_;
    return output_ + "exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }

 private:
  // Takes what output comes within `wait` ms; false when none came.
  bool Pump(int wait) {
    if (out_ < 0) return false;
    pollfd ready{out_, POLLIN, 0};
    if (::poll(&ready, 1, wait) <= 0) return false;
    char chunk[4096];
    const ssize_t n = ::read(out_, chunk, sizeof chunk);
    if (n <= 0) {
      ::close(out_);
      out_ = -1;
      return false;
    }
    output_.append(chunk, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string output_;
};

// The X server that the build's Wine runs on (started with its server, wine.sh.in).
std::string Display() {
  std::string display = ReadFile(fs::path(Env("JOTLOG_WINE_DIR")) / "display");
  if (!display.empty() && display.back() == '\n') display.pop_back();
  return display;
}

std::string WineRun() { return Env("JOTLOG_WINE_DIR") + "/run"; }

// Runs the Windows probe under Wine in `language` (Wine's user locale follows LANG).
Process Probe(const std::vector<std::string>& args, const std::string& language = "C.UTF-8") {
  std::vector<std::string> argv = {WineRun(), Env("JOTLOG_PROBE")};
  argv.insert(argv.end(), args.begin(), args.end());
  return Process(argv, {"PATH=/usr/bin:/bin", "LANG=" + language});
}

std::string ProbeOutput(const std::vector<std::string>& args, const std::string& input = "",
                        const std::string& language = "C.UTF-8") {
  Process probe = Probe(args, language);
  probe.Write(input);
  return probe.Finish();
}

// The X clipboard, as a program of the desktop sees it.
std::string XClipboard(const std::string& args, const std::string& input = "") {
  Process xclip({"/bin/sh", "-c", "exec xclip -selection clipboard " + args},
                {"PATH=/usr/bin:/bin", "DISPLAY=" + Display()});
  xclip.Write(input);
  return xclip.Finish();
}

// Each test has a folder with the Windows program in win/bin and the Linux one in
// linux/bin, and a home of the Linux one's own; the Windows program's documents folder is
// Wine's.
class WineEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jotlog-wine-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root = pattern;
    for (const char* folder : {"win/bin", "linux/bin", "linux/home/Documents", "linux/run"}) {
      fs::create_directories(root / folder);
    }
    fs::copy_file(Env("JOTLOG_WIN_EXE"), root / "win/bin/jotlog.exe");
    fs::copy_file(Env("JOTLOG_LINUX_EXE"), root / "linux/bin/jotlog");
    fs::remove(wineDocuments());
  }
  void TearDown() override {
    fs::remove_all(root);
    fs::remove(wineDocuments());
  }

  // Where "\\My Documents\\jotlog.txt" is for the Windows program: Wine's documents folder
  // is a link made with the prefix.
  static fs::path wineDocuments() {
    for (const auto& user :
         fs::directory_iterator(Env("JOTLOG_WINE_DIR") + "/prefix/drive_c/users")) {
      if (user.path().filename() != "Public")
        return fs::canonical(user.path() / "Documents") / "jotlog.txt";
    }
    return {};
  }

  // Starts the Windows program through the probe: its command line is "PROGRAM" followed
  // by `tail`. With `hold`, its first box stays until the probe is given a line.
  Process StartWin(const std::string& tail, bool hold = false) {
    std::vector<std::string> args = {"run"};
    if (hold) args.push_back("--hold");
    args.push_back(WinePath(root / "win/bin/jotlog.exe"));
    Process probe = Probe(args);
    probe.Write(tail + "\n");
    return probe;
  }
  // What the Windows program showed: one "caption: text" line per box.
  std::string RunWin(const std::string& tail) { return StartWin(tail).Finish(); }

  // What the Linux program showed on standard error, in a C locale without a desktop.
  std::string RunLinux(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {(root / "linux/bin/jotlog").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Process(argv,
                   {"LC_ALL=C", "PATH=/usr/bin:/bin", "HOME=" + (root / "linux/home").string(),
                    "XDG_RUNTIME_DIR=" + (root / "linux/run").string(),
                    "XDG_CONFIG_HOME=" + (root / "linux/config").string()})
        .Finish();
  }

  // Writes both settings files: "{dir}" stands for the twin's own folder (win or linux),
  // as that program names it.
  void Settings(const std::string& text,
                const std::function<std::string(const std::string&)>& encode = {}) {
    for (const char* twin : {"win", "linux"}) {
      const std::string dir =
          twin == std::string("win") ? WinePath(root / twin) : (root / twin).string();
      const std::string settings = std::regex_replace(text, std::regex("\\{dir\\}"), dir);
      const std::string ini =
          twin == std::string("win") ? "win/bin/jotlog.ini" : "linux/bin/jotlog.ini";
      WriteFile(root / ini, encode ? encode(settings) : settings);
    }
  }

  fs::path root;
};

TEST_F(WineEndToEnd, AFirstStartWritesTheSameDefaultsAndJapaneseMemosReachMyDocuments) {
  EXPECT_EQ(RunWin("日本語のメモ"), kSaved);
  EXPECT_EQ(RunLinux({"日本語のメモ"}), kSaved);
  const std::string defaults = ReadFile(root / "linux/bin/jotlog.ini");
  EXPECT_EQ(defaults.substr(0, 10), "[setting]\n");
  EXPECT_EQ(ReadFile(root / "win/bin/jotlog.ini"), defaults);
  EXPECT_EQ(Listing(root / "win/bin"), (std::vector<std::string>{"jotlog.exe", "jotlog.ini"}));
  EXPECT_EQ(MemoOf(ReadFile(wineDocuments())), "日本語のメモ");
  EXPECT_EQ(MemoOf(ReadFile(root / "linux/home/Documents/jotlog.txt")), "日本語のメモ");
}

TEST_F(WineEndToEnd, BothBuildsLeaveTheSameBytesInEveryEncoding) {
  auto crlf = [](const std::string& text) {
    return std::regex_replace(text, std::regex("\n"), "\r\n");
  };
  const std::pair<std::function<std::string(const std::string&)>, std::string> cases[] = {
      // the settings file's form, the memo file's start
      {[](const std::string& text) { return text; }, ""},
      {[&](const std::string& text) { return "\xEF\xBB\xBF" + crlf(text); }, "no line end"},
      {[&](const std::string& text) { return "\xFF\xFE" + Utf16(crlf(text), true); },
       "\xEF\xBB\xBF"
       "a\r\n"},
      {[](const std::string& text) { return "\xFE\xFF" + Utf16(text, false); },
       "\xFF\xFE" + Utf16("a", true)},
      {[](const std::string& text) { return text; }, "\xFE\xFF" + Utf16("a", false)},
  };
  for (const auto& [form, start] : cases) {
    Settings(
        "[setting]\nFileName={dir}/メモ.txt\nMemoFormat=<%MEMO%|%DATE%>\\n\n"
        "DateFormat='d' MMMM\nShowDialog=0\n",
        form);
    for (const char* twin : {"win", "linux"}) {
      if (!start.empty()) WriteFile(root / twin / "メモ.txt", start);
    }
    // The same memo from each program's own command line: Windows passes the line as
    // typed, Linux joins its arguments with single spaces.
    EXPECT_EQ(RunWin("a \"b c\" 日本 \xF0\x9F\x93\x9D"), "");
    EXPECT_EQ(RunLinux({"a", "\"b", "c\"", "日本", "\xF0\x9F\x93\x9D"}), "");
    const std::string written = ReadFile(root / "linux/メモ.txt");
    EXPECT_GT(written.size(), start.size() + 20) << start;
    EXPECT_EQ(ReadFile(root / "win/メモ.txt"), written) << start;
    for (const char* twin : {"win", "linux"}) fs::remove(root / twin / "メモ.txt");
  }
}

TEST_F(WineEndToEnd, TheMemoIsTheCommandLineAsWindowsPassesIt) {
  Settings("[setting]\nFileName={dir}/memo.txt\nMemoFormat=<%MEMO%>\nShowDialog=0\n");
  // The start-up code drops the blanks that part the program's name from the rest.
  const std::pair<std::string, std::string> cases[] = {
      {"", "<>"},
      {"  \"quoted  words\"  and\tmore  ", "<\"quoted  words\"  and\tmore  >"},
      {"%MEMO% \\n 確認", "<%MEMO% \\n 確認>"},
  };
  for (const auto& [tail, file] : cases) {
    fs::remove(root / "win/memo.txt");
    EXPECT_EQ(RunWin(tail), "");
    EXPECT_EQ(ReadFile(root / "win/memo.txt"), file);
  }
}

TEST_F(WineEndToEnd, ASecondStartWhileTheFirstShowsItsBoxEndsAtOnce) {
  Settings("[setting]\nFileName={dir}/memo.txt\n");
  Process first = StartWin("first", true);
  ASSERT_EQ(first.ReadLine(), kSaved);  // its box is open, its guard held
  EXPECT_EQ(RunWin("second"), "");
  first.Write("\n");
  EXPECT_EQ(first.Finish(), "");
  EXPECT_EQ(MemoOf(ReadFile(root / "win/memo.txt")), "first");
}

TEST_F(WineEndToEnd, AppendsFromProcessesThatBypassTheGuardNeverMix) {
  // Entries this large mix under Wine when the handle lets others write meanwhile.
  const fs::path memo = root / "win/memo.txt";
  std::vector<Process> writers;
  for (const char* mark : {"a", "b", "c"}) {
    writers.push_back(Probe({"append", WinePath(memo), mark}));
  }
  for (Process& writer : writers) EXPECT_EQ(writer.Finish(), "");
  std::istringstream lines(ReadFile(memo));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_EQ(line.size(), 4000000u);
    ASSERT_EQ(line.find_first_not_of(line[0]), std::string::npos);
  }
  EXPECT_EQ(count, 12);
}

TEST_F(WineEndToEnd, FailuresShowTheFailureBoxAndLeaveTheFileAsItWas) {
  const std::string old(1000, 'x');
  WriteFile(root / "win/memo.txt", old);
  for (const char* name : {"{dir}/missing/memo.txt", "{dir}", "", "{dir}/memo.txt\\"}) {
    Settings("[setting]\nFileName=" + std::string(name) + "\n");
    EXPECT_EQ(RunWin("memo"), kNotSaved) << name;
  }
  EXPECT_FALSE(fs::exists(root / "win/missing"));

  Settings("[setting]\nFileName={dir}/memo.txt\n");
  // A write the system cuts short (the file may grow to 1024 bytes only): the entry is
  // taken back whole.
  Process limited({"/bin/bash", "-c", "ulimit -f 1; trap '' XFSZ; exec \"$@\"", "bash", WineRun(),
                   Env("JOTLOG_PROBE"), "run", WinePath(root / "win/bin/jotlog.exe")},
                  {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"});
  limited.Write("a memo that does not fit\n");
  EXPECT_EQ(limited.Finish(), kNotSaved);
  EXPECT_EQ(ReadFile(root / "win/memo.txt"), old);
}

TEST_F(WineEndToEnd, ADefaultFileThatCannotBeWrittenWholeIsNotWrittenAtAll) {
  // No file may grow at all: the settings file cannot be written, nor the memo.
  Process limited({"/bin/bash", "-c", "ulimit -f 0; trap '' XFSZ; exec \"$@\"", "bash", WineRun(),
                   Env("JOTLOG_PROBE"), "run", WinePath(root / "win/bin/jotlog.exe")},
                  {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"});
  limited.Write("memo\n");
  EXPECT_EQ(limited.Finish(), kNotSaved);
  EXPECT_EQ(Listing(root / "win/bin"), std::vector<std::string>{"jotlog.exe"});
  EXPECT_EQ(ReadFile(wineDocuments()), "");
}

TEST_F(WineEndToEnd, AProgramPathLongerThanMaxPathFindsItsSettingsBesideIt) {
  const fs::path folder = root / "win" / std::string(120, 'd') / std::string(120, 'e');
  fs::create_directories(folder);
  fs::copy_file(root / "win/bin/jotlog.exe", folder / "jotlog.exe");
  ASSERT_GT(WinePath(folder / "jotlog.exe").size(), 260u);
  WriteFile(folder / "jotlog.ini", "[setting]\nFileName=" + WinePath(root / "win/memo.txt") +
                                       "\nMemoFormat=%MEMO%\nShowDialog=0\n");
  // Started by Wine itself: CreateProcessW refuses a program name this long.
  EXPECT_EQ(Process({WineRun(), (folder / "jotlog.exe").string(), "found"},
                    {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"})
                .Finish(),
            "");
  EXPECT_EQ(ReadFile(root / "win/memo.txt"), "found");
}

TEST_F(WineEndToEnd, TheClipboardAsSourceAndDestination) {
  Settings("[setting]\nAddFrom=clipboard\nFileName=clipboard\nMemoFormat=<%MEMO%>\\n\n");
  ASSERT_EQ(ProbeOutput({"clip-set"}, "abc\r\n日本"), "");
  EXPECT_EQ(RunWin("ignored"), "確認: クリップボードに保存しました。\n");
  EXPECT_EQ(ProbeOutput({"clip-get"}), "abc\r\n日本<abc\r\n日本>\r\n");

  // Without text on it, the memo is empty and the entry alone goes on it.
  ASSERT_EQ(ProbeOutput({"clip-set-other"}), "");
  EXPECT_EQ(RunWin("ignored"), "確認: クリップボードに保存しました。\n");
  EXPECT_EQ(ProbeOutput({"clip-get"}), "<>\r\n");
  // It is the desktop's clipboard (Wine gives it LF line ends there).
  EXPECT_EQ(XClipboard("-o"), "<>\n");

  // Text copied on the desktop becomes the memo.
  XClipboard("-i", "von X");
  Settings("[setting]\nAddFrom=clipboard\nFileName={dir}/memo.txt\nMemoFormat=%MEMO%\n");
  EXPECT_EQ(RunWin("ignored"), kSaved);
  EXPECT_EQ(ReadFile(root / "win/memo.txt"), "von X");
}

// The pictures of the table whose text differs between the two, with the reason; every
// other row must agree. Each still differs somewhere, or it would not be listed.
const std::map<std::u16string, std::string> kKnownDifferences = {
    // Where Wine departs from Windows.
    {u"y", "Wine gives two digits; Windows documents one"},
    {u"g",
     "Wine's era is \"AD\" (Windows: \"A.D.\"); in Japanese \"西暦\", which the Linux "
     "names lack"},
    {u"gg", "as g, and Wine repeats the era for each letter"},
    {u"ggg", "as gg"},
    // Where the Linux formatter departs from Windows (and Wine): two quotes outside quoted
    // text are an empty quoted text, not one quote.
    {u"''", "Linux: one quote"},
    {u"''''", "Linux: two quotes"},
    {u"''d''", "Linux: the day in quotes"},
};

TEST(PictureDifferential, TheLinuxFormatterAgreesWithTheWindowsApi) {
  const std::vector<PictureCase> cases = PictureCases();
  for (const std::string language : {"C.UTF-8", "ja_JP.UTF-8"}) {
    locale_t available = ::newlocale(LC_ALL_MASK, language.c_str(), static_cast<locale_t>(0));
    ASSERT_NE(available, static_cast<locale_t>(0)) << language << " is needed (locale-gen)";
    ::freelocale(available);

    std::istringstream windows(ProbeOutput({"pictures"}, "", language));
    ::setenv("LC_ALL", language.c_str(), 1);
    PosixPlatform linux;
    std::set<std::u16string> differing;
    for (const PictureCase& c : cases) {
      std::string wineText;
      ASSERT_TRUE(std::getline(windows, wineText)) << language;
      char16_t buffer[127];
      const int written = c.kind == PictureKind::kDate
                              ? linux.FormatDate(c.time, c.picture, buffer, 127)
                              : linux.FormatTime(c.time, c.picture, buffer, 127);
      const std::string linuxText = written > 0 ? EncodeUtf8(buffer) : "<failed>";
      if (kKnownDifferences.count(c.picture) != 0) {
        if (linuxText != wineText) differing.insert(c.picture);
        continue;
      }
      EXPECT_EQ(linuxText, wineText)
          << language << " " << (c.kind == PictureKind::kDate ? "date " : "time ")
          << EncodeUtf8(c.picture) << " " << c.time.year << "-" << c.time.month << "-" << c.time.day
          << " " << c.time.hour << ":" << c.time.minute;
    }
    ::unsetenv("LC_ALL");
    // Each difference listed is still there.
    for (const auto& [picture, reason] : kKnownDifferences) {
      EXPECT_EQ(differing.count(picture), 1u) << language << " " << EncodeUtf8(picture);
    }
  }
}

}  // namespace
}  // namespace jotlog
