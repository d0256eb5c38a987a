// The user's own configuration folder on Windows, for settings that the program's folder
// cannot hold (a program installed in Program Files, say): <Application Data>\jotlog.
#include <shlobj.h>

#include <string>
#include <vector>

#include "platform/win/platform_win.h"

namespace jotlog {

namespace {

// The folder "jotlog" in the system's folder `csidl` (made, with `makeFolders`, where
// missing); empty when it cannot be had. An empty buffer means no folder, whatever the
// result says.
std::wstring ProgramDataFolder(int csidl, bool makeFolders) {
  wchar_t folder[MAX_PATH + 1] = {};
  ::SHGetSpecialFolderPathW(nullptr, folder, csidl, makeFolders);
  folder[MAX_PATH] = L'\0';
  std::wstring path = folder;
  if (path.empty()) return {};
  if (path.back() != L'\\') path += L'\\';
  path += L"jotlog";
  if (makeFolders && !::CreateDirectoryW(path.c_str(), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return {};
  }
  return path;
}

#ifndef _WIN32_WCE
// The name the system finally opens for the file or folder `path`, without a trailing
// separator: links, junctions and subst drives followed, short names made long, in the
// usual form ("C:\...", "\\server\share\..."). Empty when it cannot be had.
std::wstring FinalName(const std::wstring& path) {
  std::wstring name;
  WinHandle handle(::CreateFileW(LongPathForm(path).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  for (DWORD size = MAX_PATH; handle.valid();) {
    name.resize(size);
    const DWORD length = ::GetFinalPathNameByHandleW(handle.get(), name.data(), size,
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length < size) {
      name.resize(length);
      break;
    }
    size = length;  // the size needed, its null included
  }
  if (name.empty()) {
    // No final name here (a file system that gives none): the full name in its long form.
    std::wstring full(::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    name.resize(full.empty() ? 0 : ::GetLongPathNameW(full.c_str(), nullptr, 0));
    name.resize(name.empty() ? 0
                             : ::GetLongPathNameW(full.c_str(), name.data(),
                                                  static_cast<DWORD>(name.size())));
    if (name.empty()) name = full;
  }
  if (name.starts_with(L"\\\\?\\UNC\\")) {
    name.replace(0, 8, L"\\\\");
  } else if (name.starts_with(L"\\\\?\\")) {
    name.erase(0, 4);
  }
  while (!name.empty() && (name.back() == L'\\' || name.back() == L'/')) name.pop_back();
  // A drive reached through this machine's own administrative share is that drive.
  if (name.starts_with(L"\\\\")) {
    std::vector<std::wstring> hosts = {L"localhost", L"127.0.0.1"};
    for (const auto format :
         {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified}) {
      wchar_t host[256] = {};
      DWORD size = static_cast<DWORD>(std::size(host));
      if (::GetComputerNameExW(format, host, &size) && size > 0) hosts.emplace_back(host, size);
    }
    name = LocalDriveForm(name, hosts);
  }
  return name;
}
#endif

}  // namespace

std::wstring LocalDriveForm(const std::wstring& name, const std::vector<std::wstring>& localHosts) {
  if (!name.starts_with(L"\\\\")) return name;
  const size_t hostEnd = name.find(L'\\', 2);
  // "\\host\X$", then the end or a separator.
  if (hostEnd == std::wstring::npos || name.size() < hostEnd + 3 || name[hostEnd + 2] != L'$' ||
      !((name[hostEnd + 1] | 0x20) >= L'a' && (name[hostEnd + 1] | 0x20) <= L'z') ||
      (name.size() > hostEnd + 3 && name[hostEnd + 3] != L'\\')) {
    return name;
  }
  const std::u16string host = Utf16(std::wstring_view(name).substr(2, hostEnd - 2));
  for (const std::wstring& local : localHosts) {
    // The same name, letter case aside.
    if (!local.empty() && local.size() == host.size() && IsInFolder(host, Utf16(local))) {
      return std::wstring{name[hostEnd + 1], L':'} + name.substr(hostEnd + 3);
    }
  }
  return name;
}

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
  // \Windows and keep their settings beside them.) Folders are compared by their final
  // names, so no other spelling of one (a short name, the \\?\ form, a link, a junction,
  // a subst drive) escapes the rule; a 32-bit program also checks the 64-bit Program Files.
  const std::wstring folder = FinalName(path->substr(0, path->find_last_of(L"\\/") + 1));
  std::vector<std::wstring> systemFolders;
  for (const int system : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_WINDOWS}) {
    wchar_t name[MAX_PATH + 1] = {};
    ::SHGetSpecialFolderPathW(nullptr, name, system, FALSE);
    name[MAX_PATH] = L'\0';
    systemFolders.push_back(name);
  }
  wchar_t programW6432[MAX_PATH + 1] = {};
  if (::GetEnvironmentVariableW(L"ProgramW6432", programW6432, MAX_PATH + 1) <= MAX_PATH) {
    systemFolders.push_back(programW6432);
  }
  for (const std::wstring& name : systemFolders) {
    const std::wstring systemFolder = name.empty() ? name : FinalName(name);
    if (!folder.empty() && !systemFolder.empty() &&
        IsInFolder(Utf16(folder), Utf16(systemFolder))) {
      return true;
    }
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
  const std::wstring path = ProgramDataFolder(CSIDL_APPDATA, makeFolders);
  return path.empty() ? std::u16string() : Utf16(path + L'\\' + Wide(fileName));
}

std::u16string WinPlatform::UnsavedMemosPath(bool makeFolders) {
#ifdef _WIN32_WCE
  // The device has no folder of the user's own data but the documents folder.
  (void)makeFolders;
  return u"\\My Documents\\jotlog unsaved.txt";
#else
  // <Local Application Data>\jotlog: the machine's own, not carried to others with the
  // user's roaming profile.
  const std::wstring path = ProgramDataFolder(CSIDL_LOCAL_APPDATA, makeFolders);
  return path.empty() ? std::u16string() : Utf16(path + L"\\unsaved.txt");
#endif
}

}  // namespace jotlog
