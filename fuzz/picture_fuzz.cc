// Any date or time picture, time and buffer size: nothing is written past the buffer; the whole
// text with its null when that fits, the same at every size that holds it, else 0.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "text/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace jotlog;
  // Kind, buffer size, the eight fields of the time, then the picture a byte a unit.
  if (size < 18) return 0;
  const PictureKind kind = data[0] & 1 ? PictureKind::kTime : PictureKind::kDate;
  const int capacity = static_cast<int8_t>(data[1]);
  SystemTime time;
  std::memcpy(&time, data + 2, sizeof time);
  const std::u16string picture(data + 18, data + size);
  static const LocaleNames names = LocaleNames::English();

  // Exactly `capacity` units, so that a write past them is caught.
  auto buffer = std::make_unique<char16_t[]>(std::max(capacity, 0));
  const int written = FormatPicture(kind, time, picture, names, buffer.get(), capacity);
  // No field is more than five times as long as its letters.
  const int ample = static_cast<int>(picture.size()) * 5 + 1;
  auto whole = std::make_unique<char16_t[]>(ample);
  const int needed = FormatPicture(kind, time, picture, names, whole.get(), ample);
  if (needed < 1 || whole[needed - 1] != u'\0' || written != (needed <= capacity ? needed : 0) ||
      (written != 0 && !std::equal(whole.get(), whole.get() + needed, buffer.get()))) {
    std::abort();
  }
  return 0;
}
