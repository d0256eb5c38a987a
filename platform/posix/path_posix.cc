// Where things are on POSIX hosts: the program's own path, and the host path for a file
// name, device paths ("\My Documents\...") included.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

namespace jotlog {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

// The home folder: $HOME, else the user's line of /etc/passwd (the program is linked
// statically, so it reads the file itself rather than load the C library's name services).
// A HOME that is not an absolute path is as unset: it would put the user's files wherever
// the program was started.
std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  const std::string uid = std::to_string(::getuid());
  const std::string passwd = ReadRegularFile("/etc/passwd", 16 << 20).value_or("");
  for (std::string_view rest = passwd; !rest.empty();) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    // name:password:uid:gid:comment:home:shell
    std::string_view fields[7];
    size_t count = 0;
    for (; count < 7 && !line.empty(); ++count) {
      const size_t colon = line.find(':');
      fields[count] = line.substr(0, colon);
      line.remove_prefix(colon == std::string_view::npos ? line.size() : colon + 1);
    }
    if (count >= 6 && fields[2] == uid && !fields[5].empty()) return std::string(fields[5]);
  }
  return "/";
}

namespace {

// The documents folder named in the user's XDG user-dirs file, when it names one.
std::optional<std::string> XdgDocumentsDirectory(const std::string& home) {
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    config = home + "/.config";
  }
  // A named pipe or other special file in its place is passed over, never waited on.
  const auto dirs = ReadRegularFile(config + "/user-dirs.dirs", 1 << 20);
  if (!dirs) return std::nullopt;
  // The shell that reads the file (as the desktop's xdg-user-dir does) keeps the last
  // value the name is given.
  const std::string_view prefix = "XDG_DOCUMENTS_DIR=";
  std::optional<std::string_view> value;
  for (std::string_view rest = *dirs; !rest.empty();) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.substr(0, prefix.size()) == prefix) value = line.substr(prefix.size());
  }
  if (!value) return std::nullopt;
  if (value->size() >= 2 && value->front() == '"' && value->back() == '"') {
    *value = value->substr(1, value->size() - 2);
  }
  if (value->substr(0, 5) == "$HOME") return home + std::string(value->substr(5));
  if (!value->empty() && value->front() == '/') return std::string(*value);
  return std::nullopt;
}

std::string DocumentsDirectory() {
  const std::string home = HomeDirectory();
  if (auto xdg = XdgDocumentsDirectory(home); xdg && IsDirectory(*xdg)) return *xdg;
  if (std::string documents = home + "/Documents"; IsDirectory(documents)) return documents;
  return home;
}

}  // namespace

std::optional<std::string> HostPathFor(const std::u16string& name) {
  // "~/" is the home folder, as the shell has it.
  if (name.starts_with(u"~/")) {
    auto rest = EncodeUtf8Name(name.substr(1));
    if (!rest) return std::nullopt;
    return HomeDirectory() + *rest;
  }
  const bool devicePath =
      !name.empty() && name[0] == u'\\' && (name.size() == 1 || name[1] != u'\\');
  if (!devicePath) return EncodeUtf8Name(name);

  std::u16string rest = name.substr(1);
  for (char16_t& c : rest) {
    if (c == u'\\') c = u'/';
  }
  auto bytes = EncodeUtf8Name(rest);
  if (!bytes) return std::nullopt;
  const std::string_view documents = "My Documents";
  if (bytes->compare(0, documents.size(), documents) == 0 &&
      (bytes->size() == documents.size() || (*bytes)[documents.size()] == '/')) {
    return DocumentsDirectory() + bytes->substr(documents.size());
  }
  return HomeDirectory() + "/" + *bytes;
}

std::u16string PosixPlatform::ResolvedPath(const std::u16string& name) {
  auto path = HostPathFor(name);
  if (!path || path->empty()) return {};
  // A relative name is in the current folder.
  if ((*path)[0] != '/') {
    if (char* cwd = ::getcwd(nullptr, 0); cwd != nullptr) {
      path = std::string(cwd) + (cwd[1] != '\0' ? "/" : "") + *path;
      std::free(cwd);
    }
  }
  return DecodeUtf8(*path);
}

std::u16string PosixPlatform::ModulePath() {
  std::string path(256, '\0');
  while (true) {
    ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      return DecodeUtf8(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace jotlog
