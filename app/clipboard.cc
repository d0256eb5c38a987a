#include "app/clipboard.h"

#include <algorithm>

namespace jotlog {

namespace {

// Keeps the clipboard open for the life of the object.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(Platform& platform) : platform_(platform) {
    opened_ = platform_.OpenClipboard();
  }
  ~OpenedClipboard() {
    if (opened_) platform_.CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;

  bool opened() const { return opened_; }

 private:
  Platform& platform_;
  bool opened_ = false;
};

}  // namespace

namespace {

// ReadClipboard on a clipboard the caller has open.
ClipboardRead ReadOpenClipboard(Platform& platform, std::u16string& text) {
  const char16_t* data = platform.GetClipboardData();
  if (data == nullptr) {
    return platform.ClipboardUnreadable() ? ClipboardRead::kUnreadable : ClipboardRead::kNoText;
  }
  text = data;
  return ClipboardRead::kText;
}

}  // namespace

ClipboardRead ReadClipboard(Platform& platform, std::u16string& text) {
  OpenedClipboard clipboard(platform);
  if (!clipboard.opened()) return ClipboardRead::kUnreadable;
  return ReadOpenClipboard(platform, text);
}

bool ReadClipboardText(Platform& platform, std::u16string& text) {
  return ReadClipboard(platform, text) == ClipboardRead::kText;
}

bool AppendToClipboard(Platform& platform, const std::u16string& entry) {
  // The text is read and replaced in one open, so nothing copied in between is lost.
  OpenedClipboard clipboard(platform);
  if (!clipboard.opened()) return false;
  std::u16string text;
  // Text that is there but cannot be read is never replaced.
  if (ReadOpenClipboard(platform, text) == ClipboardRead::kUnreadable) return false;
  const size_t oldLength = text.size();
  text += entry;

  std::unique_ptr<TransferBuffer> buffer = platform.AllocTransferBuffer(text.size() + 1);
  if (!buffer) return false;
  const size_t copied = std::min(text.size(), buffer->size() - 1);
  std::copy_n(text.begin(), copied, buffer->data());
  buffer->data()[copied] = u'\0';

  platform.EmptyClipboard();
  if (platform.SetClipboardData(buffer)) return true;
  // Not taken: the old text goes back, from the same block cut at its end.
  if (oldLength > 0 && buffer && oldLength < buffer->size()) {
    buffer->data()[oldLength] = u'\0';
    platform.SetClipboardData(buffer);
  }
  return false;
}

}  // namespace jotlog
