#include "platform/platform_posix.h"

#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <string_view>
#include <vector>

#include "platform/utf.h"

namespace jotlog {

namespace {

// Writes all of `bytes` to `fd`, resuming after partial writes and interruptions.
bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return "/";
}

// The documents folder named in the user's XDG user-dirs file, when it names one.
std::optional<std::string> XdgDocumentsDirectory(const std::string& home) {
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    config = home + "/.config";
  }
  std::ifstream dirs(config + "/user-dirs.dirs");
  const std::string_view prefix = "XDG_DOCUMENTS_DIR=";
  for (std::string line; std::getline(dirs, line);) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    std::string value = line.substr(prefix.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.compare(0, 5, "$HOME") == 0) return home + value.substr(5);
    if (!value.empty() && value.front() == '/') return value;
    return std::nullopt;
  }
  return std::nullopt;
}

std::string DocumentsDirectory() {
  const std::string home = HomeDirectory();
  if (auto xdg = XdgDocumentsDirectory(home); xdg && IsDirectory(*xdg)) return *xdg;
  if (std::string documents = home + "/Documents"; IsDirectory(documents)) return documents;
  return home;
}

// A file of the host, read as UTF-8 and written as UTF-8. Writes are held until Flush or
// Close, which hand them to the file in one write.
class PosixTextFile : public TextFile {
 public:
  PosixTextFile(int fd, bool writing) : fd_(fd), writing_(writing) {}
  ~PosixTextFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  char16_t Get() override {
    while (next_ == decoded_.size()) {
      if (!Fill()) return kWeof;
    }
    return decoded_[next_++];
  }

  bool Write(std::u16string_view text) override {
    if (failed_) return false;
    pending_ += EncodeUtf8(text);
    return true;
  }

  bool Flush() override {
    if (failed_ || fd_ < 0) return false;
    bool written = WriteAll(fd_, pending_);
    pending_.clear();
    failed_ = !written;
    return written;
  }

  bool Close() override {
    if (fd_ < 0) return false;
    bool ok = true;
    if (writing_) {
      ok = Flush();
      // Pipes, terminals and other devices cannot be synced; that alone is no failure.
      if (::fsync(fd_) != 0 && errno != EINVAL && errno != ENOTSUP && errno != EROFS) ok = false;
    }
    if (::close(fd_) != 0 && errno != EINTR) ok = false;
    fd_ = -1;
    return ok;
  }

 private:
  // Decodes the next chunk of the file; false at the end of the input or on an error.
  bool Fill() {
    if (ended_ || fd_ < 0) return false;
    decoded_.clear();
    next_ = 0;
    char chunk[65536];
    ssize_t n;
    do {
      n = ::read(fd_, chunk, sizeof chunk);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      ended_ = true;
      DecodeUtf8(undecoded_, true, decoded_);
      undecoded_.clear();
      return !decoded_.empty();
    }
    undecoded_.append(chunk, static_cast<size_t>(n));
    size_t used = DecodeUtf8(undecoded_, false, decoded_);
    undecoded_.erase(0, used);
    return true;
  }

  int fd_;
  bool writing_;
  bool failed_ = false;
  bool ended_ = false;
  std::string pending_;
  std::string undecoded_;
  std::u16string decoded_;
  size_t next_ = 0;
};

}  // namespace

std::optional<std::string> HostPathFor(const std::u16string& name) {
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

PosixPlatform::~PosixPlatform() = default;

uint32_t PosixPlatform::CreateNamedMutex(const std::u16string& name) {
  constexpr uint32_t kFailed = 1;
  auto bytes = EncodeUtf8Name(name);
  if (!bytes) return kFailed;
  for (char& c : *bytes) {
    if (c == '/') c = '_';
  }
  std::string path;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && runtime[0] == '/') {
    path = std::string(runtime) + "/" + *bytes + ".lock";
  } else {
    path = "/tmp/jotlog-" + std::to_string(::getuid()) + "-" + *bytes + ".lock";
  }
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return kFailed;
  struct stat st;
  // Only a regular file of our own can be trusted to stand for the guard.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
    ::close(fd);
    return kFailed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? kErrorAlreadyExists : kFailed;
  }
  // Held, like the mutex handle, until the process ends.
  mutexFd_ = fd;
  return kErrorSuccess;
}

SystemTime PosixPlatform::GetLocalTime() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct tm local;
  ::localtime_r(&now.tv_sec, &local);
  SystemTime t;
  t.year = static_cast<uint16_t>(local.tm_year + 1900);
  t.month = static_cast<uint16_t>(local.tm_mon + 1);
  t.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
  t.day = static_cast<uint16_t>(local.tm_mday);
  t.hour = static_cast<uint16_t>(local.tm_hour);
  t.minute = static_cast<uint16_t>(local.tm_min);
  t.second = static_cast<uint16_t>(local.tm_sec);
  t.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
  return t;
}

const LocaleNames& PosixPlatform::Names() {
  if (names_) return *names_;
  names_ = LocaleNames::English();
  // The LC_TIME locale, with its own character set for decoding the names.
  const char* chosen = nullptr;
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      chosen = value;
      break;
    }
  }
  if (chosen == nullptr) return *names_;
  locale_t locale = ::newlocale(LC_ALL_MASK, chosen, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return *names_;
  locale_t previous = ::uselocale(locale);

  struct tm tm = {};
  auto Text = [&tm](const wchar_t* format) {
    wchar_t wide[128];
    size_t n = std::wcsftime(wide, sizeof wide / sizeof wide[0], format, &tm);
    std::u16string text;
    for (size_t i = 0; i < n; ++i) {
      char32_t cp = static_cast<char32_t>(wide[i]);
      if (cp >= 0x10000 && cp <= 0x10FFFF) {
        cp -= 0x10000;
        text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      } else if (cp < 0x10000) {
        text.push_back(static_cast<char16_t>(cp));
      }
    }
    return text;
  };
  LocaleNames& names = *names_;
  for (int day = 0; day < 7; ++day) {
    tm.tm_wday = day;
    names.days[day] = Text(L"%A");
    names.abbreviatedDays[day] = Text(L"%a");
  }
  for (int month = 0; month < 12; ++month) {
    tm.tm_mon = month;
    names.months[month] = Text(L"%B");
    names.abbreviatedMonths[month] = Text(L"%b");
  }
  tm.tm_hour = 9;
  names.am = Text(L"%p");
  tm.tm_hour = 21;
  names.pm = Text(L"%p");

  ::uselocale(previous);
  ::freelocale(locale);
  return *names_;
}

int PosixPlatform::GetDateFormat(const SystemTime& time, const std::u16string& picture,
                                 char16_t* buffer, int size) {
  return FormatPicture(PictureKind::kDate, time, picture, Names(), buffer, size);
}

int PosixPlatform::GetTimeFormat(const SystemTime& time, const std::u16string& picture,
                                 char16_t* buffer, int size) {
  return FormatPicture(PictureKind::kTime, time, picture, Names(), buffer, size);
}

void PosixPlatform::ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
  WriteAll(STDERR_FILENO, EncodeUtf8(caption + u": " + text + u"\n"));
}

std::unique_ptr<TextFile> PosixPlatform::OpenTextFile(const std::u16string& name, OpenMode mode) {
  auto path = HostPathFor(name);
  if (!path) return nullptr;
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kRead:
      flags |= O_RDONLY;
      break;
    case OpenMode::kWrite:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case OpenMode::kAppend:
      flags |= O_WRONLY | O_CREAT | O_APPEND;
      break;
  }
  int fd;
  do {
    fd = ::open(path->c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixTextFile>(fd, mode != OpenMode::kRead);
}

}  // namespace jotlog
