// One run of the program: guard against a second instance, read the settings, take the
// memo, build the entry, deliver it and report the outcome.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"
#include "settings/settings_file.h"
#include "text/messages.h"

namespace jotlog {

// The guard over a run's work, and the start of the name of the one a success box holds
// while it is open (see BoxMutexName).
inline constexpr char16_t kMutexName[] = u"{6F0B2C1D-93A4-4e7b-8C55-1A2B3C4D5E6F}";
inline constexpr char16_t kBoxMutexName[] = u"{6F0B2C1D-93A4-4e7b-8C55-1A2B3C4D5E6F}-box";
// How long a start waits for another run at work: the longest that run's work can take
// (the clipboard's wait, the memo file's lock wait and its write).
inline constexpr uint32_t kGuardWaitMs = 15000;

// A memo that start-up took itself, from standard input say: its text, or where and why it
// could not be taken.
struct TakenMemo {
  std::u16string text;
  std::u16string where, reason;  // set when it could not be taken
};

// What a run's work came to.
struct Outcome {
  bool saved = false;
  bool showSuccess = false;             // a success to be shown, as the settings say
  bool toClipboard = false;             // the destination: the clipboard, else the memo file
  std::u16string where, reason;         // of a failure: the file or the clipboard, and why
  std::u16string destination;           // the memo file's full name, or the clipboard's name
  std::optional<std::u16string> entry;  // once the memo was in hand
};

// The language the run speaks to its user; Japanese when even that cannot be had.
Language UserLanguage(Platform& platform);

// The first line of a result box: saved, or not, to the clipboard or the memo file.
std::u16string_view ResultText(Language language, bool toClipboard, bool saved);

// The whole run; `commandLine` is the memo unless the settings take it from elsewhere, or
// it is exactly "--input" (the memo is asked for, with no first text) or "--clipboard"
// (the memo is the clipboard's text), whatever AddFrom says.
// With AddFrom=input the user is asked for it first, the command line being the box's
// first text; a cancelled box ends the run with nothing written or shown. Returns the exit
// code: 0 when the memo was saved, 1 when it was not.
int WinMain(Platform& platform, const std::u16string& commandLine);
// The run for a memo start-up took itself: AddFrom is not asked.
int WinMain(Platform& platform, const TakenMemo& memo);

// The part of the run after the settings are in place and the memo, when `memoGiven`, is
// known: memo source, entry, destination. Settings are looked up in the order AddFrom
// (unless the memo is given), MemoFormat, DateFormat, TimeFormat, FileName and, after a
// success only, ShowDialog. AddFrom=input takes the command line, as nothing asks here.
// Its failures name their place in `language`. `fromClipboard` takes the clipboard's text
// without asking AddFrom. `unguarded`, when not empty, says why the run holds no guard: the
// clipboard, which other runs may be replacing meanwhile, is then not written.
Outcome RecordMemo(Platform& platform, SettingsFile& settings, Language language,
                   const std::u16string& commandLine, bool memoGiven = false,
                   bool fromClipboard = false, const std::u16string& unguarded = {});

// The name of the mutex an open success box for `destination` holds: runs that save to
// the same destination meanwhile show no box of their own.
std::u16string BoxMutexName(const std::u16string& destination);

// Appends the entry to the named file in one write. True only when the file opened and
// the entry reached it (written, flushed, committed and closed); else `reason` says why.
bool AppendToMemoFile(Platform& platform, const std::u16string& fileName,
                      const std::u16string& entry, std::u16string& reason);

}  // namespace jotlog
