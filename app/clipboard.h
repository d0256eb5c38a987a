// The clipboard as the memo's source and as its destination.
#pragma once

#include <string>

#include "platform/platform.h"

namespace jotlog {

enum class ClipboardRead {
  kText,        // `text` holds the clipboard's text
  kNoText,      // the clipboard holds no text at all (empty, or an image alone, say)
  kUnreadable,  // it cannot be opened, or holds text that cannot be read
};

// Replaces `text` with the clipboard's Unicode text (up to its first null) when there is
// some to read; otherwise leaves it unchanged and says why.
ClipboardRead ReadClipboard(Platform& platform, std::u16string& text);

// Replaces `text` with the clipboard's Unicode text (up to its first null) and returns
// true; false when the clipboard cannot be opened or holds no such text, with `text`
// unchanged.
bool ReadClipboardText(Platform& platform, std::u16string& text);

// Makes the clipboard's text its old text (empty when it holds none) followed directly by
// the entry. True when the clipboard accepted the new text. Text that cannot be read is
// left in place and the append fails; when the new text is not taken, the old one is put
// back.
bool AppendToClipboard(Platform& platform, const std::u16string& entry);

}  // namespace jotlog
