// The user's file of unsaved memos: where an entry goes that could not be saved where the
// settings say, so that the memo is never lost. Nothing is ever moved back from it.
#pragma once

#include <string>

#include "platform/platform.h"

namespace jotlog {

// Appends `entry` to the file of unsaved memos, as to a memo file (locked, one write,
// committed, taken back on failure). Returns the file's full name when it took the
// entry; empty when it did not, or when it is `failed`, the destination that just failed.
std::u16string KeepUnsaved(Platform& platform, const std::u16string& entry,
                           const std::u16string& failed);

// The file of unsaved memos and whether it holds any, for the usage text.
std::u16string UnsavedMemosState(Platform& platform);

}  // namespace jotlog
