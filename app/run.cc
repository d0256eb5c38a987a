#include "app/run.h"

#include <new>

#include "app/clipboard.h"
#include "app/memo_entry.h"
#include "text/wide_stream.h"
#include "settings/default_settings.h"
#include "settings/keys.h"

namespace jotlog {

bool AppendToMemoFile(Platform& platform, const std::u16string& fileName,
                      const std::u16string& entry) {
  WideFileStream stream(platform, fileName, OpenMode::kAppend);
  if (stream.failed()) return false;
  stream.Write(entry);
  return stream.Close();
}

void RecordMemo(Platform& platform, SettingsFile& settings, const std::u16string& commandLine) {
  const std::u16string section = keys::kSection;

  const std::u16string defaultAddFrom = keys::kDefaultAddFrom;
  std::u16string memo;
  if (settings.GetWithDefault(section, keys::kAddFrom, defaultAddFrom, true) == keys::kClipboard) {
    ReadClipboardText(platform, memo);
  } else {
    memo = commandLine;
  }

  memo = FormatMemoEntry(platform, std::move(memo), settings);

  const std::u16string defaultFileName = keys::kDefaultFileName;
  const std::u16string& fileName =
      settings.GetWithDefault(section, keys::kFileName, defaultFileName, true);
  std::u16string label;
  bool saved;
  if (fileName == keys::kClipboard) {
    label = kClipboardLabel;
    saved = AppendToClipboard(platform, memo);
  } else {
    label = kMemoFileLabel;
    saved = AppendToMemoFile(platform, fileName, memo);
  }

  if (!saved) {
    platform.ShowMessageBox(label + kNotSavedWords, kBoxCaption);
    return;
  }
  const std::u16string defaultShowDialog = keys::kDefaultShowDialog;
  if (settings.GetWithDefault(section, keys::kShowDialog, defaultShowDialog, true) == keys::kShow) {
    platform.ShowMessageBox(label + kSavedWords, kBoxCaption);
  }
}

int WinMain(Platform& platform, const std::u16string& commandLine) {
  // Running out of memory ends the run like any other failure: with the box of its
  // destination, whose texts are made before anything can run out.
  const std::u16string caption = kBoxCaption;
  const std::u16string memoFileFailure = std::u16string(kMemoFileLabel) + kNotSavedWords;
  const std::u16string clipboardFailure = std::u16string(kClipboardLabel) + kNotSavedWords;
  if (platform.CreateNamedMutex(kMutexName) == kErrorAlreadyExists) return 0;
  SettingsFile settings(platform, true);
  if (settings.openFailed()) LoadFallbackSettings(settings);
  bool toClipboard = false;
  try {
    // A look that adds nothing, so the run's own lookups stay in their order.
    const std::u16string defaultFileName = keys::kDefaultFileName;
    toClipboard = settings.GetWithDefault(keys::kSection, keys::kFileName, defaultFileName,
                                          false) == keys::kClipboard;
    RecordMemo(platform, settings, commandLine);
  } catch (const std::bad_alloc&) {
    platform.ShowMessageBox(toClipboard ? clipboardFailure : memoFileFailure, caption);
  }
  return 0;
}

}  // namespace jotlog
