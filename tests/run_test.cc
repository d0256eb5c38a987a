// Whole runs through the fake platform: settings, entries and every failure of a destination.
#include "app/run.h"

#include <gtest/gtest.h>

#include "tests/fake_platform.h"
#include "text/utf.h"

namespace jotlog {
namespace {

TEST(WinMain, RecordsByTheSettingsAndShowsEveryFailure) {
  using enum FakePlatform::Fault;
  const std::string saved = "|確認: メモファイルに保存しました。", x127(127, 'x');
  const std::string notSaved = "|!確認: メモファイルに保存できませんでした。\nm: why";
  const std::string clipboardNotSaved =
      "|!確認: クリップボードに保存できませんでした。\nクリップボード: why";
  const std::string outOfMemory =
      "|!確認: クリップボードに保存できませんでした。\njotlog: メモリが足りません";
  const std::string savedEn = "|jotlog: Saved to the memo file.";
  const std::string kept = "\nメモは unsaved に残しました。";
  struct Case {
    std::string settings, after;  // lines before the defaults; memo file|clipboard, boxes shown
    FakePlatform::Fault fault = kNone;
    std::u16string memo = u"x";
    std::optional<std::u16string> clipboard = u"c";
    bool unreadable = false;               // the clipboard's text
    const char16_t* held = u"";            // a mutex another run holds
    MemoAsked answer = MemoAsked::kGiven;  // of the input box
    const char16_t* unsaved = u"unsaved";  // the file of unsaved memos ("": none)
    MutexState guard = MutexState::kTaken;
    std::u16string languages = u"";  // the user's, as the system declares them
  };
  const Case cases[] = {
      {"AddFrom=Clipboard\nShowDialog= 1", "oldx|c"},  // exact values only
      {"AddFrom=clipboard \nShowDialog=1", "oldx|c" + saved},
      // A memo that is not saved is kept, unless memory ran out or the file of unsaved memos
      // is the destination, or is not to be had.
      {"", "oldx|c" + notSaved + kept + "|kept x", kClose},  // the data arrived all the same
      {"", "old|c" + notSaved + kept + "|kept xyz", kWrite, u"xyz"},  // "x" queued, memory out
      {"",
       "old|c|!確認: メモファイルに保存できませんでした。\nm: jotlog の別の実行が 15 "
       "秒以内に終わりませんでした",
       kNone, u"x", u"c", false, kMutexName, MemoAsked::kGiven, u"m"},
      {"", "oldx|c" + notSaved, kClose, u"x", u"c", false, u"", MemoAsked::kGiven, u""},
      {"FileName=clipboard", "old|c" + outOfMemory, kFormat},
      {"FileName=clipboard", "old|c" + clipboardNotSaved + kept + "|kept x", kAlloc},
      {"FileName=clipboard", "old|c" + clipboardNotSaved + kept + "|kept x", kSet},  // old put back
      {"FileName=clipboard", "old|-" + clipboardNotSaved + kept + "|kept x", kSet, u"x", {}},
      {"FileName=\nShowDialog=1",
       "old|c|!確認: メモファイルに保存できませんでした。\n(ファイル名がありません): "
       "メモファイルの名前が空です" +
           kept + "|kept x"},
      // Text that cannot be read is no empty memo; no text is.
      {"AddFrom=clipboard\nShowDialog=1",
       "old|c|!確認: メモファイルに保存できませんでした。\nクリップボード: why", kNone, u"x", u"c",
       true},
      {"AddFrom=clipboard\nShowDialog=1", "old|-" + saved, kNone, u"x", {}},
      // Another run at work past the wait: the destination is named, the memo kept when in
      // hand. No guard at all: the memo file goes on under its own lock, not the clipboard.
      {"FileName=clipboard",
       "old|c|!確認: クリップボードに保存できませんでした。\nクリップボード: jotlog の別の実行が "
       "15 秒以内に終わりませんでした" +
           kept + "|kept x",
       kNone, u"x", u"c", false, kMutexName},
      {"AddFrom=clipboard",
       "old|c|!確認: メモファイルに保存できませんでした。\nm: jotlog の別の実行が 15 "
       "秒以内に終わりませんでした",
       kNone, u"x", u"c", false, kMutexName},
      {"FileName=clipboard", "old|c" + clipboardNotSaved + kept + "|kept x", kNone, u"x", u"c",
       false, u"", MemoAsked::kGiven, u"unsaved", MutexState::kNone},
      {"ShowDialog=1", "oldx|c" + saved, kNone, u"x", u"c", false, u"", MemoAsked::kGiven,
       u"unsaved", MutexState::kNone},
      // A success box open for the same destination speaks for this run; one for another
      // destination does not, and a failure always shows its own box.
      {"ShowDialog=1", "oldx|c", kNone, u"x", u"c", false, u"box m"},
      {"ShowDialog=1", "oldx|c" + saved, kNone, u"x", u"c", false, u"box the clipboard"},
      {"", "oldx|c" + notSaved + kept + "|kept x", kClose, u"x", u"c", false, u"box m"},
      {"ShowDialog=1", "oldx|c" + saved, kNone, u"x", u"c", false, u"a mutex of another program"},
      // An input box that cannot be shown fails for the destination, which stays untouched;
      // the command line, its first text, is kept. Cancel keeps nothing.
      {"AddFrom=input\nFileName=clipboard",
       "old|c|?jotlog: メモ [x]|!確認: クリップボードに保存できませんでした。\njotlog: why" + kept +
           "|kept x",
       kNone, u"x", u"c", false, u"", MemoAsked::kCannotAsk},
      {"AddFrom=input", "old|c|?jotlog: メモ [x]", kNone, u"x", u"c", false, u"",
       MemoAsked::kCancelled},
      // The user's language: the first of those declared that the program speaks (a list that
      // starts with one it does not: the end-to-end rows), English where it speaks none.
      {"ShowDialog=1", "oldx|c" + savedEn, kNone, u"x", u"c", false, u"", MemoAsked::kGiven,
       u"unsaved", MutexState::kTaken, u"de"},
      {"ShowDialog=1", "oldx|c" + savedEn, kNone, u"x", u"c", false, u"", MemoAsked::kGiven,
       u"unsaved", MutexState::kTaken, u"jam:en:ja"},
      {"FileName=clipboard",
       "old|c|!jotlog: Could not save to the clipboard.\nthe clipboard: another run of jotlog did "
       "not finish within 15 s\nThe memo is kept in unsaved.|kept x",
       kNone, u"x", u"c", false, kMutexName, MemoAsked::kGiven, u"unsaved", MutexState::kTaken,
       u"en"},
      {"FileName=clipboard",
       "old|c|!jotlog: Could not save to the clipboard.\njotlog: out of memory", kFormat, u"x",
       u"c", false, u"", MemoAsked::kGiven, u"unsaved", MutexState::kTaken, u"en"},
      {"AddFrom=clipboard", "old|c|!jotlog: Could not save to the memo file.\nthe clipboard: why",
       kNone, u"x", u"c", true, u"", MemoAsked::kGiven, u"unsaved", MutexState::kTaken, u"en"},
      {"AddFrom=input",
       "old|c|?jotlog: Memo [x]|!jotlog: Could not save to the memo file.\njotlog: why\nThe memo "
       "is "
       "kept in unsaved.|kept x",
       kNone, u"x", u"c", false, u"", MemoAsked::kCannotAsk, u"unsaved", MutexState::kTaken, u"en"},
      // The entry: left to right, each placeholder once, and never again over what was put
      // in, nor where its end and what follows, or the two sides of a removal, spell one.
      {"MemoFormat=%MEMO%+%MEMO%", "oldx+x|c"},
      {"MemoFormat=%DATE% %date% %Memo%", "old2024/03/07 %date% %Memo%|c"},
      {"MemoFormat=\\t\\r\\\\n", "old\\t\\r\\\r\n|c"},  // the second backslash pairs with the n
      {"MemoFormat=%MEMO%", "old %MEMO%%DATE%\\n%TIME%\r\n|c", kNone,
       u" %MEMO%%DATE%\\n%TIME%\r\n"},
      {"MemoFormat=%DATE%\nDateFormat='%TIME%\\n%MEMO%'\nTimeFormat='%DATE%'", "old%DATE%\r\nx|c"},
      {"MemoFormat=%DATE%DATE%\nDateFormat='%'", "old%DATE%|c"},
      {"MemoFormat=%DA%DATE%TE%\nDateFormat=", "old%DATE%|c"},
      {"MemoFormat=[%DATE%]\nDateFormat=" + x127, "old[]|c"},  // over the 127-unit buffer
      {"MemoFormat=%DATE%\nDateFormat=" + x127.substr(1), "old" + x127.substr(1) + "|c"},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.files[BuildSettingsPath(platform)].content =
        "[setting]\n" + c.settings + "\nFileName=m\nMemoFormat=%MEMO%\nShowDialog=0";
    platform.files[u"m"] = {"old", c.fault};  // the faults of a file strike the memo file
    platform.fault = c.fault;
    platform.clipboard = c.clipboard;
    platform.unreadable = c.unreadable;
    platform.answer = c.answer;
    platform.unsavedPath = c.unsaved;
    const std::u16string held = std::u16string(c.held).starts_with(u"box ")
                                    ? BoxMutexName(std::u16string(c.held).substr(4))
                                    : c.held;
    if (!held.empty()) platform.mutexes[held] = MutexState::kHeld;
    if (c.guard != MutexState::kTaken) platform.mutexes[kMutexName] = c.guard;

    platform.languages = c.languages;
    SCOPED_TRACE(testing::Message() << c.settings << c.fault << EncodeUtf8(c.languages));
    const bool saved = c.after.find("|!") == std::string::npos && c.answer != MemoAsked::kCancelled;
    EXPECT_EQ(WinMain(platform, c.memo), saved ? 0 : 1);
    EXPECT_EQ(platform.opened, 0);  // every open closed once
    // and every mutex taken let go
    EXPECT_EQ(platform.mutexes.size(), (held.empty() ? 0u : 1u) + (c.guard != MutexState::kTaken));
    const auto unsaved = platform.files.find(u"unsaved");
    EXPECT_EQ(platform.files[u"m"].content + "|" +
                  EncodeUtf8(platform.clipboard.value_or(u"-") + platform.boxes) +
                  (unsaved == platform.files.end() ? "" : "|kept " + unsaved->second.content),
              c.after);
  }
}

// A dot in a folder's name starts no extension; no program path gives no settings path.
TEST(BuildSettingsPath, ReplacesAThreeLetterExtensionOrAppendsOne) {
  FakePlatform platform;
  std::u16string paths;
  for (const char16_t* program : {u"\\T\\m.EXE", u"/a.b.c", u"/v1.2/x", u"/.abc", u""}) {
    platform.modulePath = program;
    paths += BuildSettingsPath(platform) + u"|";
  }
  EXPECT_EQ(paths, u"\\T\\m.ini|/a.b.c.ini|/v1.2/x.ini|/.ini||");
}

}  // namespace
}  // namespace jotlog
