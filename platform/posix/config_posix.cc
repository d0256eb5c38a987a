// The user's own configuration folder on POSIX hosts, for settings that the program's
// folder cannot hold (a program installed in /usr/bin, say).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/helper_posix.h"
#include "platform/posix/platform_posix.h"
#include "text/utf.h"

namespace jotlog {

namespace {

// Makes `folder` and each missing folder on the way, private to the user; true when it
// is a folder in the end.
bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string step = folder.substr(0, slash);
    if (::mkdir(step.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st;
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether MakeFolders could make `folder`: nothing on the way is anything but a folder.
bool CouldBeFolder(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    struct stat st;
    if (::stat(folder.substr(0, slash).c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return false;
    if (slash == std::string::npos) return true;
  }
}

bool IsSystemFolder(const std::string& folder) {
  for (const char* system :
       {"/usr/bin", "/usr/sbin", "/bin", "/sbin", "/usr/local/bin", "/usr/local/sbin"}) {
    if (folder == system) return true;
  }
  return false;
}

// The folder of the absolute name `path`, read as the system reads it without following
// links: empty parts and "." dropped, ".." taking away the part before it. (Written out:
// std::filesystem would bring the C++ library's locales into every start.)
std::string FolderOf(const std::string& path) {
  std::vector<std::string> parts;
  for (size_t start = 0, end; start < path.size(); start = end + 1) {
    end = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
  }
  if (!parts.empty()) parts.pop_back();  // the program's own name
  std::string folder;
  for (const std::string& part : parts) folder += "/" + part;
  return folder.empty() ? "/" : folder;
}

}  // namespace

bool PosixPlatform::StartedFromSystemFolder() const {
  // The name as started, looked up on PATH when it holds no slash, as the shell found it;
  // never resolved through links.
  std::string name =
      startedAs_.find('/') == std::string::npos ? FindOnPath(startedAs_) : startedAs_;
  if (name.empty()) return false;
  if (name[0] != '/') {
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) return false;
    name = std::string(cwd) + "/" + name;
    std::free(cwd);
  }
  return IsSystemFolder(FolderOf(name));
}

std::optional<std::string> PrivateStateFolder(bool make) {
  // As the XDG rules have it: a value that is not an absolute path is ignored.
  const char* state = std::getenv("XDG_STATE_HOME");
  const std::string folder =
      (state != nullptr && state[0] == '/' ? state : HomeDirectory() + "/.local/state") + "/jotlog";
  if (!make) {
    if (!CouldBeFolder(folder)) return std::nullopt;
    return folder;
  }
  if (!MakeFolders(folder)) return std::nullopt;
  // Ours and no one else's: a folder (not a link to one) of this user's, closed to others.
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0) return std::nullopt;
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
    errno = EPERM;
    return std::nullopt;
  }
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return std::nullopt;
  return folder;
}

bool PosixPlatform::Exists(const std::u16string& name) {
  const auto path = HostPathFor(name);
  struct stat st;
  return path && ::lstat(path->c_str(), &st) == 0;
}

bool PosixPlatform::NewFileRefused(const std::u16string& name) {
  const auto path = HostPathFor(name);
  if (!path) return false;
  struct stat st;
  if (::lstat(path->c_str(), &st) == 0 || errno != ENOENT) return false;
  const std::string folder = FolderOf(*path);
  // Programs installed for everybody never get a file written beside them, also not by
  // root: an administrator places one there on purpose. A program started through such a
  // folder counts as installed there, wherever the link it was started by points.
  if (IsSystemFolder(folder)) return true;
  if (const auto module = HostPathFor(ModulePath());
      module && FolderOf(*module) == folder && StartedFromSystemFolder()) {
    return true;
  }
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return false;
  return errno == EACCES || errno == EPERM || errno == EROFS;
}

std::u16string PosixPlatform::UserSettingsPath(const std::u16string& fileName, bool makeFolders) {
  const auto name = EncodeUtf8Name(fileName);
  if (!name || name->empty() || name->find('/') != std::string::npos) return {};
  // As the XDG rules have it: a value that is not an absolute path is ignored.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder =
      config != nullptr && config[0] == '/' ? config : HomeDirectory() + "/.config";
  folder += "/jotlog";
  if (makeFolders ? !MakeFolders(folder) : !CouldBeFolder(folder)) return {};
  return DecodeUtf8(folder + "/" + *name);
}

}  // namespace jotlog

namespace jotlog {

std::u16string PosixPlatform::UnsavedMemosPath(bool makeFolders) {
  const auto folder = PrivateStateFolder(makeFolders);
  return folder ? DecodeUtf8(*folder + "/unsaved.txt") : std::u16string();
}

}  // namespace jotlog
