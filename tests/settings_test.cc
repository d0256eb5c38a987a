// The parser is checked against a separate reading of its rules by fuzz/settings_fuzz.cc,
// the default file's bytes and its handling on disk by the end-to-end tests.
#include <gtest/gtest.h>

#include "app/run.h"
#include "settings/default_settings.h"
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
  const std::u16string stored = u"[setting]FileName=x;k=one;k=two;empty=;[t]k=other section;";
  EXPECT_EQ(Dump(settings), stored);  // a miss without addIfMissing adds nothing
  EXPECT_EQ(settings.GetWithDefault(u"new", u"k", u"v", true), u"v");
  EXPECT_EQ(Dump(settings), stored + u"[new]k=v;");
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

TEST(DefaultSettings, TheDefaultFileReadsBackToTheBuiltInDefaults) {
  FakePlatform platform;
  EXPECT_EQ(WinMain(platform, u"abc"), 0);
  SettingsFile fromFile(platform, true), builtIn(platform, false);
  RecordMemo(platform, builtIn, u"abc");  // adds each default it reads
  ASSERT_EQ(fromFile.sections().size(), 1u);
  EXPECT_EQ(fromFile.sections().front().entries.size(), 6u);
  for (const auto& entry : fromFile.sections().front().entries) {
    EXPECT_EQ(builtIn.GetWithDefault(u"setting", entry.key, u"<none>", false), entry.value);
  }
}

TEST(DefaultSettings, AFolderThatRefusesTheFileLeavesTheSettingsToTheUsersOwn) {
  const std::u16string user = u"\\Users\\me\\jotlog\\memo.ini",
                       memo = u"\\My Documents\\jotlog.txt";
  enum { kNone, kMine, kUnreadable, kNoFolder };
  const std::tuple<bool, int, std::u16string, std::vector<std::u16string>> cases[] = {
      // the folder refuses, the user's file, the memo file, where the default text went
      {false, kMine, memo, {u"\\Program Files\\Memo\\memo.ini"}},  // as it always was
      {true, kNone, memo, {user}},
      {true, kUnreadable, memo, {}},  // not rewritten: the built-in defaults
      {true, kNoFolder, memo, {}},
  };
  for (const auto& [readOnly, userFile, memoFile, defaults] : cases) {
    FakePlatform platform;
    if (readOnly) platform.readOnlyFolders.insert(u"\\Program Files\\Memo");
    if (userFile == kNoFolder) platform.configFolder.clear();
    if (userFile == kMine || userFile == kUnreadable) {
      platform.files[user] = {u"[setting]\nFileName=u\n", userFile == kUnreadable};
    }
    WinMain(platform, u"x");
    std::vector<std::u16string> written;
    for (const auto& [name, file] : platform.files) {
      if (file.content == kDefaultSettingsText) written.push_back(name);
    }
    EXPECT_EQ(written, defaults) << readOnly << userFile;
    EXPECT_TRUE(platform.files[memoFile].content.ends_with(u"] x\r\n")) << userFile;
  }
}

}  // namespace
}  // namespace jotlog
