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
  EXPECT_EQ(platform.clipboard.strayCloses, 0);
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
  // Plain text and none at all are the end-to-end tests' part.
  enum Fault { kNullInside, kAlloc, kSet, kUnreadable };
  const std::tuple<Fault, bool, std::optional<std::u16string>, int> cases[] = {
      // fault, result, clipboard afterwards, live buffers
      {kNullInside, true, u"ol<e>", 1},
      {kAlloc, false, u"old", 0},
      {kSet, false, u"old", 1},         // not taken: the old text is put back
      {kUnreadable, false, u"old", 0},  // never replaced
  };
  for (const auto& [fault, result, after, live] : cases) {
    FakePlatform platform;
    platform.clipboard.text = fault == kNullInside ? std::u16string(u"ol\0d", 4) : u"old";
    platform.clipboard.failAlloc = fault == kAlloc;
    platform.clipboard.failSets = fault == kSet;
    platform.clipboard.unreadable = fault == kUnreadable;
    EXPECT_EQ(AppendToClipboard(platform, u"<e>"), result) << fault;
    EXPECT_EQ(platform.clipboard.text, after) << fault;
    EXPECT_EQ(platform.liveBuffers, live) << fault;
    ExpectBalanced(platform);
  }
}

}  // namespace
}  // namespace jotlog
