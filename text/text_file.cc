#include "text/text_file.h"

#include "text/utf.h"

namespace jotlog {

std::pair<Encoding, size_t> Signature(std::string_view start) {
  if (start.substr(0, 3) == "\xEF\xBB\xBF") return {Encoding::kUtf8, 3};
  if (start.substr(0, 2) == "\xFF\xFE") return {Encoding::kUtf16Le, 2};
  if (start.substr(0, 2) == "\xFE\xFF") return {Encoding::kUtf16Be, 2};
  return {Encoding::kUtf8, 0};
}

std::string EncodeText(std::u16string_view text, Encoding encoding) {
  std::string bytes;
  EncodeText(text, encoding, bytes);
  return bytes;
}

void EncodeText(std::u16string_view text, Encoding encoding, std::string& bytes) {
  if (encoding == Encoding::kUtf8) return EncodeUtf8(text, bytes);
  const bool little = encoding == Encoding::kUtf16Le;
  auto put = [&](char16_t unit) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes.push_back(little ? low : high);
    bytes.push_back(little ? high : low);
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsSurrogatePair(text, i)) {
      put(text[i++]);
      put(text[i]);
    } else {
      put(text[i] >= 0xD800 && text[i] <= 0xDFFF ? u'\uFFFD' : text[i]);
    }
  }
}

char16_t ByteTextFile::Get() {
  if (!Ensure()) return kWeof;
  char16_t c = decoded_[next_++];
  if (c == u'\r' && Ensure() && decoded_[next_] == u'\n') c = decoded_[next_++];
  return c;
}

bool ByteTextFile::Write(std::u16string_view text) {
  if (failed_) return false;
  EncodeText(text, encoding_, pending_);
  return true;
}

bool ByteTextFile::Flush() {
  if (failed_) return false;
  const bool written = pending_.empty() || WriteBytes(pending_);
  pending_.clear();
  failed_ = !written;
  return written;
}

namespace {

// How much of a file without a signature tells UTF-8 from a code page.
constexpr size_t kFirstBlock = 65536;

// Whether `text`, as DecodeUtf8 gives it, holds a unit that stands for a byte that is not
// UTF-8: a low surrogate in U+DC80..U+DCFF that is not the second half of a pair.
bool HoldsStrayBytes(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsSurrogatePair(text, i)) {
      ++i;
    } else if (text[i] >= 0xDC80 && text[i] <= 0xDCFF) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool ByteTextFile::Ensure() {
  if (next_ < decoded_.size()) return true;
  decoded_.clear();
  next_ = 0;
  while (decoded_.empty() && !ended_) {
    ReadChunk();
    if (!signatureRead_) {
      if (undecoded_.size() < 3 && !ended_) continue;
      auto [encoding, length] = Signature(undecoded_);
      encoding_ = encoding;
      undecoded_.erase(0, length);
      signatureRead_ = true;
      mode_ = legacyCodePage_ && length == 0 ? Mode::kUndecided : Mode::kAsIs;
    }
    if (mode_ == Mode::kUndecided) {
      // UTF-8 or the code page, by the first block: it is read before anything is decoded.
      if (undecoded_.size() < kFirstBlock && !ended_) continue;
      DecodeUtf8(undecoded_, ended_, decoded_);
      mode_ = HoldsStrayBytes(decoded_) ? Mode::kLegacy : Mode::kAsIs;
      decoded_.clear();
    }
    Decode();
  }
  return !decoded_.empty();
}

void ByteTextFile::ReadChunk() {
  char chunk[65536];
  const ptrdiff_t n = ReadBytes(chunk, sizeof chunk);
  if (n > 0) {
    undecoded_.append(chunk, static_cast<size_t>(n));
  } else {
    ended_ = true;
  }
}

void ByteTextFile::Decode() {
  size_t used = 0;
  if (mode_ == Mode::kLegacy) {
    // A byte below 0x40 is neither the first nor the second byte of a character of two in
    // any code page of the system's, so the text can be cut after one.
    size_t end = undecoded_.size();
    if (!ended_) {
      end = 0;
      for (size_t i = undecoded_.size(); i > 0; --i) {
        if (static_cast<unsigned char>(undecoded_[i - 1]) < 0x40) {
          end = i;
          break;
        }
      }
    }
    const std::string_view part(undecoded_.data(), end);
    if (!part.empty() && !DecodeLegacy(part, decoded_)) {
      DecodeUtf8(part, true, decoded_);
      ReplaceLoneSurrogates(decoded_);
    }
    used = end;
  } else if (encoding_ == Encoding::kUtf8) {
    used = DecodeUtf8(undecoded_, ended_, decoded_);
    // Where text is UTF-16, a byte that is not UTF-8 has no character: U+FFFD.
    if (legacyCodePage_) ReplaceLoneSurrogates(decoded_);
  } else {
    const bool little = encoding_ == Encoding::kUtf16Le;
    auto unit = [&](size_t at) {
      auto first = static_cast<unsigned char>(undecoded_[at]);
      auto second = static_cast<unsigned char>(undecoded_[at + 1]);
      return static_cast<char16_t>(little ? first | second << 8 : second | first << 8);
    };
    for (; used + 1 < undecoded_.size(); used += 2) {
      const char16_t c = unit(used);
      if (c >= 0xD800 && c <= 0xDBFF) {
        if (used + 3 < undecoded_.size()) {
          const char16_t next = unit(used + 2);
          if (next >= 0xDC00 && next <= 0xDFFF) {
            decoded_.push_back(c);
            decoded_.push_back(next);
            used += 2;
            continue;
          }
        } else if (!ended_) {
          break;  // its other half may come with the next piece
        }
        decoded_.push_back(u'\uFFFD');
      } else {
        decoded_.push_back(c >= 0xDC00 && c <= 0xDFFF ? u'\uFFFD' : c);
      }
    }
    if (ended_) used = undecoded_.size();  // an odd byte at the very end is dropped
  }
  undecoded_.erase(0, used);
}

}  // namespace jotlog
