// The clipboard as the memo's source and as its destination.
#pragma once

#include <string>

#include "platform/platform.h"

namespace jotlog {

// Replaces `text` with the clipboard's Unicode text (up to its first null) and returns
// true; false when the clipboard cannot be opened or holds no such text, with `text`
// unchanged.
bool ReadClipboardText(Platform& platform, std::u16string& text);

// Makes the clipboard's text its old text (empty when none can be read) followed directly
// by the entry. True when the clipboard accepted the new text.
bool AppendToClipboard(Platform& platform, const std::u16string& entry);

}  // namespace jotlog
