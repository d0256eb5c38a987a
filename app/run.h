// One run of the program: guard against a second instance, read the settings, take the
// memo, build the entry, deliver it and report the outcome.
#pragma once

#include <string>

#include "platform/platform.h"
#include "settings/settings_file.h"

namespace jotlog {

inline constexpr char16_t kMutexName[] = u"{6F0B2C1D-93A4-4e7b-8C55-1A2B3C4D5E6F}";

inline constexpr char16_t kBoxCaption[] = u"確認";
inline constexpr char16_t kMemoFileLabel[] = u"メモファイルに";
inline constexpr char16_t kClipboardLabel[] = u"クリップボードに";
inline constexpr char16_t kSavedWords[] = u"保存しました。";
inline constexpr char16_t kNotSavedWords[] = u"保存できませんでした。";

// The whole run; `commandLine` is the memo unless the settings take it from elsewhere.
// Returns the exit code, 0 on every path.
int WinMain(Platform& platform, const std::u16string& commandLine);

// The part of the run after the settings are in place: memo source, entry, destination,
// result box. Settings are looked up in the order AddFrom, MemoFormat, DateFormat,
// TimeFormat, FileName and, after a success only, ShowDialog.
void RecordMemo(Platform& platform, SettingsFile& settings, const std::u16string& commandLine);

// Appends the entry to the named file in one write. True only when the file opened and
// the entry reached it (written, flushed, committed and closed).
bool AppendToMemoFile(Platform& platform, const std::u16string& fileName,
                      const std::u16string& entry);

}  // namespace jotlog
