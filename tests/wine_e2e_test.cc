// The Windows program under Wine, through win_probe.cc: the shared cases and Windows' own.
// CTest (wine.cmake) gives JOTLOG_WINE_DIR (the build's Wine), JOTLOG_WIN_EXE, JOTLOG_PROBE.
#include <algorithm>
#include <clocale>

#include "platform/posix/platform_posix.h"
#include "tests/e2e_cases.h"
#include "tests/picture_table.h"
#include "text/utf.h"

namespace jotlog {
namespace {

using namespace test;

std::string Env(const char* name) { return std::getenv(name) != nullptr ? std::getenv(name) : ""; }

// The name Wine gives a path of this machine.
std::string WinePath(const fs::path& path) {
  return std::regex_replace("Z:" + path.string(), std::regex("/"), "\\");
}

// `program` under the build's Wine in the locale JOTLOG_LANG names, if any (Wine's locale
// and the encoding of its Linux file names follow LANG), and the user interface language of
// JOTLOG_UI, else of JOTLOG_LANG, else Japanese (Wine's follows LC_MESSAGES).
std::string Wine(const std::string& program, const std::string& args) {
  return "env -i PATH=/usr/bin:/bin LANG=${JOTLOG_LANG:-C.UTF-8} "
         "LC_MESSAGES=${JOTLOG_UI:-${JOTLOG_LANG:-ja_JP.UTF-8}} " +
         Quote(Env("JOTLOG_WINE_DIR") + "/run") + " " + Quote(program) + " " + args + " 2>&1";
}

// A folder per test holding the Windows program in bin.
class WineEndToEnd : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    fs::create_directories(root / "bin");
    fs::copy_file(Env("JOTLOG_WIN_EXE"), root / "bin/jotlog.exe");
  }
  // The probe's run of the program (`hung`: behind a hung window): a "caption: text" per box.
  std::string Run(const std::string& hung = "") const {
    return Wine(Env("JOTLOG_PROBE"), "run " + Quote(WinePath(root / "bin/jotlog.exe")) + hung);
  }
  std::string RunWin(const std::string& commandLine, const std::string& prefix = "") const {
    return Shell("printf '%s\\n' " + Quote(commandLine) + " | (" + prefix + Run() + ")").Finish();
  }
};

TEST_F(WineEndToEnd, TheCasesOfBothPrograms) {
  // Wine's documents folder is a link to the home folder of the build's Wine.
  const fs::path documents = Env("JOTLOG_WINE_DIR") + "/home/jotlog.txt";
  // The file of unsaved memos, in the Local Application Data of Wine's user.
  fs::path kept;
  std::string keptName;
  for (const auto& user :
       fs::directory_iterator(Env("JOTLOG_WINE_DIR") + "/prefix/drive_c/users")) {
    if (user.path().filename() == "Public") continue;
    kept = user.path() / "AppData/Local/jotlog/unsaved.txt";
    keptName =
        "C:\\users\\" + user.path().filename().string() + "\\AppData\\Local\\jotlog\\unsaved.txt";
  }
  RunCases(
      System::kWindows, root, WinePath(root), keptName,
      [&](const std::string& name) {
        return name == "docs" ? documents : name == "kept" ? kept : root / name;
      },
      [] {},
      [&](const std::vector<std::string>& args, const std::string& prefix) {
        std::string commandLine;
        for (size_t i = 0; i < args.size(); ++i) commandLine += (i > 0 ? " " : "") + args[i];
        return RunWin(commandLine, prefix);
      });
}

TEST_F(WineEndToEnd, TheBoxSpeaksForABurstOfStartsAndAppearsInFrontOfAHungWindow) {
  WriteFile(root / "bin/jotlog.ini", "[setting]\nFileName=" + WinePath(root / "memo.txt") +
                                         "\nAddFrom=clipboard\nMemoFormat=<%MEMO%>\n");
  // Copied on Wine's display, whose clipboard Wine's desktop shares.
  auto copy = [](const std::string& text) {
    Shell("printf %s " + Quote(text) + " | DISPLAY=$(cat " + Env("JOTLOG_WINE_DIR") +
          "/display) xclip -sel c >/dev/null 2>&1; sleep 0.3")
        .Finish();
  };
  copy("first");
  // A box owned by the hung window would wait on it for ever; this one stays till input ends.
  Child first = Shell("(echo; sleep 20) | timeout 45 " + Run(" hung"));
  ASSERT_EQ(first.ReadLine(), kSaved);
  // Starts meanwhile record their memos, in order, and leave the open box to speak for them.
  std::string memos = "<first>";
  for (const std::string text : {"1", "2", "3", "4", "5", "6", "7", "8"}) {
    copy(text);
    EXPECT_EQ(RunWin(""), "") << text;
    memos += "<" + text + ">";
  }
  EXPECT_EQ(first.Finish(), "");
  EXPECT_EQ(Contents(root / "memo.txt"), memos);
}

TEST_F(WineEndToEnd, AProgramFindsItsSettingsBesideItWhateverItsFolderIsNamed) {
  // A path longer than MAX_PATH; a name that %NAME% would turn into another folder's, whose
  // settings are not the program's.
  WriteFile(root / "pcWindows_NTq/jotlog.ini",
            "[setting]\nFileName=" + WinePath(root / "other.txt") +
                "\nMemoFormat=%MEMO%\nShowDialog=0\n");
  for (const fs::path& folder :
       {root / std::string(120, 'd') / std::string(120, 'e'), root / "pc%OS%q"}) {
    fs::create_directories(folder);
    fs::copy_file(root / "bin/jotlog.exe", folder / "jotlog.exe");
    WriteFile(folder / "jotlog.ini", "[setting]\nFileName=" + WinePath(root / "memo.txt") +
                                         "\nMemoFormat=%MEMO%\nShowDialog=0\n");
    // The long one started by Wine itself: CreateProcessW refuses a program name this long.
    const std::string run =
        folder.filename() == "pc%OS%q"
            ? "echo found | " +
                  Wine(Env("JOTLOG_PROBE"), "run " + Quote(WinePath(folder / "jotlog.exe")))
            : Wine(folder / "jotlog.exe", "found");
    EXPECT_EQ(Shell(run).Finish(), "") << folder;
    EXPECT_EQ(Contents(root / "memo.txt"), "found") << folder;
    EXPECT_EQ(Contents(root / "other.txt"), "<absent>") << folder;
    fs::remove(root / "memo.txt");
  }
  ASSERT_GT(WinePath(root / std::string(120, 'd') / std::string(120, 'e') / "jotlog.exe").size(),
            260u);
}

TEST_F(WineEndToEnd, ACopyUnderProgramFilesNeverGetsSettingsBesideItWhateverTheSpelling) {
  // Wine's user may write anywhere in its prefix, as an administrator may.
  const fs::path drive = Env("JOTLOG_WINE_DIR") + "/prefix/drive_c";
  const fs::path folder = drive / "Program Files/jotlog-e2e";
  fs::create_directories(folder);
  fs::copy_file(root / "bin/jotlog.exe", folder / "jotlog-e2e.exe",
                fs::copy_options::overwrite_existing);
  std::vector<fs::path> own;  // the user's own settings file, in Application Data
  for (const auto& user : fs::directory_iterator(drive / "users"))
    if (user.path().filename() != "Public")
      own.push_back(user.path() / "AppData/Roaming/jotlog/jotlog-e2e.ini");
  const std::string shortName =
      Shell(Wine(Env("JOTLOG_PROBE"), "short 'C:\\Program Files'")).Finish();
  ASSERT_EQ(shortName.find("exit"), std::string::npos);
  // Its usual name, the short one, the \\?\ form, and the same folder through drive Z:.
  const std::string programs[] = {
      "C:\\Program Files\\jotlog-e2e\\jotlog-e2e.exe", shortName + "\\jotlog-e2e\\jotlog-e2e.exe",
      "\\\\?\\C:\\Program Files\\jotlog-e2e\\jotlog-e2e.exe", WinePath(folder / "jotlog-e2e.exe")};
  for (const std::string& program : programs) {
    for (const fs::path& file : own) fs::remove(file);
    EXPECT_EQ(
        Shell("printf 'x\\n' | " + Wine(Env("JOTLOG_PROBE"), "run " + Quote(program))).Finish(),
        kSaved)
        << program;
    EXPECT_FALSE(fs::exists(folder / "jotlog-e2e.ini")) << program;
    EXPECT_TRUE(std::any_of(own.begin(), own.end(), [](const fs::path& f) {
      return fs::exists(f);
    })) << program;
    fs::remove(folder / "jotlog-e2e.ini");
  }
  fs::remove_all(folder);
  for (const fs::path& file : own) fs::remove(file);
}

TEST(PictureDifferential, TheLinuxFormatterAgreesWithTheWindowsApi) {
  for (const std::string language : {"C.UTF-8", "ja_JP.UTF-8"}) {
    ASSERT_NE(std::setlocale(LC_ALL, language.c_str()), nullptr) << language << " is needed";
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
      // Wine departs from Windows in y (two digits; Windows documents one), gg and ggg (the
      // era once for each letter), and g in C.UTF-8 (its era is "AD", Windows' "A.D.").
      if (c.picture != u"y" && c.picture != u"gg" && c.picture != u"ggg" &&
          (c.picture != u"g" || language != "C.UTF-8")) {
        EXPECT_EQ(written > 0 ? EncodeUtf8(buffer) : "<failed>", wineText)
            << language << " " << EncodeUtf8(c.picture) << " " << c.time.year << "-" << c.time.month
            << "-" << c.time.day << " " << c.time.hour;
      }
    }
    ::unsetenv("LC_ALL");
    std::setlocale(LC_ALL, "C");
  }
}

}  // namespace
}  // namespace jotlog
