#include "settings/default_settings.h"

#include <string_view>

#include "text/wide_stream.h"

namespace jotlog {

const char16_t kDefaultSettingsText[] =
    u"[setting]\n"
    u"# 保存先ファイル名\n"
    u"FileName=\\My Documents\\jotlog.txt\n"
    u"\n"
    u"# 追記元\n"
    u"AddFrom=arg\n"
    u"\n"
    u"# 完了ダイアログを表示するかどうか\n"
    u"ShowDialog=1\n"
    u"\n"
    u"# メモのフォーマット\n"
    u"MemoFormat=[%DATE% %TIME%] %MEMO%\\n\n"
    u"\n"
    u"# 日付のフォーマット\n"
    u"DateFormat=yyyy/MM/dd\n"
    u"\n"
    u"# 時間のフォーマット\n"
    u"TimeFormat=HH:mm:ss\n";

void WriteDefaultSettings(SettingsFile& settings) {
  {
    WideFileStream stream(settings.platform(), settings.path(), OpenMode::kCreateNew);
    if (stream.failed()) return;
    // Line by line, each line end flushed, as a text stream writes it.
    std::u16string_view text = kDefaultSettingsText;
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

void LoadFallbackSettings(SettingsFile& settings) {
  Platform& platform = settings.platform();
  if (!settings.path().empty() && platform.NewFileRefused(settings.path())) {
    // Where the user's own file cannot be had either, the built-in settings apply: nothing
    // is ever written into a folder that refuses it (a system folder, also for root).
    std::u16string user = UserSettingsPathFor(platform, settings.path(), true);
    if (user.empty()) return;
    settings.SetPath(std::move(user));
    if (settings.Load() == 0) return;
  }
  WriteDefaultSettings(settings);
}

std::u16string SettingsPathForRun(Platform& platform) {
  std::u16string beside = BuildSettingsPath(platform);
  if (beside.empty() || !platform.NewFileRefused(beside)) return beside;
  return UserSettingsPathFor(platform, beside, false);
}

}  // namespace jotlog
