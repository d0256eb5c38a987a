// Conversions between the core's UTF-16 text and the host's bytes.
//
// Bytes are read as UTF-8. A byte that is not part of a valid UTF-8 sequence becomes the
// lone surrogate U+DC80 + (byte - 0x80), and writing turns such a unit back into that
// byte, so any byte string survives the round trip unchanged. Text that arrives as UTF-16
// (the system's wide text, UTF-16 files) holds no lone surrogate once it has passed
// through ReplaceLoneSurrogates, so none of its units is taken for a byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace jotlog {

// Decodes as much of `bytes` as forms complete sequences and returns the number of bytes
// consumed. Unless `final`, an incomplete sequence at the end is left unconsumed (at most
// three bytes), for the caller to complete with the next chunk.
size_t DecodeUtf8(std::string_view bytes, bool final, std::u16string& out);

std::u16string DecodeUtf8(std::string_view bytes);

// For file contents: never fails. Lone surrogates outside U+DC80..U+DCFF, which stand for
// no byte, are written as U+FFFD: the result is valid UTF-8 but for the bytes that
// U+DC80..U+DCFF stand for.
std::string EncodeUtf8(std::u16string_view text);
// The same, appended to `out`.
void EncodeUtf8(std::u16string_view text, std::string& out);

// For names handed to the system: empty when the text holds a NUL or a lone surrogate
// outside U+DC80..U+DCFF, which no byte name stands for.
std::optional<std::string> EncodeUtf8Name(std::u16string_view text);

// Whether text[i] and text[i + 1] are a surrogate pair.
inline bool IsSurrogatePair(std::u16string_view text, size_t i) {
  return i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF && text[i + 1] >= 0xDC00 &&
         text[i + 1] <= 0xDFFF;
}

// For text that arrived as UTF-16: each surrogate that is not half of a pair becomes
// U+FFFD.
void ReplaceLoneSurrogates(std::u16string& text);

}  // namespace jotlog
