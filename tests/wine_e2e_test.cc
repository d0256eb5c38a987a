// The Windows program under Wine: the cases both programs share (e2e_cases.h), and what only
// Windows asks of it, through a probe of the tests' own (win_probe.cc). CTest (wine.cmake)
// gives JOTLOG_WINE_DIR (the build's Wine), JOTLOG_WIN_EXE and JOTLOG_PROBE.
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

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
  return std::regex_replace("Z:" + path.string(), std::regex("/"), "\\");
}

// `program` under the build's Wine in the language JOTLOG_LANG names, if any (Wine's user
// locale and the encoding of its Linux file names follow LANG).
std::string Wine(const std::string& program, const std::string& args) {
  return "env -i PATH=/usr/bin:/bin LANG=${JOTLOG_LANG:-C.UTF-8} " +
         Quote(Env("JOTLOG_WINE_DIR") + "/run") + " " + Quote(program) + " " + args + " 2>&1";
}

// A folder per test holding the Windows program in bin. Its documents folder is Wine's.
class WineEndToEnd : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    fs::create_directories(root / "bin");
    fs::copy_file(Env("JOTLOG_WIN_EXE"), root / "bin/jotlog.exe");
    fs::remove(Documents());
  }
  void TearDown() override {
    TempFolder::TearDown();
    fs::remove(Documents());
  }

  // Where "\My Documents\jotlog.txt" is for the Windows program (a link Wine made).
  static fs::path Documents() {
    for (const auto& user :
         fs::directory_iterator(Env("JOTLOG_WINE_DIR") + "/prefix/drive_c/users")) {
      if (user.path().filename() != "Public")
        return fs::canonical(user.path() / "Documents") / "jotlog.txt";
    }
    return {};
  }

  // The probe's run of the program, after the shell words `prefix`: its output, one
  // "caption: text" line per box.
  std::string Run() const {
    return Wine(Env("JOTLOG_PROBE"), "run " + Quote(WinePath(root / "bin/jotlog.exe")));
  }
  std::string RunWin(const std::string& commandLine, const std::string& prefix = "") const {
    return Shell("printf '%s\\n' " + Quote(commandLine) + " | (" + prefix + Run() + ")").Finish();
  }
  // `command` with a named pipe as its input, given `input`, once its first line of output
  // has come.
  std::pair<Child, int> Started(const std::string& name, const std::string& command,
                                const std::string& input, const std::string& first) const {
    EXPECT_EQ(::mkfifo((root / name).c_str(), 0600), 0);
    Child child = Shell(command + " <" + Quote(root / name));
    const int fd = ::open((root / name).c_str(), O_WRONLY | O_CLOEXEC);
    EXPECT_EQ(::write(fd, input.data(), input.size()), static_cast<ssize_t>(input.size()));
    EXPECT_EQ(child.ReadLine(), first) << command;
    return {child, fd};
  }
};

TEST_F(WineEndToEnd, TheCasesOfBothPrograms) {
  RunCases(
      System::kWindows, root, WinePath(root),
      [&](const std::string& name) { return name == "docs" ? Documents() : root / name; }, [] {},
      [&](const std::vector<std::string>& args, const std::string& prefix) {
        std::string commandLine;
        for (size_t i = 0; i < args.size(); ++i) commandLine += (i > 0 ? " " : "") + args[i];
        return RunWin(commandLine,
                      std::regex_replace(prefix, std::regex("\\{wine\\}"), Env("JOTLOG_WINE_DIR")));
      });
}

TEST_F(WineEndToEnd, TheBoxHoldsTheGuardAndAppearsInFrontOfAHungWindowOfAnotherProgram) {
  WriteFile(root / "bin/jotlog.ini", "[setting]\nFileName=" + WinePath(root / "memo.txt") + "\n");
  auto [hung, hungInput] = Started("hung", Wine(Env("JOTLOG_PROBE"), "hang"), "", "held\n");
  // A box owned by the hung window would wait on it for ever; this one waits for a line.
  auto [first, firstInput] = Started("first", "timeout 30 " + Run(), "first\n", kSaved);
  EXPECT_EQ(RunWin("second"), "");
  for (const int input : {firstInput, hungInput}) {
    EXPECT_EQ(::write(input, "\n", 1), 1);
    ::close(input);
  }
  EXPECT_EQ(first.Finish(), "");
  EXPECT_EQ(hung.Finish(), "");
  EXPECT_EQ(Contents(root / "memo.txt"), "[STAMP] first\r\n");
}

TEST_F(WineEndToEnd, AProgramPathLongerThanMaxPathFindsItsSettingsBesideIt) {
  const fs::path folder = root / std::string(120, 'd') / std::string(120, 'e');
  fs::create_directories(folder);
  fs::copy_file(root / "bin/jotlog.exe", folder / "jotlog.exe");
  ASSERT_GT(WinePath(folder / "jotlog.exe").size(), 260u);
  WriteFile(folder / "jotlog.ini", "[setting]\nFileName=" + WinePath(root / "memo.txt") +
                                       "\nMemoFormat=%MEMO%\nShowDialog=0\n");
  // Started by Wine itself: CreateProcessW refuses a program name this long.
  EXPECT_EQ(Shell(Wine(folder / "jotlog.exe", "found")).Finish(), "");
  EXPECT_EQ(ReadFile(root / "memo.txt"), "found");
}

// Pictures whose text Wine gives otherwise than Windows, in one language or in all (""):
// y (Wine gives two digits, Windows documents one), g in C.UTF-8 (Wine's era is "AD",
// Windows' "A.D."), gg and ggg (Wine repeats the era for each letter).
const std::set<std::pair<std::string, std::u16string>> kWineDeparts = {
    {"", u"y"}, {"C.UTF-8", u"g"}, {"", u"gg"}, {"", u"ggg"}};

TEST(PictureDifferential, TheLinuxFormatterAgreesWithTheWindowsApi) {
  for (const std::string language : {"C.UTF-8", "ja_JP.UTF-8"}) {
    locale_t available = ::newlocale(LC_ALL_MASK, language.c_str(), static_cast<locale_t>(0));
    ASSERT_NE(available, static_cast<locale_t>(0)) << language << " is needed (locale-gen)";
    ::freelocale(available);
    std::istringstream windows(
        Shell("JOTLOG_LANG=" + language + "; " + Wine(Env("JOTLOG_PROBE"), "pictures")).Finish());
    ::setenv("LC_ALL", language.c_str(), 1);
    PosixPlatform linux;
    for (const PictureCase& c : PictureCases()) {
      std::string wineText;
      ASSERT_TRUE(std::getline(windows, wineText)) << language;
      char16_t buffer[127];
      const int written = c.kind == PictureKind::kDate
                              ? linux.FormatDate(c.time, c.picture, buffer, 127)
                              : linux.FormatTime(c.time, c.picture, buffer, 127);
      if (kWineDeparts.count({"", c.picture}) + kWineDeparts.count({language, c.picture}) == 0) {
        EXPECT_EQ(written > 0 ? EncodeUtf8(buffer) : "<failed>", wineText)
            << language << " " << EncodeUtf8(c.picture) << " " << c.time.year << "-" << c.time.month
            << "-" << c.time.day << " " << c.time.hour;
      }
    }
    ::unsetenv("LC_ALL");
  }
}

}  // namespace
}  // namespace jotlog
