// UTF-8 bytes to UTF-16 and back: the codec is lossless for any byte string, reads the
// same in pieces as at once, and gives names back unchanged unless they hold a NUL. The
// other way, well-formed UTF-16 survives, names refuse what no byte name stands for, and
// lone surrogates replaced leave valid text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/text_file.h"
#include "platform/utf.h"

namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

// Whether every surrogate is half of a pair, or with `escapes` a lone U+DC80..U+DCFF,
// which stands for a byte.
bool Paired(std::u16string_view units, bool escapes) {
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF && !(escapes && unit >= 0xDC80 && unit <= 0xDCFF)) {
      return false;
    }
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

  // The same bytes as UTF-16 units: well-formed text survives the trip through UTF-8, and
  // a name has a byte form unless it holds a NUL or a surrogate that stands for nothing.
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  if (Paired(units, false)) Require(DecodeUtf8(EncodeUtf8(units)) == units);
  const auto unitsName = EncodeUtf8Name(units);
  Require(unitsName.has_value() ==
          (units.find(u'\0') == std::u16string::npos && Paired(units, true)));
  Require(!unitsName || *unitsName == EncodeUtf8(units));

  // Text that came as UTF-16 has its lone surrogates replaced, and then reaches bytes as
  // valid UTF-8 that reads back the same; well-formed text is left alone.
  std::u16string replaced = units;
  ReplaceLoneSurrogates(replaced);
  Require(Paired(replaced, false) && (replaced == units) == Paired(units, false));
  Require(DecodeUtf8(EncodeUtf8(replaced)) == replaced);
  // In a UTF-16 file: the units with lone surrogates replaced, as they lie in (little-endian)
  // memory, and byte-swapped for the other order.
  const std::string little = EncodeText(units, Encoding::kUtf16Le);
  std::string big = EncodeText(units, Encoding::kUtf16Be);
  for (size_t i = 0; i + 1 < big.size(); i += 2) std::swap(big[i], big[i + 1]);
  Require(little == big &&
          little == std::string_view(reinterpret_cast<const char*>(replaced.data()),
                                     replaced.size() * 2));
  return 0;
}
