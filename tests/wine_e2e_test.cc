// The Windows program under Wine, beside its Linux twin: both builds must leave the same
// bytes after the same run, and the Windows program must do what only Windows asks of it.
// A probe of the tests' own (win_probe.cc) starts each Windows program, reads and
// dismisses its message boxes, and reads the clipboard as a Windows program sees it.
//
// CTest (tests/wine.cmake) gives the paths: JOTLOG_WINE_DIR (the build's Wine, started
// with its display by the fixture), JOTLOG_WIN_EXE, JOTLOG_PROBE and JOTLOG_LINUX_EXE.
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <set>
#include <tuple>

#include "platform/platform_posix.h"
#include "platform/utf.h"
#include "tests/harness.h"
#include "tests/picture_table.h"

namespace jotlog {
namespace {

using namespace test;

std::string Env(const char* name) { return std::getenv(name) != nullptr ? std::getenv(name) : ""; }

// The name Wine gives a path of this machine.
std::string WinePath(const fs::path& path) {
  std::string name = "Z:" + path.string();
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

// The Windows probe under the build's Wine, in `language` (Wine's user locale and the
// encoding of its Linux file names follow LANG).
std::string Probe(const std::string& args, const std::string& language = "C.UTF-8") {
  return "env -i PATH=/usr/bin:/bin LANG=" + language + " " +
         Quote(Env("JOTLOG_WINE_DIR") + "/run") + " " + Quote(Env("JOTLOG_PROBE")) + " " + args +
         " 2>&1";
}

std::string Feed(const std::string& input, const std::string& command) {
  return "printf %s " + Quote(input) + " | " + command;
}

// A folder per test with the Windows program in win/bin and its Linux twin, with a home of
// its own, in linux/bin. The Windows program's documents folder is Wine's.
class WineEndToEnd : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    linuxDir = root / "linux";
    MakeLinuxProgram(Env("JOTLOG_LINUX_EXE"));
    fs::create_directories(root / "win/bin");
    fs::copy_file(Env("JOTLOG_WIN_EXE"), root / "win/bin/jotlog.exe");
    fs::remove(WineDocuments());
  }
  void TearDown() override {
    TempFolder::TearDown();
    fs::remove(WineDocuments());
  }

  // Where "\My Documents\jotlog.txt" is for the Windows program: a link Wine made with
  // the prefix.
  static fs::path WineDocuments() {
    for (const auto& user :
         fs::directory_iterator(Env("JOTLOG_WINE_DIR") + "/prefix/drive_c/users")) {
      if (user.path().filename() != "Public") {
        return fs::canonical(user.path() / "Documents") / "jotlog.txt";
      }
    }
    return {};
  }

  // The probe starting the Windows program with the command line "PROGRAM" `tail`;
  // `options` go to the probe, `prefix` before it in the shell.
  std::string WinCommand(const std::string& tail, const std::string& options = "",
                         const std::string& prefix = "",
                         const std::string& language = "C.UTF-8") const {
    return Feed(
        tail + "\n",
        "(" + prefix +
            Probe("run " + options + " " + Quote(WinePath(root / "win/bin/jotlog.exe")), language) +
            ")");
  }
  // What the Windows program showed: one "caption: text" line per box.
  std::string RunWin(const std::string& tail) const { return Shell(WinCommand(tail)).Finish(); }

  // What the Linux program showed on standard error, in a C locale without a desktop.
  std::string RunLinux(const std::vector<std::string>& args) const {
    return Shell(LinuxCommand(args, "") + " 2>&1 </dev/null").Finish();
  }

  // Writes both settings files; "{dir}" stands for the twin's own folder, as that program
  // names it.
  void Settings(const std::string& text,
                const std::function<std::string(const std::string&)>& form = {}) const {
    for (const std::string twin : {"win", "linux"}) {
      const std::string dir = twin == "win" ? WinePath(root / twin) : (root / twin).string();
      const std::string settings = std::regex_replace(text, std::regex("\\{dir\\}"), dir);
      WriteFile(root / twin / "bin/jotlog.ini", form ? form(settings) : settings);
    }
  }
};

TEST_F(WineEndToEnd, AFirstStartWritesTheSameDefaultsAndJapaneseMemosReachMyDocuments) {
  EXPECT_EQ(RunWin("日本語のメモ"), kSaved);
  EXPECT_EQ(RunLinux({"日本語のメモ"}), kSaved);
  const std::string defaults = ReadFile(root / "linux/bin/jotlog.ini");
  EXPECT_EQ(defaults.substr(0, 10), "[setting]\n");
  EXPECT_EQ(ReadFile(root / "win/bin/jotlog.ini"), defaults);
  EXPECT_EQ(Listing(root / "win/bin"), (std::vector<std::string>{"jotlog.exe", "jotlog.ini"}));
  EXPECT_EQ(MemoOf(ReadFile(WineDocuments())), "日本語のメモ");
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
      {[&](const std::string& text) { return "\xFF\xFE" + Utf16(DecodeUtf8(crlf(text)), true); },
       "\xEF\xBB\xBF"
       "a\r\n"},
      {[](const std::string& text) { return "\xFE\xFF" + Utf16(DecodeUtf8(text), false); },
       "\xFF\xFE" + Utf16(u"a", true)},
      {[](const std::string& text) { return text; }, "\xFE\xFF" + Utf16(u"a", false)},
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
  for (const auto& [tail, file] :
       {std::pair<std::string, std::string>{"", "<>"},
        {"  \"quoted  words\"  and\tmore  ", "<\"quoted  words\"  and\tmore  >"}}) {
    fs::remove(root / "win/memo.txt");
    EXPECT_EQ(RunWin(tail), "");
    EXPECT_EQ(ReadFile(root / "win/memo.txt"), file);
  }
}

TEST_F(WineEndToEnd, ASecondStartWhileTheFirstShowsItsBoxEndsAtOnce) {
  Settings("[setting]\nFileName={dir}/memo.txt\n");
  // The first run's box stays open until the probe reads a line from the pipe.
  const fs::path pipe = root / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  Child first = Shell(Probe("run --hold " + Quote(WinePath(root / "win/bin/jotlog.exe"))) + " <" +
                      Quote(pipe));
  const int input = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(input, 0);
  ASSERT_EQ(::write(input, "first\n", 6), 6);
  ASSERT_EQ(first.ReadLine(), kSaved);
  EXPECT_EQ(RunWin("second"), "");
  ASSERT_EQ(::write(input, "\n", 1), 1);
  ::close(input);
  EXPECT_EQ(first.Finish(), "");
  EXPECT_EQ(MemoOf(ReadFile(root / "win/memo.txt")), "first");
}

TEST_F(WineEndToEnd, AppendsFromProcessesThatBypassTheGuardNeverMix) {
  // Entries this large mix under Wine when the handle lets others write meanwhile.
  const std::string memo = Quote(WinePath(root / "win/memo.txt"));
  std::vector<Child> writers;
  for (const char* mark : {"a", "b", "c"})
    writers.push_back(Shell(Probe("append " + memo + " " + mark)));
  for (Child& writer : writers) EXPECT_EQ(writer.Finish(), "");
  std::istringstream lines(ReadFile(root / "win/memo.txt"));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_EQ(line.size(), 4000000u);
    ASSERT_EQ(line.find_first_not_of(line[0]), std::string::npos);
  }
  EXPECT_EQ(count, 12);
}

TEST_F(WineEndToEnd, FailuresShowTheFailureBoxAndLeaveNothingHalfWritten) {
  // Files may not grow at all: neither the default settings file nor the memo is written,
  // and nothing is left of either.
  EXPECT_EQ(Shell(WinCommand("memo", "", "ulimit -f 0; trap '' XFSZ; ")).Finish(), kNotSaved);
  EXPECT_EQ(Listing(root / "win/bin"), std::vector<std::string>{"jotlog.exe"});
  EXPECT_FALSE(fs::exists(WineDocuments()));

  const std::string old(1000, 'x');
  WriteFile(root / "win/memo.txt", old);
  for (const char* name : {"{dir}/missing/memo.txt", "{dir}", "", "{dir}/memo.txt\\"}) {
    Settings("[setting]\nFileName=" + std::string(name) + "\n");
    EXPECT_EQ(RunWin("memo"), kNotSaved) << name;
  }
  EXPECT_FALSE(fs::exists(root / "win/missing"));
  // The file may grow to 1024 bytes only: the entry that does not fit is taken back.
  Settings("[setting]\nFileName={dir}/memo.txt\n");
  EXPECT_EQ(Shell(WinCommand("memo", "", "ulimit -f 2; trap '' XFSZ; ")).Finish(), kNotSaved);
  EXPECT_EQ(ReadFile(root / "win/memo.txt"), old);
  // Memory runs out: 8 MB copied, 170 times in the entry, in an address space that holds
  // Wine (1.7 GB of it) and little more.
  ASSERT_EQ(Shell("head -c 8000000 /dev/zero | tr '\\0' x | " + Probe("clip-set")).Finish(), "");
  Settings("[setting]\nFileName={dir}/memo.txt\nAddFrom=clipboard\nMemoFormat=" +
           std::regex_replace(std::string(170, '@'), std::regex("@"), "%MEMO%") + "\n");
  EXPECT_EQ(Shell(WinCommand("", "", "ulimit -v 2500000; ")).Finish(), kNotSaved);
  EXPECT_EQ(ReadFile(root / "win/memo.txt"), old);
}

TEST_F(WineEndToEnd, TextThatCameAsUtf16ReachesFilesValidAndAnsiSettingsAreReadInTheirCodePage) {
  const std::string fffd = "\xEF\xBF\xBD";
  // Lone surrogates ("@": U+DCFF U+D800) in a UTF-16 settings file, and in the command line
  // (the probe passes the bytes FF FE as U+DCFF U+DCFE), become U+FFFD; the bytes of the
  // Linux arguments are kept. So does a pair cut at the end of a line that is too long.
  const std::string pad(1000, 'x');
  Settings("[setting]\nFileName={dir}/memo.txt\nMemoFormat=<@|%MEMO%>" + pad +
               "\xF0\x9F\x93\x9D\nShowDialog=0\n",
           [](const std::string& text) {
             std::u16string units = u"\uFEFF" + DecodeUtf8(text);
             return Utf16(units.replace(units.find(u'@'), 1, u"\xDCFF\xD800"), true);
           });
  EXPECT_EQ(RunWin("\xFF\xFE"), "");
  EXPECT_EQ(RunLinux({"\xFF\xFE"}), "");
  EXPECT_EQ(ReadFile(root / "win/memo.txt"),
            "<" + fffd + fffd + "|" + fffd + fffd + ">" + pad + fffd);
  EXPECT_EQ(ReadFile(root / "linux/memo.txt"), "<" + fffd + fffd + "|\xFF\xFE>" + pad + fffd);
  // So does the clipboard's text.
  Settings(
      "[setting]\nFileName={dir}/clip.txt\nAddFrom=clipboard\nShowDialog=0\n"
      "MemoFormat=%MEMO%\n");
  ASSERT_EQ(Shell(Feed("a\xFF", Probe("clip-set"))).Finish(), "");
  EXPECT_EQ(RunWin(""), "");
  EXPECT_EQ(ReadFile(root / "win/clip.txt"), "a" + fffd);

  // Shift-JIS "メモ" in a settings file saved in the code page of Japanese Windows names
  // the same file there; Linux keeps the bytes.
  Settings("[setting]\nFileName={dir}/\x83\x81\x83\x82.txt\nMemoFormat=%MEMO%\nShowDialog=0\n");
  EXPECT_EQ(Shell(WinCommand("memo", "", "", "ja_JP.UTF-8")).Finish(), "");
  EXPECT_EQ(RunLinux({"memo"}), "");
  EXPECT_EQ(ReadFile(root / "win/メモ.txt"), "memo");
  EXPECT_EQ(ReadFile(root / "linux/\x83\x81\x83\x82.txt"), "memo");
}

TEST_F(WineEndToEnd, ABoxStillAppearsInFrontOfAHungWindowOfAnotherProgram) {
  Settings("[setting]\nFileName={dir}/memo.txt\n");
  const fs::path pipe = root / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  Child hung = Shell(Probe("hang") + " <" + Quote(pipe));
  const int input = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(input, 0);
  ASSERT_EQ(hung.ReadLine(), "ready\n");
  // A box owned by the hung window would wait on it for ever.
  EXPECT_EQ(Shell(WinCommand("memo", "", "timeout 30 ")).Finish(), kSaved);
  ASSERT_EQ(::write(input, "\n", 1), 1);
  ::close(input);
  EXPECT_EQ(hung.Finish(), "");
}

TEST_F(WineEndToEnd, AClipboardHeldBrieflyIsWaitedForAndTextNeverReplacedUnread) {
  Settings("[setting]\nFileName=clipboard\nMemoFormat=<%MEMO%>\n");
  const std::string saved = "確認: クリップボードに保存しました。\n",
                    notSaved = "確認: クリップボードに保存できませんでした。\n";
  // What another program does once this program starts; what the run shows; what the
  // clipboard holds after.
  for (const auto& [other, box, after] :
       {std::tuple<std::string, std::string, std::string>{"clip-hold 1500", saved, "old<memo>"},
        {"clip-hold 5000", notSaved, "old"},
        {"clip-unrendered 3000", notSaved, "<none>"}}) {
    ASSERT_EQ(Shell(Feed("old", Probe("clip-set"))).Finish(), "");
    Child holder = Shell(Probe(other));
    ASSERT_EQ(holder.ReadLine(), "held\n");
    EXPECT_EQ(RunWin("memo"), box) << other;
    EXPECT_EQ(holder.Finish(), "");
    EXPECT_EQ(Shell(Probe("clip-get")).Finish(), after) << other;
  }
}

TEST_F(WineEndToEnd, AProgramPathLongerThanMaxPathFindsItsSettingsBesideIt) {
  const fs::path folder = root / "win" / std::string(120, 'd') / std::string(120, 'e');
  fs::create_directories(folder);
  fs::copy_file(root / "win/bin/jotlog.exe", folder / "jotlog.exe");
  ASSERT_GT(WinePath(folder / "jotlog.exe").size(), 260u);
  WriteFile(folder / "jotlog.ini", "[setting]\nFileName=" + WinePath(root / "win/memo.txt") +
                                       "\nMemoFormat=%MEMO%\nShowDialog=0\n");
  // Started by Wine itself: CreateProcessW refuses a program name this long.
  EXPECT_EQ(
      Shell("env -i PATH=/usr/bin:/bin LANG=C.UTF-8 " + Quote(Env("JOTLOG_WINE_DIR") + "/run") +
            " " + Quote(folder / "jotlog.exe") + " found 2>&1")
          .Finish(),
      "");
  EXPECT_EQ(ReadFile(root / "win/memo.txt"), "found");
}

TEST_F(WineEndToEnd, TheClipboardAsSourceAndDestination) {
  std::string display = ReadFile(Env("JOTLOG_WINE_DIR") + "/display");
  display.erase(display.find_last_not_of('\n') + 1);
  const std::string xclip = "DISPLAY=" + display + " xclip -selection clipboard ";
  Settings("[setting]\nAddFrom=clipboard\nFileName=clipboard\nMemoFormat=<%MEMO%>\\n\n");
  ASSERT_EQ(Shell(Feed("abc\r\n日本", Probe("clip-set"))).Finish(), "");
  EXPECT_EQ(RunWin("ignored"), "確認: クリップボードに保存しました。\n");
  EXPECT_EQ(Shell(Probe("clip-get")).Finish(), "abc\r\n日本<abc\r\n日本>\r\n");

  // Without text on it, the memo is empty and the entry alone goes on it. It is the
  // desktop's clipboard, with LF line ends there.
  ASSERT_EQ(Shell(Probe("clip-set-other")).Finish(), "");
  EXPECT_EQ(RunWin("ignored"), "確認: クリップボードに保存しました。\n");
  EXPECT_EQ(Shell(Probe("clip-get")).Finish(), "<>\r\n");
  EXPECT_EQ(Shell(xclip + "-o").Finish(), "<>\n");

  // Text copied on the desktop becomes the memo.
  ASSERT_EQ(Shell(Feed("von X", xclip + "-i >/dev/null 2>&1")).Finish(), "");
  Settings("[setting]\nAddFrom=clipboard\nFileName={dir}/memo.txt\nMemoFormat=%MEMO%\n");
  EXPECT_EQ(RunWin("ignored"), kSaved);
  EXPECT_EQ(ReadFile(root / "win/memo.txt"), "von X");
}

// The pictures of the table whose text differs between the two, in one language or in
// all (""), with the reason; every other row must agree. Each still differs there, or it
// would not be listed. All are where Wine departs from Windows.
const std::map<std::pair<std::string, std::u16string>, std::string> kKnownDifferences = {
    {{"", u"y"}, "Wine gives two digits; Windows documents one"},
    {{"C.UTF-8", u"g"}, "Wine's era is \"AD\" (Windows: \"A.D.\")"},
    {{"", u"gg"}, "Wine repeats the era for each letter"},
    {{"", u"ggg"}, "as gg"},
};

TEST(PictureDifferential, TheLinuxFormatterAgreesWithTheWindowsApi) {
  for (const std::string language : {"C.UTF-8", "ja_JP.UTF-8"}) {
    locale_t available = ::newlocale(LC_ALL_MASK, language.c_str(), static_cast<locale_t>(0));
    ASSERT_NE(available, static_cast<locale_t>(0)) << language << " is needed (locale-gen)";
    ::freelocale(available);

    std::istringstream windows(Shell(Probe("pictures", language)).Finish());
    ::setenv("LC_ALL", language.c_str(), 1);
    PosixPlatform linux;
    std::set<std::u16string> differing;
    for (const PictureCase& c : PictureCases()) {
      std::string wineText;
      ASSERT_TRUE(std::getline(windows, wineText)) << language;
      char16_t buffer[127];
      const int written = c.kind == PictureKind::kDate
                              ? linux.FormatDate(c.time, c.picture, buffer, 127)
                              : linux.FormatTime(c.time, c.picture, buffer, 127);
      const std::string linuxText = written > 0 ? EncodeUtf8(buffer) : "<failed>";
      if (kKnownDifferences.count({"", c.picture}) +
          kKnownDifferences.count({language, c.picture})) {
        if (linuxText != wineText) differing.insert(c.picture);
      } else {
        EXPECT_EQ(linuxText, wineText)
            << language << " " << EncodeUtf8(c.picture) << " " << c.time.year << "-" << c.time.month
            << "-" << c.time.day << " " << c.time.hour << ":" << c.time.minute;
      }
    }
    ::unsetenv("LC_ALL");
    for (const auto& [where, reason] : kKnownDifferences) {
      if (where.first.empty() || where.first == language) {
        EXPECT_EQ(differing.count(where.second), 1u) << language << " " << EncodeUtf8(where.second);
      }
    }
  }
}

}  // namespace
}  // namespace jotlog
