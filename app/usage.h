// The text of `--help`: what a run does, and the settings file and memo file that a run
// would use now.
#pragma once

#include <string>

#include "platform/platform.h"

namespace jotlog {

std::u16string UsageText(Platform& platform);

}  // namespace jotlog
