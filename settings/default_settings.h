// The commented settings file that a first start leaves beside the program, or in the
// user's own configuration folder where the program's folder cannot hold it.
#pragma once

#include <string>

#include "settings/settings_file.h"
#include "text/messages.h"

namespace jotlog {

// The default file's 18 lines, each ended by a line feed, with the comments in `language`.
std::u16string DefaultSettingsText(Language language);

// Creates the settings file with the default text when nothing exists at its path, then
// loads the store from it. An existing file, readable or not, is never touched.
void WriteDefaultSettings(SettingsFile& settings, Language language);

// For a store whose file beside the program could not be opened. When no file is there
// and the folder refuses a new one, the store moves to the user's own settings file and
// loads it; the default file is then written where the store points, unless a file is
// there (readable or not: then the built-in defaults apply). When the user's own file
// cannot be had, the built-in defaults apply and nothing is written.
void LoadFallbackSettings(SettingsFile& settings, Language language);

// The settings file a run would use now, found without touching anything; empty when
// the run can have none (and the built-in defaults apply).
std::u16string SettingsPathForRun(Platform& platform);

}  // namespace jotlog
