#include "app/usage.h"

#include "settings/default_settings.h"
#include "settings/keys.h"

namespace jotlog {

std::u16string UsageText(Platform& platform) {
  SettingsFile settings(platform, false);
  settings.SetPath(SettingsPathForRun(platform));
  settings.Load();
  const std::u16string defaultFileName = keys::kDefaultFileName;
  const std::u16string& fileName =
      settings.GetWithDefault(keys::kSection, keys::kFileName, defaultFileName, false);
  std::u16string memoFile = u"(the clipboard)";
  if (fileName != keys::kClipboard) {
    memoFile = platform.ResolvedPath(fileName);
    if (memoFile.empty()) memoFile = u"(a name with no file)";
  }
  const std::u16string settingsFile =
      settings.path().empty() ? u"(none: the program's path cannot be had)" : settings.path();
  std::u16string program = platform.ModulePath();
  program = program.substr(program.find_last_of(u"/\\") + 1);
  if (program.empty()) program = u"jotlog";
  return u"Usage: " + program + u" [MEMO]...\n" +
         u"Appends MEMO (or the clipboard's text, as the settings say), stamped with the date\n"
         u"and time, to the memo file, shows whether it was saved, and ends.\n"
         u"AddFrom=input asks for the memo in a box; a lone - takes it from standard input.\n"
         u"  settings file: " +
         settingsFile + u"\n" + u"  memo file:     " + memoFile + u"\n" + program +
         u" --version prints the version.\n";
}

}  // namespace jotlog
