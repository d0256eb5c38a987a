// Settings bytes through the real loader, read in pieces of the size the first byte sets
// (even sizes as a host with a legacy code page), against the README's rules over the whole.
#include <algorithm>
#include <cstdlib>
#include <set>

#include "settings/settings_file.h"
#include "tests/fake_platform.h"
#include "text/utf.h"

namespace jotlog {
namespace {

// The README's rules over the text (UTF-16 after its signature, lone surrogates replaced, or
// UTF-8, where a host whose text is UTF-16 (`wide`) replaces bytes that are not UTF-8): each
// section's name and a line feed, then its entries' keys and values NUL-ended.
std::u16string Parse(std::string_view bytes, bool wide) {
  const bool little = bytes.starts_with("\xFF\xFE"),
             utf16 = little || bytes.starts_with("\xFE\xFF");
  std::u16string text =
      utf16 ? u"" : DecodeUtf8(bytes.substr(bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0));
  for (size_t i = 2; utf16 && i + 1 < bytes.size(); i += 2) {
    const uint8_t first = bytes[i], second = bytes[i + 1];
    text.push_back(static_cast<char16_t>(little ? first | second << 8 : first << 8 | second));
  }
  if (utf16 || wide) ReplaceLoneSurrogates(text);
  text.resize(std::min(text.size(), text.find(u'\xFFFF')));  // U+FFFF ends the input
  std::u16string store;
  std::set<std::u16string> keys;
  bool kept = false;  // in section `setting`, the only one ever looked up
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.size(), text.find(u'\n', start));
    std::u16string line = text.substr(start, end - start);
    start = end + 1;
    if (line.ends_with(u'\r') && end < text.size()) line.pop_back();  // CR LF
    // Cut at 1023 units, a pair cut there leaving U+FFFD, and at a NUL.
    if (line.size() > 1023 && line[1022] >= 0xD800 && line[1022] <= 0xDBFF) line[1022] = u'\xFFFD';
    line.resize(std::min({line.size(), size_t{1023}, line.find(u'\0')}));
    if (line.empty() || line[0] == u'#') continue;
    const size_t equals = line.find(u'=');
    if (line.front() == u'[' && line.back() == u']') {
      kept = line == u"[setting]";
      if (kept && store.empty()) store = u"setting\n";
    } else if (kept && keys.insert(line.substr(0, equals)).second) {  // the first of a key
      // A line without '=' is its own key and value (npos + 1 is 0).
      store += line.substr(0, equals) + u'\0' + line.substr(equals + 1) + u'\0';
    }
  }
  return store;
}

}  // namespace
}  // namespace jotlog

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace jotlog;
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  FakePlatform platform;
  const size_t piece = data[0] < 128 ? data[0] + 1u : 65536;
  platform.files[BuildSettingsPath(platform)] = {.content = bytes, .piece = piece};
  SettingsFile settings(platform, true);
  std::u16string loaded;
  for (const SettingsSection& section : settings.sections()) {
    loaded += section.name + u'\n';
    for (const auto& entry : section.entries) loaded += entry.key + u'\0' + entry.value + u'\0';
  }
  if (settings.openFailed() != 0 || loaded != Parse(bytes, piece % 2 == 0)) std::abort();
  return 0;
}
