// The Windows program under Wine: the cases both programs share (e2e_cases.h), and what
// only Windows asks of it. A probe of the tests' own (win_probe.cc) starts each Windows
// program, reads and dismisses its message boxes, and works the clipboard as a Windows
// program does.
//
// CTest (tests/wine.cmake) gives the paths: JOTLOG_WINE_DIR (the build's Wine, started
// with its display by the fixture), JOTLOG_WIN_EXE and JOTLOG_PROBE.
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <tuple>

#include "platform/platform_posix.h"
#include "platform/utf.h"
#include "tests/e2e_cases.h"
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
  return "printf %s " + Quote(input) + " | (" + command + ")";
}

// A folder per test holding the Windows program in bin. Its documents folder is Wine's.
class WineEndToEnd : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    fs::create_directories(root / "bin");
    fs::copy_file(Env("JOTLOG_WIN_EXE"), root / "bin/jotlog.exe");
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

  // What the program showed, one "caption: text" line per box, started by the probe with
  // the command line "PROGRAM" `tail` after the shell words `prefix`.
  std::string RunWin(const std::string& tail, const std::string& prefix = "",
                     const std::string& language = "C.UTF-8") const {
    return Shell(Feed(tail + "\n", prefix + Probe("run " + Program(), language))).Finish();
  }
  std::string Program() const { return Quote(WinePath(root / "bin/jotlog.exe")); }
  // "{dir}" is this folder as Windows names it.
  void Settings(const std::string& text) const {
    WriteFile(root / "bin/jotlog.ini",
              std::regex_replace(text, std::regex("\\{dir\\}"), WinePath(root)));
  }
};

TEST_F(WineEndToEnd, TheCasesOfBothPrograms) {
  RunCases(
      System::kWindows, root, WinePath(root),
      [&](const std::string& name) { return name == "docs" ? WineDocuments() : root / name; },
      [] {},
      [&](const std::vector<std::string>& args, const std::string& prefix) {
        std::string tail;
        for (size_t i = 0; i < args.size(); ++i) tail += (i > 0 ? " " : "") + args[i];
        return RunWin(tail, prefix);
      });
}

TEST_F(WineEndToEnd, ASecondStartWhileTheFirstShowsItsBoxEndsAtOnce) {
  Settings("[setting]\nFileName={dir}/memo.txt\n");
  // The first run's box stays open until the probe reads a line from the pipe.
  const fs::path pipe = root / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  Child first = Shell(Probe("run --hold " + Program()) + " <" + Quote(pipe));
  const int input = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(input, 0);
  ASSERT_EQ(::write(input, "first\n", 6), 6);
  ASSERT_EQ(first.ReadLine(), kSaved);
  EXPECT_EQ(RunWin("second"), "");
  ASSERT_EQ(::write(input, "\n", 1), 1);
  ::close(input);
  EXPECT_EQ(first.Finish(), "");
  EXPECT_EQ(Contents(root / "memo.txt"), "[STAMP] first\r\n");
}

TEST_F(WineEndToEnd, AppendsFromProcessesThatBypassTheGuardNeverMix) {
  // Entries this large mix under Wine when the handle lets others write meanwhile.
  std::vector<Child> writers;
  for (const char* mark : {"a", "b", "c"}) {
    writers.push_back(Shell(Probe("append " + Quote(WinePath(root / "memo.txt")) + " " + mark)));
  }
  for (Child& writer : writers) EXPECT_EQ(writer.Finish(), "");
  std::istringstream lines(ReadFile(root / "memo.txt"));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_EQ(line.size(), 4000000u);
    ASSERT_EQ(line.find_first_not_of(line[0]), std::string::npos);
  }
  EXPECT_EQ(count, 12);
}

TEST_F(WineEndToEnd, AnsiSettingsAreReadInTheirCodePageAndMemoryRunningOutIsAFailure) {
  // Shift-JIS "メモ" in a settings file saved in the code page of Japanese Windows.
  Settings("[setting]\nFileName={dir}/\x83\x81\x83\x82.txt\nMemoFormat=%MEMO%\nShowDialog=0\n");
  EXPECT_EQ(RunWin("memo", "", "ja_JP.UTF-8"), "");
  EXPECT_EQ(ReadFile(root / "メモ.txt"), "memo");
  // 8 MB copied, 170 times in the entry, in an address space that holds Wine (1.7 GB of
  // it) and little more.
  ASSERT_EQ(Shell("head -c 8000000 /dev/zero | tr '\\0' x | " + Probe("clip-set")).Finish(), "");
  Settings("[setting]\nFileName={dir}/memo.txt\nAddFrom=clipboard\nMemoFormat=" +
           std::regex_replace(std::string(170, '@'), std::regex("@"), "%MEMO%") + "\n");
  EXPECT_EQ(RunWin("", "ulimit -v 2500000; "), kNotSaved);
  EXPECT_FALSE(fs::exists(root / "memo.txt"));
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
  EXPECT_EQ(RunWin("memo", "timeout 30 "), kSaved);
  ASSERT_EQ(::write(input, "\n", 1), 1);
  ::close(input);
  EXPECT_EQ(hung.Finish(), "");
}

TEST_F(WineEndToEnd, TheClipboardAsSourceAndDestinationAndHeldByAnotherProgram) {
  std::string display = ReadFile(Env("JOTLOG_WINE_DIR") + "/display");
  display.erase(display.find_last_not_of('\n') + 1);
  const std::string xclip = "DISPLAY=" + display + " xclip -selection clipboard ";
  const std::string to = "[setting]\nFileName=clipboard\nMemoFormat=<%MEMO%>\n",
                    both = to + "AddFrom=clipboard\n",
                    toFile =
                        "[setting]\nAddFrom=clipboard\nFileName={dir}/memo.txt\n"
                        "MemoFormat=%MEMO%\nShowDialog=0\n",
                    old = Feed("old", Probe("clip-set"));
  // How the clipboard is set, what another program does meanwhile, the settings, what the
  // run shows, then the clipboard (as X sees it too, with LF line ends, when the run put
  // it there) and the memo file.
  const std::tuple<std::string, std::string, std::string, std::string, std::string, std::string>
      cases[] = {
          {Feed("abc\r\n日本", Probe("clip-set")), "", both, kClipboardSaved,
           "abc\r\n日本<abc\r\n日本>", "<absent>"},
          // Without text on it, the memo is empty and the entry alone goes on it.
          {Probe("clip-set-other"), "", both, kClipboardSaved, "<>", "<absent>"},
          {"printf 'a\\nb' | " + xclip + "-i >/dev/null 2>&1", "", toFile, "", "a\r\nb", "a\r\nb"},
          // U+DCFF, which the probe shows as the byte it came from
          {Feed("a\xFF", Probe("clip-set")), "", toFile, "", "a\xFF", "a\xEF\xBF\xBD"},
          // Held for a while, for too long, or with text never rendered when asked for.
          {old, "clip-hold 1500", to, kClipboardSaved, "old<memo>", "<absent>"},
          {old, "clip-hold 5000", to, kClipboardNotSaved, "old", "<absent>"},
          {old, "clip-unrendered 3000", to, kClipboardNotSaved, "<none>", "<absent>"},
      };
  for (const auto& [set, other, settings, shown, clipboard, file] : cases) {
    fs::remove(root / "memo.txt");
    ASSERT_EQ(Shell(set).Finish(), "");
    Settings(settings);
    Child holder = Shell(other.empty() ? "echo held" : Probe(other));
    ASSERT_EQ(holder.ReadLine(), "held\n");
    EXPECT_EQ(RunWin("memo"), shown) << set << other;
    EXPECT_EQ(holder.Finish(), "");
    EXPECT_EQ(Shell(Probe("clip-get")).Finish(), clipboard) << set << other;
    if (shown == kClipboardSaved) {
      EXPECT_EQ(Shell(xclip + "-o").Finish(), std::regex_replace(clipboard, std::regex("\r"), ""));
    }
    EXPECT_EQ(Contents(root / "memo.txt"), file) << set;
  }
}

TEST_F(WineEndToEnd, AProgramPathLongerThanMaxPathFindsItsSettingsBesideIt) {
  const fs::path folder = root / std::string(120, 'd') / std::string(120, 'e');
  fs::create_directories(folder);
  fs::copy_file(root / "bin/jotlog.exe", folder / "jotlog.exe");
  ASSERT_GT(WinePath(folder / "jotlog.exe").size(), 260u);
  WriteFile(folder / "jotlog.ini", "[setting]\nFileName=" + WinePath(root / "memo.txt") +
                                       "\nMemoFormat=%MEMO%\nShowDialog=0\n");
  // Started by Wine itself: CreateProcessW refuses a program name this long.
  EXPECT_EQ(
      Shell("env -i PATH=/usr/bin:/bin LANG=C.UTF-8 " + Quote(Env("JOTLOG_WINE_DIR") + "/run") +
            " " + Quote(folder / "jotlog.exe") + " found 2>&1")
          .Finish(),
      "");
  EXPECT_EQ(ReadFile(root / "memo.txt"), "found");
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
