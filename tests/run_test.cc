// A run's choices through the fake platform. The default entry comes from the default
// settings (settings_test.cc) and the formatter (memo_entry_test.cc); the guard and real
// files are the end-to-end tests' part.
#include "app/run.h"

#include <gtest/gtest.h>

#include "tests/fake_platform.h"

namespace jotlog {
namespace {

const std::u16string kSaved = u"確認: メモファイルに保存しました。";
const std::u16string kNotSaved = u"確認: メモファイルに保存できませんでした。";

// Records the command line "x" into the file "m", which holds "old", with these settings.
void Record(FakePlatform& platform,
            std::initializer_list<std::pair<const char16_t*, std::u16string>> stored) {
  SettingsFile settings(platform, false);
  settings.AddEntry(u"setting", u"FileName", u"m");
  settings.AddEntry(u"setting", u"MemoFormat", u"%MEMO%");
  for (const auto& [key, value] : stored) settings.AddEntry(u"setting", key, value);
  platform.files[u"m"].content = u"old";
  RecordMemo(platform, settings, u"x");
}

TEST(RecordMemo, TakesTheMemoAndShowsTheOutcomeOnlyForExactValuesButEveryFailureAlways) {
  enum Fault { kNone, kRefuseOpen, kFailFlush, kFailClose };
  const std::tuple<const char16_t*, const char16_t*, Fault, const char16_t*,
                   std::vector<std::u16string>>
      cases[] = {
          // AddFrom, ShowDialog, fault, the file afterwards, boxes
          {u"clipboard", u"1", kNone, u"oldc", {kSaved}},
          {u"Clipboard", u"0", kNone, u"oldx", {}},
          {u"clipboard ", u"", kNone, u"oldx", {}},
          {u"", u" 1", kNone, u"oldx", {}},
          {u"", u"0", kRefuseOpen, u"old", {kNotSaved}},
          {u"", u"0", kFailFlush, u"old", {kNotSaved}},
          {u"", u"0", kFailClose, u"oldx", {kNotSaved}},  // closing failed after the data arrived
      };
  for (size_t row = 0; row < std::size(cases); ++row) {
    const auto& [addFrom, showDialog, fault, content, boxes] = cases[row];
    FakePlatform platform;
    platform.clipboard.text = u"c";
    platform.files[u"m"] = {u"", fault == kRefuseOpen, fault == kFailFlush, fault == kFailClose};
    Record(platform, {{u"AddFrom", addFrom}, {u"ShowDialog", showDialog}});
    EXPECT_EQ(platform.files[u"m"].content, content) << row;
    EXPECT_EQ(platform.boxes, boxes) << row;
  }
}

TEST(WinMain, RunningOutOfMemoryShowsTheDestinationsFailureAndWritesNothing) {
  enum Fault { kFormat, kWrite };
  const std::tuple<const char16_t*, Fault, std::u16string> cases[] = {
      // FileName, where memory runs out, the box
      {u"m", kWrite, kNotSaved},  // half of the entry queued
      {u"clipboard", kFormat, u"確認: クリップボードに保存できませんでした。"},
  };
  for (const auto& [fileName, fault, box] : cases) {
    FakePlatform platform;
    platform.files[BuildSettingsPath(platform)].content =
        u"[setting]\nMemoFormat=%MEMO%\nFileName=" + std::u16string(fileName);
    platform.files[u"m"].content = u"old";
    platform.files[u"m"].exhaustWrite = fault == kWrite;
    platform.exhaustFormat = fault == kFormat;
    platform.clipboard.text = u"old";
    EXPECT_EQ(WinMain(platform, u"xyz"), 0);
    EXPECT_EQ(platform.boxes, std::vector{box}) << fault;
    EXPECT_EQ(platform.files[u"m"].content, u"old") << fault;
    EXPECT_EQ(platform.clipboard.text, u"old") << fault;
  }
}

}  // namespace
}  // namespace jotlog
