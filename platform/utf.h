// Conversions between the core's UTF-16 text and the host's bytes.
//
// Bytes are read as UTF-8. A byte that is not part of a valid UTF-8 sequence becomes the
// lone surrogate U+DC80 + (byte - 0x80), and writing turns such a unit back into that
// byte, so any byte string survives the round trip unchanged.
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

// For file contents: never fails. Lone surrogates outside U+DC80..U+DCFF are written in
// the three-byte form UTF-8 would give them.
std::string EncodeUtf8(std::u16string_view text);
// The same, appended to `out`.
void EncodeUtf8(std::u16string_view text, std::string& out);

// For names handed to the system: empty when the text holds a NUL or a lone surrogate
// outside U+DC80..U+DCFF, which no byte name stands for.
std::optional<std::string> EncodeUtf8Name(std::u16string_view text);

}  // namespace jotlog
