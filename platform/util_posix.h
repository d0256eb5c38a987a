// Small pieces the POSIX side of the platform layer shares.
#pragma once

#include <string_view>

namespace jotlog {

// Writes all of `bytes` to `fd`, resuming after partial writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);

// Whether the environment variable is set to a non-empty value.
bool IsSet(const char* variable);

// The locale variable in force for `category` (LC_ALL, then the category, then LANG), as
// the C library picks it; null when none is set.
const char* LocaleName(const char* category);

// Whether the user's character set is UTF-8.
bool UsesUtf8();

}  // namespace jotlog
