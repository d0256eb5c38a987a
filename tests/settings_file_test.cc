#include "settings/settings_file.h"

#include <gtest/gtest.h>

namespace jotlog {
namespace {

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

Pairs EntriesOf(const SettingsSection& section) {
  Pairs pairs;
  for (const auto& e : section.entries) pairs.emplace_back(e.key, e.value);
  return pairs;
}

std::vector<std::u16string> SectionNames(const SettingsFile& settings) {
  std::vector<std::u16string> names;
  for (const auto& s : settings.sections()) names.push_back(s.name);
  return names;
}

TEST(SettingsFile, GetWithDefaultAddsMissesAndReturnsTheRightObject) {
  SettingsFile settings;
  const std::u16string arg = u"arg";
  const std::u16string& first = settings.GetWithDefault(u"setting", u"AddFrom", arg, true);
  EXPECT_EQ(&first, &arg);  // a miss yields the caller's own default

  const std::u16string path = u"\\My Documents\\jotlog.txt";
  settings.GetWithDefault(u"setting", u"FileName", path, true);
  ASSERT_EQ(SectionNames(settings), std::vector<std::u16string>{u"setting"});
  EXPECT_EQ(EntriesOf(settings.sections().front()),
            (Pairs{{u"AddFrom", u"arg"}, {u"FileName", path}}));

  const std::u16string& again = settings.GetWithDefault(u"setting", u"AddFrom", arg, true);
  EXPECT_NE(&again, &arg);  // now a hit: the store's own value
  EXPECT_EQ(again, u"arg");
  EXPECT_EQ(settings.sections().front().entries.size(), 2u);
}

TEST(SettingsFile, MissWithoutAddLeavesTheStoreUntouched) {
  SettingsFile settings;
  const std::u16string fallback = u"1";
  EXPECT_EQ(&settings.GetWithDefault(u"setting", u"ShowDialog", fallback, false), &fallback);
  EXPECT_TRUE(settings.sections().empty());
}

TEST(SettingsFile, AStoredEmptyValueIsAHit) {
  SettingsFile settings;
  settings.AddEntry(u"setting", u"ShowDialog", u"");
  EXPECT_EQ(settings.GetWithDefault(u"setting", u"ShowDialog", u"1", true), u"");
  EXPECT_EQ(settings.sections().front().entries.size(), 1u);
}

TEST(SettingsFile, DuplicateKeysAreKeptAndOnlyTheFirstIsReadOrChanged) {
  SettingsFile settings;
  settings.AddEntry(u"s", u"k", u"one");
  settings.AddEntry(u"s", u"k", u"two");
  EXPECT_EQ(settings.Get(u"s", u"k"), u"one");
  EXPECT_EQ(settings.Set(u"s", u"k", u"new", true), 0);
  EXPECT_EQ(settings.Set(u"s", u"k", u"new", false), 1);
  EXPECT_EQ(EntriesOf(settings.sections().front()), (Pairs{{u"k", u"new"}, {u"k", u"two"}}));
  // A missing key is appended even with noOverwrite; a missing section comes first.
  EXPECT_EQ(settings.Set(u"s", u"other", u"x", true), 1);
  EXPECT_EQ(settings.Set(u"t", u"k", u"y", true), 1);
  EXPECT_EQ(SectionNames(settings), (std::vector<std::u16string>{u"s", u"t"}));
  EXPECT_EQ(EntriesOf(settings.sections().front()).back(),
            (std::pair<std::u16string, std::u16string>{u"other", u"x"}));
}

TEST(SettingsFile, SectionsMergeInOrderOfFirstNaming) {
  SettingsFile settings;
  settings.AddEntry(u"A", u"1", u"a");
  settings.AddEntry(u"B", u"2", u"b");
  settings.AddEntry(u"A", u"3", u"c");
  ASSERT_EQ(SectionNames(settings), (std::vector<std::u16string>{u"A", u"B"}));
  EXPECT_EQ(EntriesOf(settings.sections().front()), (Pairs{{u"1", u"a"}, {u"3", u"c"}}));
}

TEST(SettingsFile, LookupsAreExact) {
  SettingsFile settings;
  settings.AddEntry(u"setting", u"FileName", u"x");
  settings.AddEntry(u"", u"", u"empty");
  const std::u16string fallback = u"default";
  EXPECT_EQ(settings.GetWithDefault(u"Setting", u"FileName", fallback, false), u"default");
  EXPECT_EQ(settings.GetWithDefault(u"setting", u"filename", fallback, false), u"default");
  EXPECT_EQ(settings.GetWithDefault(u"setting", u"FileName ", fallback, false), u"default");
  EXPECT_EQ(settings.GetWithDefault(u"setting", u"FileName", fallback, false), u"x");
  EXPECT_EQ(settings.GetWithDefault(u"", u"", fallback, false), u"empty");
}

TEST(SettingsFile, MissesRaiseWithTheirOwnMessage) {
  SettingsFile settings;
  settings.AddEntry(u"setting", u"a", u"b");
  try {
    settings.Get(u"other", u"a");
    FAIL() << "a missing section must raise";
  } catch (const NotFoundError& e) {
    EXPECT_EQ(e.message(), u"セクション[other]が見つかりません。");
  }
  try {
    settings.Get(u"setting", u"FileName");
    FAIL() << "a missing key must raise";
  } catch (const NotFoundError& e) {
    EXPECT_EQ(e.message(), u"キー[FileName]が見つかりません。");
  }
  EXPECT_THROW(settings.FindOrAddSection(u"other", false), NotFoundError);
  EXPECT_EQ(settings.sections().size(), 1u);
}

TEST(SettingsFile, MessagesAreCutToTheirBuffer) {
  const std::u16string fits(495, u'x');
  EXPECT_EQ(NotFoundError(u"セクション[%s]が見つかりません。", fits).message().size(), 511u);
  const std::u16string tooLong(100000, u'x');
  const std::u16string message = NotFoundError(u"キー[%s]が見つかりません。", tooLong).message();
  EXPECT_EQ(message.size(), 511u);
  EXPECT_EQ(message.substr(0, 4), u"キー[x");
}

TEST(SettingsFile, ClearEmptiesTheStore) {
  SettingsFile settings;
  settings.AddEntry(u"setting", u"a", u"b");
  settings.Clear();
  EXPECT_TRUE(settings.sections().empty());
  EXPECT_EQ(settings.openFailed(), 0);
  EXPECT_EQ(settings.GetWithDefault(u"setting", u"a", u"none", false), u"none");
}

}  // namespace
}  // namespace jotlog
