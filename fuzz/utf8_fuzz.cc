// UTF-8 bytes to UTF-16 and back: the codec is lossless for any byte string, reads the
// same in pieces as at once, and gives names back unchanged unless they hold a NUL.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/utf.h"

namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

// No lone surrogates: text that any UTF must carry unchanged.
bool WellFormed(std::u16string_view units) {
  for (size_t i = 0; i < units.size(); ++i) {
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
    if (low) return false;
    if (high && !(i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)) {
      return false;
    }
    i += high;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace jotlog;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string text = DecodeUtf8(bytes);
  Require(EncodeUtf8(text) == bytes);

  // In pieces, as a file is read: an unfinished sequence waits for the next piece.
  const size_t step = size == 0 ? 1 : data[0] % 7 + 1;
  std::string pending;
  std::u16string pieces;
  for (size_t at = 0; at < size; at += step) {
    pending.append(bytes.substr(at, step));
    pending.erase(0, DecodeUtf8(pending, false, pieces));
    Require(pending.size() <= 3);
  }
  pending.erase(0, DecodeUtf8(pending, true, pieces));
  Require(pending.empty() && pieces == text);

  const auto name = EncodeUtf8Name(text);
  Require(name.has_value() == (bytes.find('\0') == std::string_view::npos));
  Require(!name || *name == bytes);

  // The same bytes as UTF-16 units: well-formed text survives the trip through UTF-8.
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  if (WellFormed(units)) Require(DecodeUtf8(EncodeUtf8(units)) == units);
  return 0;
}
