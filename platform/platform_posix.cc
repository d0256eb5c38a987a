#include "platform/platform_posix.h"

#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <new>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/helper_posix.h"
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

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// The locale variable in force for `category`, as the C library picks it.
const char* LocaleName(const char* category) {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return nullptr;
}

bool UsesUtf8() {
  const char* name = LocaleName("LC_CTYPE");
  if (name == nullptr) return false;
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
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

enum class Encoding { kUtf8, kUtf16Le, kUtf16Be };

// The encoding a file's first bytes announce, and the length of that signature.
std::pair<Encoding, size_t> Signature(std::string_view start) {
  if (start.substr(0, 3) == "\xEF\xBB\xBF") return {Encoding::kUtf8, 3};
  if (start.substr(0, 2) == "\xFF\xFE") return {Encoding::kUtf16Le, 2};
  if (start.substr(0, 2) == "\xFE\xFF") return {Encoding::kUtf16Be, 2};
  return {Encoding::kUtf8, 0};
}

std::string Encode(std::u16string_view text, Encoding encoding) {
  if (encoding == Encoding::kUtf8) return EncodeUtf8(text);
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes += encoding == Encoding::kUtf16Le ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

// A file of the host in text mode. Reading drops a UTF-8 signature, follows a UTF-16
// one, and delivers CR LF as LF. Writing encodes as `encoding` with no translation and
// holds everything until Flush or Close, which hand it to the file in one write.
class PosixTextFile : public TextFile {
 public:
  // `newFolder` names the folder of a file that was empty when opened (and so may have
  // just been created): closing commits the folder too, so the file's name is as durable
  // as its contents.
  PosixTextFile(int fd, bool writing, Encoding encoding, std::string newFolder)
      : fd_(fd), writing_(writing), encoding_(encoding), newFolder_(std::move(newFolder)) {}
  ~PosixTextFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  char16_t Get() override {
    if (!Ensure()) return kWeof;
    char16_t c = decoded_[next_++];
    if (c == u'\r' && Ensure() && decoded_[next_] == u'\n') c = decoded_[next_++];
    return c;
  }

  bool Write(std::u16string_view text) override {
    if (failed_) return false;
    pending_ += Encode(text, encoding_);
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
      if (ok && !newFolder_.empty()) {
        int folder = ::open(newFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
          if (::fsync(folder) != 0 && errno != EINVAL && errno != ENOTSUP) ok = false;
          ::close(folder);
        }
      }
    }
    if (::close(fd_) != 0 && errno != EINTR) ok = false;
    fd_ = -1;
    return ok;
  }

 private:
  // Makes sure an undelivered unit is there; false at the end of the input or on error.
  bool Ensure() {
    if (next_ < decoded_.size()) return true;
    decoded_.clear();
    next_ = 0;
    while (decoded_.empty() && !ended_) {
      char chunk[65536];
      ssize_t n;
      do {
        n = ::read(fd_, chunk, sizeof chunk);
      } while (n < 0 && errno == EINTR);
      if (n > 0) {
        undecoded_.append(chunk, static_cast<size_t>(n));
      } else {
        ended_ = true;
      }
      if (!signatureRead_) {
        if (undecoded_.size() < 3 && !ended_) continue;
        auto [encoding, length] = Signature(undecoded_);
        encoding_ = encoding;
        undecoded_.erase(0, length);
        signatureRead_ = true;
      }
      Decode();
    }
    return !decoded_.empty();
  }

  void Decode() {
    size_t used = 0;
    if (encoding_ == Encoding::kUtf8) {
      used = DecodeUtf8(undecoded_, ended_, decoded_);
    } else {
      const bool little = encoding_ == Encoding::kUtf16Le;
      for (; used + 1 < undecoded_.size(); used += 2) {
        auto first = static_cast<unsigned char>(undecoded_[used]);
        auto second = static_cast<unsigned char>(undecoded_[used + 1]);
        decoded_.push_back(
            static_cast<char16_t>(little ? first | second << 8 : second | first << 8));
      }
      if (ended_) used = undecoded_.size();  // an odd byte at the very end is dropped
    }
    undecoded_.erase(0, used);
  }

  int fd_;
  bool writing_;
  Encoding encoding_;
  std::string newFolder_;
  bool failed_ = false;
  bool ended_ = false;
  bool signatureRead_ = false;
  std::string pending_;
  std::string undecoded_;
  std::u16string decoded_;
  size_t next_ = 0;
};

// The encoding to append in: that of a UTF-16 memo file, else UTF-8.
Encoding AppendEncoding(const std::string& path, int appendFd) {
  struct stat written;
  if (::fstat(appendFd, &written) != 0 || !S_ISREG(written.st_mode) || written.st_size < 2) {
    return Encoding::kUtf8;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Encoding::kUtf8;
  struct stat read;
  char start[2];
  Encoding encoding = Encoding::kUtf8;
  if (::fstat(fd, &read) == 0 && read.st_ino == written.st_ino && read.st_dev == written.st_dev &&
      ::pread(fd, start, 2, 0) == 2) {
    encoding = Signature(std::string_view(start, 2)).first;
  }
  ::close(fd);
  return encoding;
}

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
  const char* chosen = LocaleName("LC_TIME");
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

int PosixPlatform::FormatDate(const SystemTime& time, const std::u16string& picture,
                              char16_t* buffer, int size) {
  return FormatPicture(PictureKind::kDate, time, picture, Names(), buffer, size);
}

int PosixPlatform::FormatTime(const SystemTime& time, const std::u16string& picture,
                              char16_t* buffer, int size) {
  return FormatPicture(PictureKind::kTime, time, picture, Names(), buffer, size);
}

void PosixPlatform::ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
  if (IsSet("WAYLAND_DISPLAY") || IsSet("DISPLAY")) {
    if (std::string zenity = FindOnPath("zenity"); !zenity.empty()) {
      HelperRun run;
      run.limit = std::nullopt;  // open until the user dismisses it
      // The dialog reads its arguments in the locale's character set: make that UTF-8.
      if (!UsesUtf8()) run.environment = {"LC_ALL=C.UTF-8"};
      HelperResult shown = RunHelper(
          {zenity, "--info", "--no-markup", "--no-wrap",
           "--icon-name=", "--title=" + EncodeUtf8(caption), "--text=" + EncodeUtf8(text)},
          run);
      // Only OK proves the dialog was seen: zenity also ends with 1 when it cannot reach
      // the display, so anything else falls back to the line below.
      if (shown.exitCode == 0) return;
    }
  }
  WriteAll(STDERR_FILENO, EncodeUtf8(caption + u": " + text + u"\n"));
}

namespace {

class PosixTransferBuffer : public TransferBuffer {
 public:
  PosixTransferBuffer(std::unique_ptr<char16_t[]> units, size_t size)
      : units_(std::move(units)), size_(size) {}
  char16_t* data() override { return units_.get(); }
  size_t size() const override { return size_; }

 private:
  std::unique_ptr<char16_t[]> units_;
  size_t size_;
};

}  // namespace

bool PosixPlatform::OpenClipboard() {
  if (clipboardOpen_) return false;
  wayland_ = false;
  paste_.clear();
  copy_.clear();
  if (IsSet("WAYLAND_DISPLAY")) {
    paste_ = FindOnPath("wl-paste");
    copy_ = FindOnPath("wl-copy");
    wayland_ = !paste_.empty() && !copy_.empty();
  }
  if (!wayland_ && IsSet("DISPLAY")) paste_ = copy_ = FindOnPath("xclip");
  if (paste_.empty() || copy_.empty()) return false;
  clipboardOpen_ = true;
  emptyPending_ = false;
  return true;
}

void PosixPlatform::CloseClipboard() {
  if (!clipboardOpen_) return;
  if (emptyPending_) {
    if (wayland_) {
      RunHelper({copy_, "--clear"}, HelperRun{});
    } else {
      CopyToClipboard("");
    }
  }
  clipboardOpen_ = false;
}

const char16_t* PosixPlatform::GetClipboardData() {
  if (!clipboardOpen_) return nullptr;
  HelperRun run;
  run.captureOutput = true;
  HelperResult pasted;
  if (wayland_) {
    // wl-paste fails when no text type is offered.
    pasted = RunHelper({paste_, "--no-newline", "--type", "text"}, run);
  } else {
    // An owner answers a request for any target, so ask which it offers first.
    HelperResult targets =
        RunHelper({paste_, "-selection", "clipboard", "-o", "-t", "TARGETS"}, run);
    std::istringstream offered(targets.output);
    std::string target;
    while (std::getline(offered, target) && target != "UTF8_STRING") {
    }
    if (targets.exitCode != 0 || target != "UTF8_STRING") return nullptr;
    pasted = RunHelper({paste_, "-selection", "clipboard", "-o", "-t", "UTF8_STRING"}, run);
  }
  if (pasted.exitCode != 0) return nullptr;
  clipboardText_ = DecodeUtf8(pasted.output);
  return clipboardText_.c_str();
}

void PosixPlatform::EmptyClipboard() {
  if (clipboardOpen_) emptyPending_ = true;
}

std::unique_ptr<TransferBuffer> PosixPlatform::AllocTransferBuffer(size_t units) {
  std::unique_ptr<char16_t[]> block(new (std::nothrow) char16_t[units]);
  if (!block || units == 0) return nullptr;
  return std::make_unique<PosixTransferBuffer>(std::move(block), units);
}

bool PosixPlatform::CopyToClipboard(const std::string& text) {
  HelperRun run;
  run.input = text;
  HelperResult copied = wayland_ ? RunHelper({copy_, "--type", "text/plain;charset=utf-8"}, run)
                                 : RunHelper({copy_, "-selection", "clipboard", "-i"}, run);
  return copied.exitCode == 0;
}

bool PosixPlatform::SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) {
  if (!clipboardOpen_ || !buffer) return false;
  const std::u16string_view text(buffer->data(),
                                 std::char_traits<char16_t>::length(buffer->data()));
  if (!CopyToClipboard(EncodeUtf8(text))) return false;
  // The helper holds the text now; the block is done with.
  buffer.reset();
  emptyPending_ = false;
  return true;
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
    case OpenMode::kCreateNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL;
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
  const Encoding encoding = mode == OpenMode::kAppend ? AppendEncoding(*path, fd) : Encoding::kUtf8;
  std::string newFolder;
  if (mode != OpenMode::kRead && S_ISREG(st.st_mode) && st.st_size == 0) {
    const size_t slash = path->rfind('/');
    newFolder = slash == std::string::npos ? "." : slash == 0 ? "/" : path->substr(0, slash);
  }
  return std::make_unique<PosixTextFile>(fd, mode != OpenMode::kRead, encoding, newFolder);
}

}  // namespace jotlog
