// The commented settings file that a first start leaves beside the program.
#pragma once

#include "settings/settings_file.h"

namespace jotlog {

// The default file's 18 lines, each ended by a line feed.
extern const char16_t kDefaultSettingsText[];

// Creates the settings file with the default text when nothing exists at its path, then
// loads the store from it. An existing file, readable or not, is never touched.
void WriteDefaultSettings(SettingsFile& settings);

}  // namespace jotlog
