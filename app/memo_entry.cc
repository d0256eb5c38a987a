#include "app/memo_entry.h"

#include <array>

#include "settings/keys.h"

namespace jotlog {

void ReplaceAll(std::u16string& text, const std::u16string& pattern,
                const std::u16string& replacement) {
  if (pattern.empty()) return;
  size_t position = 0;
  while ((position = text.find(pattern, position)) != std::u16string::npos) {
    text.replace(position, pattern.size(), replacement);
    position += replacement.size();
  }
}

namespace {

using FormatCall = int (Platform::*)(const SystemTime&, const std::u16string&, char16_t*, int);

std::u16string FormatWith(Platform& platform, FormatCall call, const SystemTime& time,
                          const std::u16string& picture) {
  std::array<char16_t, kDateTimeBufferSize> buffer{};
  int written = (platform.*call)(time, picture, buffer.data(), kDateTimeBufferSize);
  if (written <= 0) return {};
  // The text ends at the first null; make sure there is one within the buffer.
  buffer.back() = u'\0';
  return std::u16string(buffer.data());
}

}  // namespace

std::u16string FormatDateText(Platform& platform, const SystemTime& time,
                              const std::u16string& picture) {
  return FormatWith(platform, &Platform::FormatDate, time, picture);
}

std::u16string FormatTimeText(Platform& platform, const SystemTime& time,
                              const std::u16string& picture) {
  return FormatWith(platform, &Platform::FormatTime, time, picture);
}

std::u16string FormatMemoEntry(Platform& platform, std::u16string memo, SettingsFile& settings) {
  const std::u16string section = keys::kSection;
  const SystemTime now = platform.GetLocalTime();

  const std::u16string defaultTemplate = keys::kDefaultMemoFormat;
  std::u16string entry = settings.GetWithDefault(section, keys::kMemoFormat, defaultTemplate, true);

  const std::u16string defaultDate = keys::kDefaultDateFormat;
  ReplaceAll(
      entry, u"%DATE%",
      FormatDateText(platform, now,
                     settings.GetWithDefault(section, keys::kDateFormat, defaultDate, true)));

  const std::u16string defaultTime = keys::kDefaultTimeFormat;
  ReplaceAll(
      entry, u"%TIME%",
      FormatTimeText(platform, now,
                     settings.GetWithDefault(section, keys::kTimeFormat, defaultTime, true)));

  ReplaceAll(entry, u"\\n", u"\r\n");
  ReplaceAll(entry, u"%MEMO%", memo);
  return entry;
}

}  // namespace jotlog
