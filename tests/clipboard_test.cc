#include "app/clipboard.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/run.h"
#include "tests/fake_platform.h"

namespace jotlog {
namespace {

// Every successful open is closed again, and nothing is closed that was not open.
void ExpectBalanced(const FakePlatform& platform) {
  EXPECT_FALSE(platform.clipboard.isOpen);
  EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "clip close while closed"), 0);
}

TEST(ReadClipboardText, TakesTheTextUpToItsFirstNullOrLeavesTheStringAlone) {
  const std::optional<std::u16string> none;
  const std::tuple<std::optional<std::u16string>, bool, bool, std::u16string> cases[] = {
      // clipboard, refuse open, result, string afterwards
      {u"abc", false, true, u"abc"}, {std::u16string(u"ab\0cd", 5), false, true, u"ab"},
      {u"", false, true, u""},       {none, false, false, u"old"},
      {u"abc", true, false, u"old"},
  };
  for (const auto& [text, refuseOpen, result, after] : cases) {
    FakePlatform platform;
    platform.clipboard.text = text;
    platform.clipboard.refuseOpen = refuseOpen;
    std::u16string memo = u"old";
    EXPECT_EQ(ReadClipboardText(platform, memo), result);
    EXPECT_EQ(memo, after);
    ExpectBalanced(platform);
  }
}

TEST(AppendToClipboard, CoversEveryOutcome) {
  enum Fault { kNone, kNoText, kNullInside, kAlloc, kOpen, kSet };
  const std::optional<std::u16string> none;
  const std::tuple<Fault, bool, std::optional<std::u16string>, int> cases[] = {
      // fault, result, clipboard afterwards, live buffers
      {kNone, true, u"old<e>", 1},      {kNoText, true, u"<e>", 1},
      {kNullInside, true, u"ol<e>", 1}, {kAlloc, false, u"old", 0},
      {kOpen, false, u"old", 0},        {kSet, false, none, 0},  // emptied, left empty
  };
  for (const auto& [fault, result, after, live] : cases) {
    FakePlatform platform;
    platform.clipboard.text = fault == kNoText       ? none
                              : fault == kNullInside ? std::u16string(u"ol\0d", 4)
                                                     : u"old";
    platform.clipboard.failAlloc = fault == kAlloc;
    platform.clipboard.refuseOpen = fault == kOpen;
    platform.clipboard.failSet = fault == kSet;
    EXPECT_EQ(AppendToClipboard(platform, u"<e>"), result) << fault;
    EXPECT_EQ(platform.clipboard.text, after) << fault;
    EXPECT_EQ(platform.liveBuffers, live) << fault;
    ExpectBalanced(platform);
  }

  FakePlatform empty;  // no old text and an empty entry: a buffer of the null alone
  EXPECT_TRUE(AppendToClipboard(empty, u""));
  EXPECT_EQ(empty.clipboard.text, u"");
  EXPECT_EQ(std::count(empty.calls.begin(), empty.calls.end(), "alloc 1"), 1);
}

TEST(AppendToClipboard, ARunWithTheClipboardAtBothEndsOpensItThreeTimes) {
  for (bool failSet : {false, true}) {
    FakePlatform platform;
    SettingsFile settings(platform, false);
    settings.AddEntry(u"setting", u"AddFrom", u"clipboard");
    settings.AddEntry(u"setting", u"FileName", u"clipboard");
    platform.clipboard.text = u"abc";
    platform.clipboard.failSet = failSet;
    RecordMemo(platform, settings, u"ignored");
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "clip open"), 3);
    EXPECT_EQ(platform.clipboard.text.value_or(u"<none>"),
              failSet ? u"<none>" : u"abc[2024/03/07 08:05:09] abc\r\n");
    EXPECT_EQ(platform.boxes,
              std::vector<std::u16string>{failSet ? u"確認: クリップボードに保存できませんでした。"
                                                  : u"確認: クリップボードに保存しました。"});
  }
}

}  // namespace
}  // namespace jotlog
