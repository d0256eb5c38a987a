#include <gtest/gtest.h>

#include <algorithm>

#include "app/run.h"
#include "settings/default_settings.h"
#include "settings/settings_file.h"
#include "tests/fake_platform.h"

namespace jotlog {
namespace {

const std::u16string kIni = u"\\Program Files\\Memo\\memo.ini";

TEST(BuildSettingsPath, ReplacesAThreeLetterExtensionOrAppendsOne) {
  const std::u16string cases[][2] = {
      {u"\\Program Files\\Memo\\memo.exe", kIni},
      {u"\\Storage Card\\Tools\\memo.EXE", u"\\Storage Card\\Tools\\memo.ini"},
      {u"/usr/local/bin/jotlog", u"/usr/local/bin/jotlog.ini"},
      {u"/opt/v1.2/jotlog", u"/opt/v1.2/jotlog.ini"},  // the dot is not in the file name
      {u"/opt/x.tar.gz", u"/opt/x.tar.gz.ini"},
      {u"/opt/a.b.c", u"/opt/a.b.c.ini"},
      {u"/.abc", u"/.ini"},
      {u"", u""},  // no program path: no settings path
  };
  for (const auto& [program, ini] : cases) {
    FakePlatform platform;
    platform.modulePath = program;
    EXPECT_EQ(BuildSettingsPath(platform), ini);
  }
}

// The loader's every rule is checked against a separate reading of them by
// fuzz/settings_fuzz.cc; these are the README's examples.
TEST(SettingsFileLoad, ParsesLinesIntoSectionsAndEntries) {
  const std::u16string long5000(5000, u'k'), long1023(1023, u'k');
  const std::u16string cases[][2] = {
      // file, store
      {u"top=1\n[setting]\nFileName=\na=b=c\n=x\nShowDialog\n",
       u"[]top=1;[setting]FileName=;a=b=c;=x;ShowDialog=ShowDialog;"},
      {u"[setting]\n key = v \n #c\n#c\n[ setting ]\n[Setting]\nk=v\n[setting]\nz",
       u"[setting] key = v ; #c= #c;z=z;[Setting]k=v;"},
      {u"[s]\n" + long5000 + u"\nnext=1\n", u"[s]" + long1023 + u"=" + long1023 + u";next=1;"},
  };
  for (const auto& [file, store] : cases) {
    FakePlatform platform;
    platform.files[kIni].content = file;
    SettingsFile settings(platform, true);
    EXPECT_EQ(settings.openFailed(), 0);
    EXPECT_EQ(Dump(settings), store);
  }
}

TEST(SettingsFileLoad, AMissingFileSetsOpenFailedAndLeavesTheStoreEmpty) {
  FakePlatform platform;
  SettingsFile settings(platform, true);
  EXPECT_EQ(settings.openFailed(), 1);
  settings.AddEntry(u"s", u"k", u"v");
  EXPECT_EQ(settings.Load(), 1);
  EXPECT_EQ(Dump(settings), u"");
}

TEST(DefaultSettings, AFirstStartWritesTheDefaultFileAndUsesIt) {
  FakePlatform platform;
  EXPECT_EQ(WinMain(platform, u"abc"), 0);
  EXPECT_EQ(platform.files[kIni].content, kDefaultSettingsText);
  EXPECT_EQ(platform.files[kIni].content.size(), 224u);
  EXPECT_EQ(platform.files[u"\\My Documents\\jotlog.txt"].content,
            u"[2024/03/07 08:05:09] abc\r\n");

  // It reads back to the very defaults the run would use without it.
  SettingsFile fromFile(platform, true), builtIn(platform, false);
  platform.files.erase(u"\\My Documents\\jotlog.txt");
  RecordMemo(platform, builtIn, u"abc");
  EXPECT_EQ(Dump(fromFile),
            u"[setting]FileName=\\My Documents\\jotlog.txt;AddFrom=arg;ShowDialog=1;"
            u"MemoFormat=[%DATE% %TIME%] %MEMO%\\n;DateFormat=yyyy/MM/dd;TimeFormat=HH:mm:ss;");
  for (const auto& entry : fromFile.sections().front().entries) {
    EXPECT_EQ(builtIn.GetWithDefault(u"setting", entry.key, u"", false), entry.value);
  }

  platform.calls.clear();
  EXPECT_EQ(WinMain(platform, u"again"), 0);
  EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "open x"), 0);
}

TEST(DefaultSettings, AnExistingFileIsNeverReplacedAndRefusalsFallBackToDefaults) {
  for (bool unreadable : {true, false}) {
    FakePlatform platform;
    platform.files[u"\\My Documents\\jotlog.txt"] = {};
    if (unreadable) {
      platform.files[kIni] = {u"[setting]\nShowDialog=0\n", true};
    } else {
      platform.canCreate = false;  // a folder that refuses new files
    }
    EXPECT_EQ(WinMain(platform, u"abc"), 0);
    const auto ini = platform.files.find(kIni);
    EXPECT_EQ(ini == platform.files.end() ? u"<none>" : ini->second.content,
              unreadable ? u"[setting]\nShowDialog=0\n" : u"<none>");
    EXPECT_EQ(platform.files[u"\\My Documents\\jotlog.txt"].content,
              u"[2024/03/07 08:05:09] abc\r\n");
    EXPECT_EQ(platform.boxes, std::vector<std::u16string>{u"確認: メモファイルに保存しました。"});
  }
}

}  // namespace
}  // namespace jotlog
