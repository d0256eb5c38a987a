// Finding the settings file beside the program and reading it into the store.
#include "platform/wide_stream.h"
#include "settings/settings_file.h"

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

std::vector<std::u16string> SettingsFile::ReadLines() {
  std::vector<std::u16string> lines;
  WideFileStream stream(platform_, path_, OpenMode::kRead);
  if (stream.failed()) {
    openFailed_ = 1;
    return lines;
  }
  while (!stream.eof()) {
    lines.push_back(stream.GetLine(kLineCapacity));
    // Stopped on a full buffer: the rest of that line is dropped.
    if (stream.failed() && !stream.eof()) stream.IgnoreRestOfLine();
  }
  stream.Close();
  return lines;
}

int SettingsFile::Load() {
  Clear();
  const std::vector<std::u16string> lines = ReadLines();
  if (openFailed_) return 1;
  std::u16string section;
  for (const std::u16string& line : lines) {
    if (line.empty() || line[0] == u'#') continue;
    if (line[0] == u'[' && line.back() == u']') {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const size_t equals = line.find(u'=');
    if (equals == std::u16string::npos) {
      AddEntry(section, line, line);
    } else {
      AddEntry(section, line.substr(0, equals), line.substr(equals + 1));
    }
  }
  return 0;
}

}  // namespace jotlog
