// UTF-8 to UTF-16 and back is lossless for any bytes, and well-formed UTF-16 survives the other
// way; names, lone surrogates replaced, UTF-16 files. (Decoding in pieces: settings_fuzz.cc.)
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "text/text_file.h"
#include "text/utf.h"

namespace {

// Whether every surrogate is half of a pair, or with `escapes` a lone byte's U+DC80..U+DCFF.
bool Paired(std::u16string_view units, bool escapes) {
  auto in = [](char16_t unit, char16_t low, char16_t high) { return unit >= low && unit <= high; };
  for (size_t i = 0; i < units.size(); ++i) {
    if (in(units[i], 0xD800, 0xDBFF) && i + 1 < units.size() && in(units[i + 1], 0xDC00, 0xDFFF))
      ++i;
    else if (in(units[i], 0xD800, 0xDFFF) && !(escapes && in(units[i], 0xDC80, 0xDCFF)))
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace jotlog;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  bool ok = EncodeUtf8(DecodeUtf8(bytes)) == bytes;

  // The bytes as UTF-16 units; those after the decoded bytes (no lone high surrogate at
  // their end) have a name unless they hold a NUL or a surrogate that stands for nothing.
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  if (Paired(units, false)) ok &= DecodeUtf8(EncodeUtf8(units)) == units;
  const std::u16string both = DecodeUtf8(bytes) + units;
  const auto name = EncodeUtf8Name(both);
  const bool nameable = both.find(u'\0') == std::u16string::npos && Paired(both, true);
  ok &= name ? nameable && *name == EncodeUtf8(both) : !nameable;

  // Lone surrogates replaced leave the text well-formed; well-formed text is left alone. In
  // a UTF-16 file: the replaced units as they lie in (little-endian) memory, or byte-swapped.
  std::u16string replaced = units;
  ReplaceLoneSurrogates(replaced);
  ok &= Paired(replaced, false) && (replaced == units) == Paired(units, false);
  std::string big = EncodeText(units, Encoding::kUtf16Be);
  for (size_t i = 0; i + 1 < big.size(); i += 2) std::swap(big[i], big[i + 1]);
  ok &= EncodeText(units, Encoding::kUtf16Le) == big &&
        big == std::string(reinterpret_cast<const char*>(replaced.data()), replaced.size() * 2);
  if (!ok) std::abort();
  return 0;
}
