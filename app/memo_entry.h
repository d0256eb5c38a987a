// Builds the text one run appends: the template with its date, time, line-end and memo
// placeholders filled in, in that order.
#pragma once

#include <string>

#include "platform/platform.h"
#include "settings/settings_file.h"

namespace jotlog {

// Capacity of the date and time buffers in UTF-16 units, terminating null included.
inline constexpr int kDateTimeBufferSize = 127;

// Replaces every occurrence of `pattern` (non-empty) in `text`, left to right. The search
// resumes just after each inserted replacement, so inserted text is never searched again
// and the pass always ends.
void ReplaceAll(std::u16string& text, const std::u16string& pattern,
                const std::u16string& replacement);

// The date or time of `time` formatted by `picture`; the empty text when the platform
// cannot format it within the buffer.
std::u16string FormatDateText(Platform& platform, const SystemTime& time,
                              const std::u16string& picture);
std::u16string FormatTimeText(Platform& platform, const SystemTime& time,
                              const std::u16string& picture);

// Samples the clock once and builds the entry from MemoFormat, DateFormat and TimeFormat,
// read in that order (a missing key is added to `settings` with its default).
std::u16string FormatMemoEntry(Platform& platform, std::u16string memo, SettingsFile& settings);

}  // namespace jotlog
