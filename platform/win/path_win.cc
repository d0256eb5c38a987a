// Where things are on Windows: the program's own path, and the Windows name for a file
// name, "\My Documents\..." included.
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "platform/win/platform_win.h"

namespace jotlog {

bool IsInFolder(std::u16string_view name, std::u16string_view folder) {
  if (name.size() < folder.size()) return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; };
    if (lower(name[i]) != lower(folder[i])) return false;
  }
  return name.size() == folder.size() || name[folder.size()] == u'\\' ||
         name[folder.size()] == u'/';
}

std::optional<std::wstring> WinPathFor(const std::u16string& name) {
  // A NUL would end the name early and open another file.
  if (name.find(u'\0') != std::u16string::npos) {
    ::SetLastError(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  constexpr std::u16string_view kDocuments = u"\\My Documents";
  if (!IsInFolder(name, kDocuments)) return Wide(name);
  // The result is not to be trusted on every version: an empty buffer means no folder.
  wchar_t folder[MAX_PATH + 1] = {};
  ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PERSONAL, FALSE);
  folder[MAX_PATH] = L'\0';
  std::wstring path = folder;
  if (path.empty()) {
    ::SetLastError(kErrorNoDocumentsFolder);
    return std::nullopt;
  }
  if (path.back() == L'\\') path.pop_back();
  return path + Wide(std::u16string_view(name).substr(kDocuments.size()));
}

std::wstring LongPathForm(const std::wstring& path) {
  if (path.size() < MAX_PATH) return path;
  auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  std::wstring root;
  size_t rest = 0;
  const bool letter = (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
  if (letter && path[1] == L':' && separator(path[2])) {
    root = L"\\\\?\\" + path.substr(0, 2);
    rest = 2;
  } else if (separator(path[0]) && separator(path[1]) && path[2] != L'?' && path[2] != L'.') {
    // \\server\share stays as it is; the parts after it are resolved.
    const size_t server = std::find_if(path.begin() + 2, path.end(), separator) - path.begin();
    const size_t share =
        std::find_if(path.begin() + std::min(server + 1, path.size()), path.end(), separator) -
        path.begin();
    if (server == 2 || server >= path.size() - 1 || share == server + 1) return path;
    root = L"\\\\?\\UNC\\" + path.substr(2, server - 2) + L"\\" +
           path.substr(server + 1, share - server - 1);
    rest = share;
  } else {
    return path;  // relative, rooted in the current drive, or already in a device form
  }
  std::vector<std::wstring> parts;
  for (size_t at = rest; at < path.size();) {
    const size_t end = std::find_if(path.begin() + at, path.end(), separator) - path.begin();
    std::wstring part = path.substr(at, end - at);
    // As Windows makes a name of the usual form, each part loses its trailing dots and
    // blanks ("memo.txt. " is "memo.txt"), ".." alone excepted.
    if (part != L"..") part.erase(part.find_last_not_of(L". ") + 1);
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty()) {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::wstring result = root;
  for (const std::wstring& part : parts) result += L"\\" + part;
  // A name that ends in a separator names a folder, and still does.
  if (separator(path.back()) || parts.empty()) result += L'\\';
  return result;
}

bool WinPlatform::ExpandFileName(std::u16string& name) {
#ifndef _WIN32_WCE
  // On the desktop, %NAME% is the environment's, as in a shortcut's target; the device has
  // no environment. A NUL is left for the open to refuse.
  if (name.find(u'%') == std::u16string::npos || name.find(u'\0') != std::u16string::npos) {
    return true;
  }
  const std::wstring wide = Wide(name);
  ::SetLastError(NO_ERROR);
  // The environment may grow between the two calls: then it is asked again.
  for (DWORD size = ::ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0); size != 0;) {
    std::wstring expanded(size, L'\0');
    const DWORD length = ::ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), size);
    if (length == 0) break;
    if (length <= size) {
      expanded.resize(length - 1);
      name = Utf16(expanded);
      return true;
    }
    size = length;
  }
  if (::GetLastError() == NO_ERROR) ::SetLastError(kErrorNotExpanded);
  return false;
#else
  (void)name;
  return true;
#endif
}

std::u16string WinPlatform::ResolvedPath(const std::u16string& name) {
  const auto path = WinPathFor(name);
  if (!path || path->empty()) return {};
#ifndef _WIN32_WCE
  // Made full as Windows makes it to open the file: relative to the current folder, or to
  // the current folder of a drive ("Z:"), "." and ".." resolved. (The device has no
  // current folder: every name there is full.)
  std::wstring full(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length =
        ::GetFullPathNameW(path->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) break;
    if (length < full.size()) {
      full.resize(length);
      return Utf16(full);
    }
    full.resize(length);
  }
#endif
  return Utf16(*path);
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
