// Settings file bytes through the real loader (the on-disk decoding, the line reader and
// the parser), checked against a reading of the file written from the README's rules
// alone. The first byte sets the size of the pieces the file is read in, and an even size
// reads it as a host with a code page for older files does.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "platform/text_file.h"
#include "settings/settings_file.h"
#include "tests/fake_platform.h"

namespace jotlog {
namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

class BytesFile : public ByteTextFile {
 public:
  // Even pieces read as a Windows host does, where text that is not UTF-8 may be in the
  // code page: none here, so such text is read as it is everywhere else.
  BytesFile(std::string_view bytes, size_t piece)
      : ByteTextFile(Encoding::kUtf8, piece % 2 == 0), bytes_(bytes), piece_(piece) {}
  bool Close() override { return true; }

 protected:
  ptrdiff_t ReadBytes(char* buffer, size_t size) override {
    const size_t n = std::min({size, piece_, bytes_.size()});
    std::copy_n(bytes_.data(), n, buffer);
    bytes_.remove_prefix(n);
    return static_cast<ptrdiff_t>(n);
  }
  bool WriteBytes(std::string_view) override { return false; }

 private:
  std::string_view bytes_;
  size_t piece_;
};

// The fake platform, with the settings file served from the bytes.
class BytesPlatform : public FakePlatform {
 public:
  BytesPlatform(std::string_view bytes, size_t piece) : bytes_(bytes), piece_(piece) {}
  std::unique_ptr<TextFile> OpenTextFile(const std::u16string&, OpenMode mode) override {
    return mode == OpenMode::kRead ? std::make_unique<BytesFile>(bytes_, piece_) : nullptr;
  }

 private:
  std::string_view bytes_;
  size_t piece_;
};

// The file's text: UTF-16 after its signature, each lone surrogate U+FFFD, else UTF-8 (a
// signature dropped) in which a byte outside a well-formed sequence stands for itself as
// U+DC80..U+DCFF.
std::u16string Text(std::string_view bytes) {
  std::u16string text;
  auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    const bool little = at(0) == 0xFF;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(
          static_cast<char16_t>(little ? at(i) | at(i + 1) << 8 : at(i) << 8 | at(i + 1)));
    }
    auto high = [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    auto low = [](char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
    for (size_t i = 0; i < text.size(); ++i) {
      if (high(text[i]) && i + 1 < text.size() && low(text[i + 1])) {
        ++i;
      } else if (high(text[i]) || low(text[i])) {
        text[i] = 0xFFFD;
      }
    }
    return text;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t lead = at(i);
    const size_t length = lead < 0x80                    ? 1
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    // The second byte's range (Unicode's table of well-formed sequences).
    const uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    bool wellFormed = length != 0 && i + length <= bytes.size();
    for (size_t k = 1; wellFormed && k < length; ++k) {
      wellFormed = k == 1 ? at(i + k) >= low && at(i + k) <= high : (at(i + k) & 0xC0) == 0x80;
    }
    if (!wellFormed) {
      text.push_back(static_cast<char16_t>(0xDC00 + lead));
      ++i;
      continue;
    }
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) cp = cp << 6 | (at(i + k) & 0x3F);
    if (cp >= 0x10000) {
      text.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return text;
}

using Entries = std::vector<std::pair<std::u16string, std::u16string>>;
using Store = std::vector<std::pair<std::u16string, Entries>>;

// The entries of section `setting` the README's syntax gives for the text.
Store Parse(std::u16string text) {
  text.resize(std::min(text.size(), text.find(u'\xFFFF')));  // U+FFFF ends the input
  Store store;
  std::u16string section;
  for (size_t start = 0; start <= text.size();) {
    size_t end = std::min(text.size(), text.find(u'\n', start));
    std::u16string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == u'\r' && end < text.size()) line.pop_back();  // CR LF
    if (line.size() > 1023) {
      line.resize(1023);
      if (line.back() >= 0xD800 && line.back() <= 0xDBFF) line.back() = u'\xFFFD';
    }
    line.resize(std::min(line.size(), line.find(u'\0')));
    if (line.empty() || line[0] == u'#') continue;
    if (line.size() >= 2 && line.front() == u'[' && line.back() == u']') {
      section = line.substr(1, line.size() - 2);
      if (section == u"setting" && store.empty()) store.emplace_back(section, Entries{});
      continue;
    }
    const size_t equals = line.find(u'=');
    const std::u16string key = line.substr(0, equals);
    const std::u16string value = equals == std::u16string::npos ? line : line.substr(equals + 1);
    if (section != u"setting") continue;  // no other section is ever looked up
    Entries& entries = store.front().second;
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const auto& entry) { return entry.first == key; })) {
      entries.emplace_back(key, value);  // of two entries with one key, the first counts
    }
  }
  return store;
}

}  // namespace
}  // namespace jotlog

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace jotlog;
  if (size == 0) return 0;
  const size_t piece = data[0] < 128 ? data[0] + 1 : 65536;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  BytesPlatform platform(bytes, piece);
  SettingsFile settings(platform, true);
  Require(settings.openFailed() == 0);
  Store loaded;
  for (const SettingsSection& section : settings.sections()) {
    loaded.emplace_back(section.name, Entries{});
    for (const SettingsEntry& entry : section.entries) {
      loaded.back().second.emplace_back(entry.key, entry.value);
    }
  }
  Require(loaded == Parse(Text(bytes)));
  return 0;
}
