// The user's own configuration folder on POSIX hosts, for settings that the program's
// folder cannot hold (a program installed in /usr/bin, say), and the usage text that
// names the files a run would use.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform_posix.h"
#include "platform/utf.h"
#include "settings/default_settings.h"
#include "settings/keys.h"

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

}  // namespace

bool PosixPlatform::NewFileRefused(const std::u16string& name) {
  const auto path = HostPathFor(name);
  if (!path) return false;
  struct stat st;
  if (::lstat(path->c_str(), &st) == 0 || errno != ENOENT) return false;
  const size_t slash = path->rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path->substr(0, slash);
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
  if (makeFolders && !MakeFolders(folder)) return {};
  return DecodeUtf8(folder + "/" + *name);
}

std::string UsageText(PosixPlatform& platform) {
  SettingsFile settings(platform, false);
  settings.SetPath(SettingsPathForRun(platform));
  settings.Load();
  const std::u16string defaultFileName = keys::kDefaultFileName;
  const std::u16string& fileName =
      settings.GetWithDefault(keys::kSection, keys::kFileName, defaultFileName, false);
  const std::string memoFile = fileName == keys::kClipboard
                                   ? "(the clipboard)"
                                   : HostPathFor(fileName).value_or("(a name with no file)");
  const std::string settingsFile = settings.path().empty()
                                       ? "(none: the program's path cannot be had)"
                                       : EncodeUtf8(settings.path());
  std::string program = EncodeUtf8(platform.ModulePath());
  program = program.substr(program.rfind('/') + 1);
  if (program.empty()) program = "jotlog";
  return "Usage: " + program + " [MEMO]...\n" +
         "Appends MEMO (or the clipboard's text, as the settings say), stamped with the date\n"
         "and time, to the memo file, shows whether it was saved, and ends.\n"
         "  settings file: " +
         settingsFile + "\n" + "  memo file:     " + memoFile + "\n" + program +
         " --version prints the version.\n";
}

}  // namespace jotlog
