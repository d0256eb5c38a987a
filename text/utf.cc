#include "text/utf.h"

#include <algorithm>

namespace jotlog {

namespace {

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

void AppendCodePoint(char32_t cp, std::u16string& out) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

bool IsEscapedByte(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// Appends the UTF-8 bytes for `text`; `nameRules` makes NULs and unrepresentable lone
// surrogates a failure instead.
bool Encode(std::u16string_view text, bool nameRules, std::string& out) {
  if (const size_t least = out.size() + text.size(); out.capacity() < least) {
    out.reserve(std::max(least, 2 * out.capacity()));
  }
  for (size_t i = 0; i < text.size(); ++i) {
    // Runs of ASCII, most text, go across in one step.
    size_t ascii = i;
    while (ascii < text.size() && text[ascii] < 0x80 && text[ascii] != 0) ++ascii;
    if (ascii != i) {
      const size_t at = out.size();
      out.resize(at + (ascii - i));
      std::copy(text.begin() + i, text.begin() + ascii, out.begin() + at);
      i = ascii;
      if (i == text.size()) break;
    }
    char32_t cp = text[i];
    if (nameRules && cp == 0) return false;
    if (IsSurrogatePair(text, i)) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (IsEscapedByte(static_cast<char16_t>(cp))) {
      out.push_back(static_cast<char>(cp - 0xDC00));
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (nameRules) return false;
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

}  // namespace

size_t DecodeUtf8(std::string_view bytes, bool final, std::u16string& out) {
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, cp = lead & 0x07, minimum = 0x10000;
    }
    size_t have = 1;
    while (length != 0 && have < length && i + have < bytes.size() &&
           IsContinuation(static_cast<unsigned char>(bytes[i + have]))) {
      cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + have]) & 0x3F);
      ++have;
    }
    if (length != 0 && have < length && i + have == bytes.size() && !final) {
      break;  // may complete with the next chunk
    }
    bool valid = length != 0 && have == length && cp >= minimum && cp <= 0x10FFFF &&
                 !(cp >= 0xD800 && cp <= 0xDFFF);
    if (valid) {
      AppendCodePoint(cp, out);
      i += length;
    } else {
      out.push_back(static_cast<char16_t>(0xDC00 + lead));
      ++i;
    }
  }
  return i;
}

std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  DecodeUtf8(bytes, true, out);
  return out;
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  Encode(text, false, out);
  return out;
}

void EncodeUtf8(std::u16string_view text, std::string& out) { Encode(text, false, out); }

void ReplaceLoneSurrogates(std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsSurrogatePair(text, i)) {
      ++i;
    } else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
      text[i] = 0xFFFD;
    }
  }
}

std::optional<std::string> EncodeUtf8Name(std::u16string_view text) {
  std::string out;
  if (!Encode(text, true, out)) return std::nullopt;
  return out;
}

}  // namespace jotlog
