// UTF-8 bytes to UTF-16 and back: lossless for any bytes, names unchanged unless they hold
// a NUL. The other way, well-formed UTF-16 survives, names refuse what no byte name stands
// for, lone surrogates replaced leave valid text. (Files read in pieces: settings_fuzz.cc.)
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
  auto in = [](char16_t unit, char16_t low, char16_t high) { return unit >= low && unit <= high; };
  for (size_t i = 0; i < units.size(); ++i) {
    if (in(units[i], 0xD800, 0xDBFF) && i + 1 < units.size() && in(units[i + 1], 0xDC00, 0xDFFF)) {
      ++i;
    } else if (in(units[i], 0xD800, 0xDFFF) && !(escapes && in(units[i], 0xDC80, 0xDCFF))) {
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
  // Read as a piece of a file, only an unfinished sequence at its end waits for the next.
  std::u16string partial;
  Require(size - DecodeUtf8(bytes, false, partial) <= 3 && text.starts_with(partial));

  const auto name = EncodeUtf8Name(text);
  Require(name ? *name == bytes : bytes.find('\0') != std::string_view::npos);

  // The same bytes as UTF-16 units: well-formed text survives the trip through UTF-8, and
  // a name has a byte form unless it holds a NUL or a surrogate that stands for nothing.
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  if (Paired(units, false)) Require(DecodeUtf8(EncodeUtf8(units)) == units);
  const auto unitsName = EncodeUtf8Name(units);
  const bool nameable = units.find(u'\0') == std::u16string::npos && Paired(units, true);
  Require(unitsName ? nameable && *unitsName == EncodeUtf8(units) : !nameable);

  // Text that came as UTF-16 has its lone surrogates replaced, which leaves it well-formed
  // (and so read back the same from UTF-8, as above); well-formed text is left alone.
  std::u16string replaced = units;
  ReplaceLoneSurrogates(replaced);
  Require(Paired(replaced, false) && (replaced == units) == Paired(units, false));
  // In a UTF-16 file: the units with lone surrogates replaced, as they lie in (little-endian)
  // memory, and byte-swapped for the other order.
  std::string big = EncodeText(units, Encoding::kUtf16Be);
  for (size_t i = 0; i + 1 < big.size(); i += 2) std::swap(big[i], big[i + 1]);
  Require(EncodeText(units, Encoding::kUtf16Le) == big &&
          big == std::string(reinterpret_cast<const char*>(replaced.data()), replaced.size() * 2));
  return 0;
}
