// The parser is checked against a separate reading of its rules by fuzz/settings_fuzz.cc,
// the default file's bytes and its handling on disk by the end-to-end tests.
#include <gtest/gtest.h>

#include "app/run.h"
#include "settings/settings_file.h"
#include "tests/fake_platform.h"

namespace jotlog {
namespace {

TEST(SettingsFile, LookupsAreExactAndTheFirstOfTwoEntriesCounts) {
  FakePlatform platform;
  SettingsFile settings(platform, false);
  settings.AddEntry(u"setting", u"FileName", u"x");
  settings.AddEntry(u"t", u"k", u"other section");
  settings.AddEntry(u"setting", u"k", u"one");  // the earlier section continues
  settings.AddEntry(u"setting", u"k", u"two");
  settings.AddEntry(u"setting", u"empty", u"");
  const std::u16string cases[][3] = {
      // section, key, value found ("none": the default)
      {u"setting", u"k", u"one"},          {u"setting", u"empty", u""},
      {u"Setting", u"FileName", u"none"},  {u"setting", u"filename", u"none"},
      {u"setting", u"FileName ", u"none"}, {u" setting", u"FileName", u"none"},
      {u"other", u"k", u"none"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(settings.GetWithDefault(c[0], c[1], u"none", false), c[2]);
  }
}

TEST(BuildSettingsPath, ReplacesAThreeLetterExtensionOrAppendsOne) {
  const std::u16string cases[][2] = {
      {u"\\Program Files\\Memo\\memo.exe", u"\\Program Files\\Memo\\memo.ini"},
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

// Where the program's folder refuses the file and the user's own cannot be read or made,
// nothing is written but the memo, by the built-in defaults. Where the user's file can be
// had, the end-to-end tests follow it.
TEST(DefaultSettings, WithoutAUsableSettingsFileTheBuiltInDefaultsServe) {
  const std::u16string user = u"\\Users\\me\\jotlog\\memo.ini", mine = u"[setting]\nFileName=u\n";
  for (bool noFolder : {false, true}) {
    FakePlatform platform;
    platform.readOnlyFolders.insert(u"\\Program Files\\Memo");
    if (noFolder) platform.configFolder.clear();
    if (!noFolder) platform.files[user] = {mine, true};
    EXPECT_EQ(WinMain(platform, u"x"), 0);
    EXPECT_EQ(platform.files.size(), noFolder ? 1u : 2u);
    EXPECT_EQ(platform.files[user].content, noFolder ? u"" : mine);
    EXPECT_EQ(platform.files[u"\\My Documents\\jotlog.txt"].content,
              u"[2024/03/07 08:05:09] x\r\n");
    EXPECT_EQ(platform.boxes, std::vector<std::u16string>{u"確認: メモファイルに保存しました。"});
  }
}

}  // namespace
}  // namespace jotlog
