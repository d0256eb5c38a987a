// Where things are on Windows: the program's own path, and the Windows name for a file
// name, "\My Documents\..." included.
#include <shlobj.h>

#include "platform/platform_win.h"

namespace jotlog {

namespace {

// Whether `name` is `folder` or lies below it, letter case aside as the file system
// does.
bool IsInFolder(std::u16string_view name, std::u16string_view folder) {
  if (name.size() < folder.size()) return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; };
    if (lower(name[i]) != lower(folder[i])) return false;
  }
  return name.size() == folder.size() || name[folder.size()] == u'\\' ||
         name[folder.size()] == u'/';
}

}  // namespace

std::optional<std::wstring> WinPathFor(const std::u16string& name) {
  // A NUL would end the name early and open another file.
  if (name.find(u'\0') != std::u16string::npos) return std::nullopt;
  constexpr std::u16string_view kDocuments = u"\\My Documents";
  if (!IsInFolder(name, kDocuments)) return Wide(name);
  // The result is not to be trusted on every version: an empty buffer means no folder.
  wchar_t folder[MAX_PATH + 1] = {};
  ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PERSONAL, FALSE);
  folder[MAX_PATH] = L'\0';
  std::wstring path = folder;
  if (path.empty()) return std::nullopt;
  if (path.back() == L'\\') path.pop_back();
  return path + Wide(std::u16string_view(name).substr(kDocuments.size()));
}

std::u16string WinPlatform::ModulePath() {
  // A result that fills the buffer may be cut short: grow the buffer and ask again.
  constexpr size_t kLongestPath = 32768;
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD n = ::GetModuleFileNameW(instance_, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return Utf16(path);
    }
    if (path.size() > kLongestPath) return {};
    path.resize(path.size() * 2);
  }
}

}  // namespace jotlog
