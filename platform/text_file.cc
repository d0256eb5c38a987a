#include "platform/text_file.h"

#include "platform/utf.h"

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
  for (char16_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes.push_back(little ? low : high);
    bytes.push_back(little ? high : low);
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

bool ByteTextFile::Ensure() {
  if (next_ < decoded_.size()) return true;
  decoded_.clear();
  next_ = 0;
  while (decoded_.empty() && !ended_) {
    char chunk[65536];
    const ptrdiff_t n = ReadBytes(chunk, sizeof chunk);
    if (n > 0) {
      undecoded_.append(chunk, static_cast<size_t>(n));
    } else {
      ended_ = true;
    }
    if (!signatureRead_) {
      if (undecoded_.size() < 3 && !ended_) continue;
      auto [encoding, length] = Signature(undecoded_);
      encoding_ = encoding;
      undecoded_.erase(0, length);
      signatureRead_ = true;
    }
    Decode();
  }
  return !decoded_.empty();
}

void ByteTextFile::Decode() {
  size_t used = 0;
  if (encoding_ == Encoding::kUtf8) {
    used = DecodeUtf8(undecoded_, ended_, decoded_);
  } else {
    const bool little = encoding_ == Encoding::kUtf16Le;
    for (; used + 1 < undecoded_.size(); used += 2) {
      auto first = static_cast<unsigned char>(undecoded_[used]);
      auto second = static_cast<unsigned char>(undecoded_[used + 1]);
      decoded_.push_back(static_cast<char16_t>(little ? first | second << 8 : second | first << 8));
    }
    if (ended_) used = undecoded_.size();  // an odd byte at the very end is dropped
  }
  undecoded_.erase(0, used);
}

}  // namespace jotlog
