// Finding the settings file beside the program and reading it into the store.
#include <unordered_set>

#include "settings/settings_file.h"
#include "text/wide_stream.h"

namespace jotlog {

std::u16string BuildSettingsPath(Platform& moduleHandle) {
  std::u16string path = moduleHandle.ModulePath();
  if (path.empty()) return path;
  const size_t nameStart = path.find_last_of(u"/\\") + 1;  // 0 when there is no folder
  const size_t n = path.size();
  if (n - nameStart >= 4 && path[n - 4] == u'.' && path.find(u'.', n - 3) == std::u16string::npos) {
    path.replace(n - 3, 3, u"ini");
  } else {
    path += u".ini";
  }
  return path;
}

SettingsFile::SettingsFile(Platform& moduleHandle, bool loadNow)
    : platform_(moduleHandle), path_(BuildSettingsPath(moduleHandle)) {
  if (loadNow) Load();
}

int SettingsFile::Load() {
  Clear();
  WideFileStream stream(platform_, path_, OpenMode::kRead);
  if (stream.failed()) {
    openFailed_ = 1;
    return 1;
  }
  // Each line is parsed as it is read. Only section `setting` is ever looked up, and of
  // two entries with one key only the first, so lines of other sections and later
  // entries of a key are not kept: a file of any length costs what its distinct
  // settings do.
  const std::u16string kept = u"setting";
  std::unordered_set<std::u16string_view> keys;
  Entries* entries = nullptr;
  while (!stream.eof()) {
    std::u16string line = stream.GetLine(kLineCapacity);
    // Stopped on a full buffer: the rest of that line is dropped, and a pair cut in two
    // keeps no half of it.
    if (stream.failed() && !stream.eof()) {
      stream.IgnoreRestOfLine();
      if (line.size() == kLineCapacity - 1 && line.back() >= 0xD800 && line.back() <= 0xDBFF) {
        line.back() = u'\xFFFD';
      }
    }
    if (line.empty() || line[0] == u'#') continue;
    if (line[0] == u'[' && line.back() == u']') {
      entries =
          line.compare(1, line.size() - 2, kept) == 0 ? &FindOrAddSection(kept, true) : nullptr;
      continue;
    }
    if (entries == nullptr) continue;
    const size_t equals = line.find(u'=');
    std::u16string key = line.substr(0, equals);
    if (keys.count(key) != 0) continue;
    entries->push_back(SettingsEntry{std::move(key), equals == std::u16string::npos
                                                         ? std::move(line)
                                                         : line.substr(equals + 1)});
    keys.insert(entries->back().key);
  }
  stream.Close();
  return 0;
}

}  // namespace jotlog
