// Every text the program shows its user, in each language it speaks: one table
// (messages.cc), a row per text and a column per language. A new language is a new column
// of texts, nothing else.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace jotlog {

// A column of the table. Japanese is the program's own language, spoken also where the
// user declared none; English is spoken to every user whose language has no column.
enum class Language : unsigned char { kJapanese, kEnglish };

enum class Message : unsigned char {
  kLanguageCode,  // ISO 639, as the systems name the user's language ("ja")
  kLanguageName,  // the language's name in English, for the usage text
  // The result box and the standard-error line.
  kCaption,
  kSavedToFile,
  kSavedToClipboard,
  kNotSavedToFile,
  kNotSavedToClipboard,
  kMemoKept,  // %1: the full name of the file that keeps the memo
  // The input box.
  kInputCaption,
  kInputPrompt,
  // Where a failure happened, when it is no file.
  kTheClipboard,
  kNoFileName,
  kEmptyFileName,
  kStandardInput,
  kProgram,
  // Why, in the program's own words.
  kBusy,
  kOutOfMemory,
  kInputTooLong,
  kInputClosed,
  kTypedTooLong,
  kNoWayToAsk,
  kToolFailed,  // %1: the tool
  kNoReason,
  kNoDesktopClipboard,
  kNoDisplay,  // %1: the tool, %2: its words
  kNoClipboardTool,
  kToolSilent,     // %1: the tool
  kToolExited,     // %1: the tool, %2: its exit status
  kToolEnded,      // %1: the tool
  kClipboardLost,  // a tool hung earlier in the run
  kClipboardNul,
  kFileRemoved,
  kOddUtf16,
  kFileLocked,
  kNoSuchName,
  kNoDocumentsFolder,
  kNotExpanded,
  kNamedPipe,
  kNotRegularFile,
  kNoGuard,
  kGuardFailed,  // %1: the system's reason
  kSystemError,  // %1: the system's number for the error
  // The comments of the default settings file, one above each setting.
  kCommentFileName,
  kCommentAddFrom,
  kCommentShowDialog,
  kCommentMemoFormat,
  kCommentDateFormat,
  kCommentTimeFormat,
  kCount
};

// The text of `message` in `language`.
std::u16string_view Text(Language language, Message message);
// The text with %1, %2, ... replaced by `args`, in order.
std::u16string Say(Language language, Message message,
                   std::initializer_list<std::u16string_view> args = {});

// The language to speak to a user who declared `languages`, ISO 639 codes in order of
// preference separated by ':' ("de:ja"), or none: the first that has a column; Japanese
// when none is declared; English when none declared has a column.
Language ChooseLanguage(std::u16string_view languages);

}  // namespace jotlog
