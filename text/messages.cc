#include "text/messages.h"

#include <cstddef>
#include <iterator>

namespace jotlog {

namespace {

// The languages, each a column below, by their codes.
constexpr const char16_t* kCodes[] = {u"ja", u"en"};
constexpr size_t kLanguages = std::size(kCodes);

struct Row {
  Message message;
  const char16_t* text[kLanguages];
};

// clang-format off
constexpr Row kTable[] = {
    {Message::kLanguageCode, {kCodes[0], kCodes[1]}},
    {Message::kLanguageName, {u"Japanese", u"English"}},
    {Message::kCaption, {u"確認", u"jotlog"}},
    {Message::kSavedToFile, {u"メモファイルに保存しました。", u"Saved to the memo file."}},
    {Message::kSavedToClipboard, {u"クリップボードに保存しました。", u"Saved to the clipboard."}},
    {Message::kNotSavedToFile, {u"メモファイルに保存できませんでした。", u"Could not save to the memo file."}},
    {Message::kNotSavedToClipboard, {u"クリップボードに保存できませんでした。", u"Could not save to the clipboard."}},
    {Message::kMemoKept, {u"メモは %1 に残しました。", u"The memo is kept in %1."}},
    {Message::kInputCaption, {u"jotlog", u"jotlog"}},
    {Message::kInputPrompt, {u"メモ", u"Memo"}},
    {Message::kTheClipboard, {u"クリップボード", u"the clipboard"}},
    {Message::kNoFileName, {u"(ファイル名がありません)", u"(no file name)"}},
    {Message::kEmptyFileName, {u"メモファイルの名前が空です", u"the memo file's name is empty"}},
    {Message::kStandardInput, {u"標準入力", u"standard input"}},
    {Message::kProgram, {u"jotlog", u"jotlog"}},
    {Message::kBusy, {u"jotlog の別の実行が 15 秒以内に終わりませんでした", u"another run of jotlog did not finish within 15 s"}},
    {Message::kOutOfMemory, {u"メモリが足りません", u"out of memory"}},
    {Message::kInputTooLong, {u"64 MiB を超えています", u"more than 64 MiB"}},
    {Message::kInputClosed, {u"閉じられていました", u"it was closed"}},
    {Message::kTypedTooLong, {u"64 MiB を超えるテキストが入力されました", u"more than 64 MiB of text was typed"}},
    {Message::kNoWayToAsk, {u"メモの入力を求める手段がありません", u"no way to ask for a memo"}},
    {Message::kToolFailed, {u"%1 が失敗しました", u"%1 failed"}},
    {Message::kNoReason, {u"システムは理由を返しませんでした", u"the system gave no reason"}},
    {Message::kNoDesktopClipboard, {u"クリップボードを持つデスクトップがありません (WAYLAND_DISPLAY も DISPLAY も設定されていません)",
                                    u"no desktop holds a clipboard here (neither WAYLAND_DISPLAY nor DISPLAY is set)"}},
    {Message::kNoDisplay, {u"ディスプレイに接続できません (%1: %2)", u"the display cannot be reached (%1: %2)"}},
    {Message::kNoClipboardTool, {u"クリップボードのツール (xclip または wl-clipboard) がインストールされていません",
                                 u"no clipboard tool (xclip or wl-clipboard) is installed"}},
    {Message::kToolSilent, {u"%1 が 5 秒以内に応答しませんでした", u"%1 did not answer within 5 s"}},
    {Message::kToolExited, {u"%1 が失敗しました (終了ステータス %2)", u"%1 failed (exit status %2)"}},
    {Message::kToolEnded, {u"%1 が失敗したか、終了させられたか、64 MiB を超えるテキストを返しました",
                           u"%1 failed, was ended, or gave more than 64 MiB of text"}},
    {Message::kClipboardLost, {u"この実行で先ほどクリップボードのツールが 5 秒以内に応答しませんでした",
                               u"a clipboard tool did not answer within 5 s earlier in this run"}},
    {Message::kClipboardNul, {u"クリップボードのテキストに NUL 文字があり、全体を扱えません",
                              u"the clipboard's text holds a NUL character and cannot be carried whole"}},
    {Message::kFileRemoved, {u"ファイルを開く間にファイルが削除されました", u"the file was removed while it was being opened"}},
    {Message::kOddUtf16, {u"バイト数が奇数の UTF-16 ファイルには文字を正しく追記できません",
                          u"a UTF-16 file of an odd number of bytes cannot take whole characters"}},
    {Message::kFileLocked, {u"別のプログラムがファイルを 5 秒間ロックしていました", u"another program kept the file locked for 5 s"}},
    {Message::kNoSuchName, {u"この名前はここではファイル名として使えません", u"the name cannot be a file name here"}},
    {Message::kNoDocumentsFolder, {u"ドキュメント フォルダーが見つかりません", u"the documents folder cannot be found"}},
    {Message::kNotExpanded, {u"ファイル名の %NAME% を展開できません", u"%NAME% in the file name cannot be expanded"}},
    {Message::kNamedPipe, {u"通常のファイルではなく名前付きパイプです", u"not a regular file but a named pipe"}},
    {Message::kNotRegularFile, {u"通常のファイルではありません", u"not a regular file"}},
    {Message::kNoGuard, {u"ほかの実行から守るロックを置ける場所がありません (XDG_RUNTIME_DIR にもユーザーの状態フォルダーにも置けません)",
                         u"no lock guards against other runs: neither XDG_RUNTIME_DIR nor the user's state folder takes one"}},
    {Message::kGuardFailed, {u"ほかの実行から守るロックを取れません: %1", u"the lock that guards against other runs cannot be taken: %1"}},
    {Message::kSystemError, {u"エラー %1", u"error %1"}},
    {Message::kCommentFileName, {u"保存先ファイル名", u"destination file name"}},
    {Message::kCommentAddFrom, {u"追記元", u"where the memo comes from"}},
    {Message::kCommentShowDialog, {u"完了ダイアログを表示するかどうか", u"whether to show the completion dialog"}},
    {Message::kCommentMemoFormat, {u"メモのフォーマット", u"memo format"}},
    {Message::kCommentDateFormat, {u"日付のフォーマット", u"date format"}},
    {Message::kCommentTimeFormat, {u"時間のフォーマット", u"time format"}},
};
// clang-format on

// Every text is there, each row where its message says, and every language has a column.
constexpr bool Whole() {
  if (std::size(kTable) != static_cast<size_t>(Message::kCount)) return false;
  for (size_t row = 0; row < std::size(kTable); ++row) {
    if (static_cast<size_t>(kTable[row].message) != row) return false;
    for (const char16_t* text : kTable[row].text)
      if (text == nullptr || *text == u'\0') return false;
  }
  return static_cast<size_t>(Language::kEnglish) < kLanguages;
}
static_assert(Whole(), "a row of the table is missing, out of place or lacks a text");

}  // namespace

std::u16string_view Text(Language language, Message message) {
  return kTable[static_cast<size_t>(message)].text[static_cast<size_t>(language)];
}

std::u16string Say(Language language, Message message,
                   std::initializer_list<std::u16string_view> args) {
  const std::u16string_view text = Text(language, message);
  std::u16string said;
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t n = i + 1 < text.size() ? static_cast<size_t>(text[i + 1] - u'1') : args.size();
    if (text[i] == u'%' && n < args.size()) {
      said += args.begin()[n];
      ++i;
    } else {
      said += text[i];
    }
  }
  return said;
}

Language ChooseLanguage(std::u16string_view languages) {
  if (languages.empty()) return Language::kJapanese;
  while (!languages.empty()) {
    const size_t end = languages.find(u':');
    const std::u16string_view code = languages.substr(0, end);
    for (size_t column = 0; column < kLanguages; ++column)
      if (code == kCodes[column]) return static_cast<Language>(column);
    languages.remove_prefix(end == std::u16string_view::npos ? languages.size() : end + 1);
  }
  return Language::kEnglish;
}

}  // namespace jotlog
