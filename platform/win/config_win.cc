// The user's own configuration folder on Windows, for settings that the program's folder
// cannot hold (a program installed in Program Files, say): <Application Data>\jotlog.
#include <shlobj.h>

#include <string>

#include "platform/win/platform_win.h"

namespace jotlog {

bool WinPlatform::Exists(const std::u16string& name) {
  const auto path = WinPathFor(name);
  return path && ::GetFileAttributesW(LongPathForm(*path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WinPlatform::NewFileRefused(const std::u16string& name) {
  const auto path = WinPathFor(name);
  if (!path) return false;
  // In the long form, as the file is opened: a folder of the usual form's full length
  // would otherwise refuse every name for its length alone.
  if (::GetFileAttributesW(LongPathForm(*path).c_str()) != INVALID_FILE_ATTRIBUTES ||
      ::GetLastError() != ERROR_FILE_NOT_FOUND) {
    return false;
  }
#ifndef _WIN32_WCE
  // Programs installed for everybody never get a file written beside them, also not by an
  // administrator, who places one there on purpose. (On the device, programs live in
  // \Windows and keep their settings beside them.)
  for (const int system : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_WINDOWS}) {
    wchar_t folder[MAX_PATH + 1] = {};
    ::SHGetSpecialFolderPathW(nullptr, folder, system, FALSE);
    folder[MAX_PATH] = L'\0';
    std::u16string systemFolder = Utf16(folder);
    while (!systemFolder.empty() && systemFolder.back() == u'\\') systemFolder.pop_back();
    if (!systemFolder.empty() && IsInFolder(Utf16(*path), systemFolder)) return true;
  }
#endif
  // Only the folder can tell: ask it for a file of this process's own beside the name,
  // which the system deletes as it is closed, whatever becomes of the process.
  const std::wstring probe = *path + L"." + std::to_wstring(::GetCurrentProcessId()) + L".probe";
  WinHandle file(::CreateFileW(LongPathForm(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (file.valid()) return false;
  const DWORD error = ::GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
}

std::u16string WinPlatform::UserSettingsPath(const std::u16string& fileName, bool makeFolders) {
  // A bare name: no folder, drive or NUL in it.
  constexpr std::u16string_view kNotInName(u"\\/:\0", 4);
  if (fileName.empty() || fileName.find_first_of(kNotInName) != std::u16string::npos) return {};
  // As for the documents folder, an empty buffer means no folder, whatever the result.
  wchar_t folder[MAX_PATH + 1] = {};
  ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, makeFolders);
  folder[MAX_PATH] = L'\0';
  std::wstring path = folder;
  if (path.empty()) return {};
  if (path.back() != L'\\') path += L'\\';
  path += L"jotlog";
  if (makeFolders && !::CreateDirectoryW(path.c_str(), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return {};
  }
  return Utf16(path + L'\\' + Wide(fileName));
}

std::u16string WinPlatform::UnsavedMemosPath(bool makeFolders) {
#ifdef _WIN32_WCE
  // The device has no folder of the user's own data but the documents folder.
  (void)makeFolders;
  return u"\\My Documents\\jotlog unsaved.txt";
#else
  // <Local Application Data>\jotlog: the machine's own, not carried to others with the
  // user's roaming profile.
  wchar_t folder[MAX_PATH + 1] = {};
  ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_LOCAL_APPDATA, makeFolders);
  folder[MAX_PATH] = L'\0';
  std::wstring path = folder;
  if (path.empty()) return {};
  if (path.back() != L'\\') path += L'\\';
  path += L"jotlog";
  if (makeFolders && !::CreateDirectoryW(path.c_str(), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return {};
  }
  return Utf16(path + L"\\unsaved.txt");
#endif
}

}  // namespace jotlog
