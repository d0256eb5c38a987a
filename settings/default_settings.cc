#include "settings/default_settings.h"

#include <string_view>

#include "settings/keys.h"
#include "text/wide_stream.h"

namespace jotlog {

std::u16string DefaultSettingsText(Language language) {
  const struct {
    Message comment;
    std::u16string_view key, value;
  } settings[] = {
      {Message::kCommentFileName, keys::kFileName, keys::kDefaultFileName},
      {Message::kCommentAddFrom, keys::kAddFrom, keys::kDefaultAddFrom},
      {Message::kCommentShowDialog, keys::kShowDialog, keys::kDefaultShowDialog},
      {Message::kCommentMemoFormat, keys::kMemoFormat, keys::kDefaultMemoFormat},
      {Message::kCommentDateFormat, keys::kDateFormat, keys::kDefaultDateFormat},
      {Message::kCommentTimeFormat, keys::kTimeFormat, keys::kDefaultTimeFormat},
  };
  std::u16string text = u"[";
  text.append(keys::kSection).append(u"]\n");
  for (const auto& setting : settings) {
    if (setting.comment != Message::kCommentFileName) text += u"\n";
    text.append(u"# ").append(Text(language, setting.comment)).append(u"\n");
    text.append(setting.key).append(u"=").append(setting.value).append(u"\n");
  }
  return text;
}

void WriteDefaultSettings(SettingsFile& settings, Language language) {
  {
    WideFileStream stream(settings.platform(), settings.path(), OpenMode::kCreateNew);
    if (stream.failed()) return;
    // Line by line, each line end flushed, as a text stream writes it.
    const std::u16string whole = DefaultSettingsText(language);
    std::u16string_view text = whole;
    for (size_t end; (end = text.find(u'\n')) != std::u16string_view::npos;) {
      stream.Write(text.substr(0, end));
      stream.EndLine();
      text.remove_prefix(end + 1);
    }
    stream.Close();
  }
  settings.Load();
}

namespace {

// The user's own settings file, for a program whose settings file `besidePath` is missing
// from a folder that refuses to hold it; empty in every other case.
std::u16string UserSettingsPathFor(Platform& platform, const std::u16string& besidePath,
                                   bool makeFolders) {
  if (besidePath.empty() || !platform.NewFileRefused(besidePath)) return {};
  const size_t nameStart = besidePath.find_last_of(u"/\\") + 1;  // 0 when there is no folder
  return platform.UserSettingsPath(besidePath.substr(nameStart), makeFolders);
}

}  // namespace

void LoadFallbackSettings(SettingsFile& settings, Language language) {
  Platform& platform = settings.platform();
  if (!settings.path().empty() && platform.NewFileRefused(settings.path())) {
    // Where the user's own file cannot be had either, the built-in settings apply: nothing
    // is ever written into a folder that refuses it (a system folder, also for root).
    std::u16string user = UserSettingsPathFor(platform, settings.path(), true);
    if (user.empty()) return;
    settings.SetPath(std::move(user));
    if (settings.Load() == 0) return;
  }
  WriteDefaultSettings(settings, language);
}

std::u16string SettingsPathForRun(Platform& platform) {
  std::u16string beside = BuildSettingsPath(platform);
  if (beside.empty() || !platform.NewFileRefused(beside)) return beside;
  return UserSettingsPathFor(platform, beside, false);
}

}  // namespace jotlog
