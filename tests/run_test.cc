#include "app/run.h"

#include <gtest/gtest.h>

#include <tuple>

#include "settings/keys.h"
#include "tests/fake_platform.h"

namespace jotlog {
namespace {

const std::u16string kDefaultMemoFile = u"\\My Documents\\jotlog.txt";
const std::u16string kSavedBox = u"メモファイルに保存しました。";
const std::u16string kFailedBox = u"メモファイルに保存できませんでした。";

std::vector<std::u16string> KeysOf(const SettingsFile& settings) {
  std::vector<std::u16string> keys;
  for (const auto& e : settings.sections().front().entries) keys.push_back(e.key);
  return keys;
}

class RunTest : public ::testing::Test {
 protected:
  void Record(const std::u16string& commandLine) { RecordMemo(platform, settings, commandLine); }
  void Store(const char16_t* key, const std::u16string& value) {
    settings.AddEntry(keys::kSection, key, value);
  }
  std::vector<std::u16string> BoxTexts() const {
    std::vector<std::u16string> texts;
    for (const auto& box : platform.boxes) {
      EXPECT_EQ(box.caption, u"確認");
      texts.push_back(box.text);
    }
    return texts;
  }

  FakePlatform platform;
  SettingsFile settings;
};

TEST_F(RunTest, SuccessReadsEverySettingInOrderAndClosesBeforeTheBox) {
  Record(u"buy milk");
  EXPECT_EQ(platform.files[kDefaultMemoFile].content, u"[2024/03/07 08:05:09] buy milk\r\n");
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{kSavedBox});
  EXPECT_EQ(KeysOf(settings),
            (std::vector<std::u16string>{u"AddFrom", u"MemoFormat", u"DateFormat", u"TimeFormat",
                                         u"FileName", u"ShowDialog"}));
  EXPECT_EQ(platform.calls,
            (std::vector<std::string>{"clock", "date", "time", "open a", "close", "flush", "box"}));
}

TEST_F(RunTest, TheCommandLineIsTheMemoCharacterForCharacter) {
  const std::u16string lines[] = {u"", u"  \"quoted\"  words ", u"%MEMO% \\n 確認"};
  for (const auto& line : lines) {
    platform.files.clear();
    Record(line);
    EXPECT_EQ(platform.files[kDefaultMemoFile].content, u"[2024/03/07 08:05:09] " + line + u"\r\n");
  }
}

TEST_F(RunTest, AnExistingMemoFileGetsTheEntryRightAfterItsLastCharacter) {
  platform.files[u"memo.txt"].content = u"no line end";
  Store(keys::kFileName, u"memo.txt");
  Store(keys::kMemoFormat, u"<%MEMO%>");
  Record(u"x");
  EXPECT_EQ(platform.files[u"memo.txt"].content, u"no line end<x>");
}

TEST_F(RunTest, AddFromOtherThanClipboardTakesTheCommandLine) {
  for (const std::u16string value : {u"Clipboard", u"clipboard ", u"arg", u""}) {
    settings.Clear();
    platform.files.clear();
    Store(keys::kAddFrom, value);
    Store(keys::kMemoFormat, u"%MEMO%");
    Record(u"memo");
    EXPECT_EQ(platform.files[kDefaultMemoFile].content, u"memo");
  }
}

TEST_F(RunTest, ShowDialogOnlyExactlyOneShowsTheSuccessBox) {
  const std::pair<std::u16string, bool> cases[] = {
      {u"1", true}, {u"0", false}, {u"", false}, {u" 1", false}, {u"yes", false}};
  for (const auto& [value, shown] : cases) {
    settings.Clear();
    platform.boxes.clear();
    Store(keys::kShowDialog, value);
    Record(u"memo");
    EXPECT_EQ(platform.boxes.size(), shown ? 1u : 0u) << "ShowDialog=" << value.size();
  }
}

enum class Fault { kNone, kRefuseOpen, kFailFlush, kFailClose };

TEST_F(RunTest, EveryFailureShowsTheFailureBoxWhateverShowDialogSays) {
  const std::tuple<const char*, Fault, std::u16string> cases[] = {
      {"cannot open", Fault::kRefuseOpen, u"old"},
      {"write never arrives", Fault::kFailFlush, u"old"},
      {"close reports an error", Fault::kFailClose, u"old[2024/03/07 08:05:09] x\r\n"},
  };
  for (const auto& [name, fault, contentAfter] : cases) {
    settings.Clear();
    platform.boxes.clear();
    FakePlatform::File& file = platform.files[u"m.txt"];
    file = FakePlatform::File{};
    file.content = u"old";
    file.refuseOpen = fault == Fault::kRefuseOpen;
    file.failFlush = fault == Fault::kFailFlush;
    file.failClose = fault == Fault::kFailClose;
    Store(keys::kFileName, u"m.txt");
    Store(keys::kShowDialog, u"0");
    Record(u"x");
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{kFailedBox}) << name;
    EXPECT_EQ(platform.files[u"m.txt"].content, contentAfter) << name;
  }
}

TEST_F(RunTest, AnEmptyFileNameFails) {
  Store(keys::kFileName, u"");
  Record(u"x");
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{kFailedBox});
}

TEST_F(RunTest, AFailureDoesNotReadShowDialog) {
  platform.canCreate = false;
  Record(u"x");
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{kFailedBox});
  EXPECT_EQ(KeysOf(settings).back(), u"FileName");
}

TEST(WinMain, ASecondInstanceEndsAtOnceWithoutAnything) {
  FakePlatform platform;
  platform.mutexResult = kErrorAlreadyExists;
  EXPECT_EQ(WinMain(platform, u"memo"), 0);
  EXPECT_EQ(platform.calls, std::vector<std::string>{"mutex"});
  EXPECT_EQ(platform.mutexNames,
            std::vector<std::u16string>{u"{6F0B2C1D-93A4-4e7b-8C55-1A2B3C4D5E6F}"});
}

TEST(WinMain, AGuardThatCannotBeCreatedDoesNotStopTheRun) {
  FakePlatform platform;
  platform.mutexResult = 5;  // access denied
  EXPECT_EQ(WinMain(platform, u"memo"), 0);
  EXPECT_EQ(platform.files[kDefaultMemoFile].content, u"[2024/03/07 08:05:09] memo\r\n");
  EXPECT_EQ(platform.boxes.size(), 1u);
}

}  // namespace
}  // namespace jotlog
