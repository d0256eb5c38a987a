#include "app/run.h"

#include <gtest/gtest.h>

#include "settings/keys.h"
#include "tests/fake_platform.h"

namespace jotlog {
namespace {

const std::u16string kMemoFile = u"\\My Documents\\jotlog.txt";
const std::u16string kSavedBox = u"確認: メモファイルに保存しました。";
const std::u16string kFailedBox = u"確認: メモファイルに保存できませんでした。";

class RunTest : public ::testing::Test {
 protected:
  void Record(const std::u16string& commandLine,
              std::initializer_list<std::pair<const char16_t*, std::u16string>> stored = {}) {
    settings.Clear();
    platform.boxes.clear();
    platform.calls.clear();
    for (const auto& [key, value] : stored) settings.AddEntry(keys::kSection, key, value);
    RecordMemo(platform, settings, commandLine);
  }

  FakePlatform platform;
  SettingsFile settings{platform, false};
};

TEST_F(RunTest, SuccessReadsEverySettingInOrderAndClosesBeforeTheBox) {
  Record(u"buy milk");
  EXPECT_EQ(platform.files[kMemoFile].content, u"[2024/03/07 08:05:09] buy milk\r\n");
  EXPECT_EQ(platform.boxes, std::vector<std::u16string>{kSavedBox});
  EXPECT_EQ(Dump(settings),
            u"[setting]AddFrom=arg;MemoFormat=[%DATE% %TIME%] %MEMO%\\n;DateFormat=yyyy/MM/dd;"
            u"TimeFormat=HH:mm:ss;FileName=\\My Documents\\jotlog.txt;ShowDialog=1;");
  EXPECT_EQ(platform.calls,
            (std::vector<std::string>{"clock", "date", "time", "open a", "close", "box"}));
}

TEST_F(RunTest, TheMemoIsTheCommandLineUnlessAddFromIsExactlyClipboard) {
  platform.clipboard.text = u"clip";
  for (const auto& [addFrom, memo] : {std::pair{u"Clipboard", u"memo"},
                                      {u"clipboard ", u"memo"},
                                      {u"", u"memo"},
                                      {u"clipboard", u"clip"}}) {
    platform.files[u"m"].content.clear();
    Record(u"memo",
           {{keys::kAddFrom, addFrom}, {keys::kFileName, u"m"}, {keys::kMemoFormat, u"%MEMO%"}});
    EXPECT_EQ(platform.files[u"m"].content, memo);
  }
}

TEST_F(RunTest, OnlyShowDialogExactlyOneShowsTheSuccessBox) {
  for (const auto& [value, boxes] : {std::pair{u"1", 1u}, {u"0", 0u}, {u"", 0u}, {u" 1", 0u}}) {
    Record(u"memo", {{keys::kShowDialog, value}});
    EXPECT_EQ(platform.boxes.size(), boxes);
  }
}

TEST_F(RunTest, EveryFailureShowsTheFailureBoxAndSkipsShowDialog) {
  enum Fault { kRefuseOpen, kFailFlush, kFailClose, kEmptyName };
  for (Fault fault : {kRefuseOpen, kFailFlush, kFailClose, kEmptyName}) {
    FakePlatform::File& file = platform.files[u"m"];
    file =
        FakePlatform::File{u"old", fault == kRefuseOpen, fault == kFailFlush, fault == kFailClose};
    Record(u"x",
           {{keys::kFileName, fault == kEmptyName ? u"" : u"m"}, {keys::kMemoFormat, u"%MEMO%"}});
    EXPECT_EQ(platform.boxes, std::vector<std::u16string>{kFailedBox}) << fault;
    EXPECT_EQ(platform.files[u"m"].content, fault == kFailClose ? u"oldx" : u"old") << fault;
    EXPECT_EQ(Dump(settings).find(u"ShowDialog"), std::u16string::npos) << fault;
  }
}

TEST(WinMain, TheGuardEndsASecondInstanceAtOnceButNeverStopsTheFirst) {
  FakePlatform second;
  second.mutexResult = kErrorAlreadyExists;
  EXPECT_EQ(WinMain(second, u"memo"), 0);
  EXPECT_EQ(second.calls, std::vector<std::string>{"mutex {6F0B2C1D-93A4-4e7b-8C55-1A2B3C4D5E6F}"});

  FakePlatform unguarded;
  unguarded.mutexResult = 5;  // access denied
  EXPECT_EQ(WinMain(unguarded, u"memo"), 0);
  EXPECT_EQ(unguarded.files[kMemoFile].content, u"[2024/03/07 08:05:09] memo\r\n");
  EXPECT_EQ(unguarded.boxes, std::vector<std::u16string>{kSavedBox});
}

}  // namespace
}  // namespace jotlog
