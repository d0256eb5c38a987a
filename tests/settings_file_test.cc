#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "tests/fake_platform.h"

namespace jotlog {
namespace {

TEST(SettingsFile, GetWithDefaultAddsMissesAndReturnsTheRightObject) {
  FakePlatform platform;
  SettingsFile settings(platform, false);
  const std::u16string arg = u"arg", path = u"\\My Documents\\jotlog.txt", one = u"1";
  EXPECT_EQ(&settings.GetWithDefault(u"setting", u"AddFrom", arg, true), &arg);
  settings.GetWithDefault(u"setting", u"FileName", path, true);
  EXPECT_EQ(Dump(settings), u"[setting]AddFrom=arg;FileName=\\My Documents\\jotlog.txt;");

  // Now a hit: the store's own object, and nothing is added.
  const std::u16string& again = settings.GetWithDefault(u"setting", u"AddFrom", arg, true);
  EXPECT_NE(&again, &arg);
  EXPECT_EQ(again, u"arg");
  // Without addIfMissing a miss adds nothing, not even the section.
  EXPECT_EQ(&settings.GetWithDefault(u"other", u"ShowDialog", one, false), &one);
  // A stored empty value is a hit.
  settings.AddEntry(u"setting", u"ShowDialog", u"");
  EXPECT_EQ(settings.GetWithDefault(u"setting", u"ShowDialog", one, true), u"");
  EXPECT_EQ(Dump(settings),
            u"[setting]AddFrom=arg;FileName=\\My Documents\\jotlog.txt;ShowDialog=;");
}

TEST(SettingsFile, DuplicatesAreKeptAndOnlyTheFirstIsReadOrChanged) {
  FakePlatform platform;
  SettingsFile settings(platform, false);
  settings.AddEntry(u"s", u"k", u"one");
  settings.AddEntry(u"t", u"x", u"y");
  settings.AddEntry(u"s", u"k", u"two");
  EXPECT_EQ(settings.Get(u"s", u"k"), u"one");
  EXPECT_EQ(settings.Set(u"s", u"k", u"new", true), 0);
  EXPECT_EQ(settings.Set(u"s", u"k", u"new", false), 1);
  EXPECT_EQ(settings.Set(u"s", u"missing", u"m", true), 1);  // appended despite noOverwrite
  EXPECT_EQ(settings.Set(u"u", u"k", u"v", true), 1);        // section appended first
  EXPECT_EQ(Dump(settings), u"[s]k=new;k=two;missing=m;[t]x=y;[u]k=v;");
}

TEST(SettingsFile, LookupsAreExact) {
  FakePlatform platform;
  SettingsFile settings(platform, false);
  settings.AddEntry(u"setting", u"FileName", u"x");
  settings.AddEntry(u"", u"", u"empty");
  const std::u16string none = u"none";
  for (const auto& [section, key] : {std::pair{u"Setting", u"FileName"},
                                     {u"setting", u"filename"},
                                     {u"setting", u"FileName "},
                                     {u" setting", u"FileName"}}) {
    EXPECT_EQ(&settings.GetWithDefault(section, key, none, false), &none);
  }
  EXPECT_EQ(settings.GetWithDefault(u"", u"", none, false), u"empty");
}

TEST(SettingsFile, MissesRaiseWithTheirMessageCutToItsBuffer) {
  FakePlatform platform;
  SettingsFile settings(platform, false);
  settings.AddEntry(u"setting", u"a", u"b");
  auto messageOf = [&](const std::u16string& section, const std::u16string& key) {
    try {
      settings.Get(section, key);
    } catch (const NotFoundError& e) {
      return e.message();
    }
    return std::u16string(u"<found>");
  };
  EXPECT_EQ(messageOf(u"other", u"a"), u"セクション[other]が見つかりません。");
  EXPECT_EQ(messageOf(u"setting", u"FileName"), u"キー[FileName]が見つかりません。");
  EXPECT_EQ(messageOf(std::u16string(495, u'x'), u"a").size(), 511u);
  EXPECT_EQ(messageOf(u"setting", std::u16string(100000, u'x')).size(), 511u);
  EXPECT_THROW(settings.FindOrAddSection(u"other", false), NotFoundError);
  EXPECT_EQ(Dump(settings), u"[setting]a=b;");

  settings.Clear();
  EXPECT_EQ(Dump(settings), u"");
  EXPECT_EQ(messageOf(u"setting", u"a"), u"セクション[setting]が見つかりません。");
}

}  // namespace
}  // namespace jotlog
