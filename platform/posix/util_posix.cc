#include "platform/posix/util_posix.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace jotlog {

void Fd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool Fd::Close() {
  if (fd_ < 0) return false;
  // Linux releases the descriptor even when close reports EINTR.
  const bool closed = ::close(fd_) == 0 || errno == EINTR;
  fd_ = -1;
  return closed;
}

DeferTermination::DeferTermination() {
  sigset_t held;
  sigemptyset(&held);
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaddset(&held, signal);
  ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

DeferTermination::~DeferTermination() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

int ReserveStandardStreams() {
  int closed = 0;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closed |= 1 << fd;
    // The lowest free number is `fd` itself, as every lower one is open.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
  return closed;
}

std::optional<std::string> ReadRegularFile(const std::string& path, size_t limit) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  while (bytes.size() < limit) {
    const ssize_t n = ::read(fd.get(), chunk, std::min(sizeof chunk, limit - bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  return bytes;
}

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

const char* LocaleName(const char* category) {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return nullptr;
}

bool AtTerminal() {
  // Fails unless the descriptor is this process's controlling terminal.
  const pid_t foreground = ::tcgetpgrp(STDERR_FILENO);
  return foreground > 0 && foreground == ::getpgrp();
}

bool UsesUtf8() {
  const char* name = LocaleName("LC_CTYPE");
  if (name == nullptr) return false;
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

std::string ErrorWords(int error) {
  locale_t user = ::newlocale(LC_CTYPE_MASK | LC_MESSAGES_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return std::strerror(error);
  std::string words = UsesUtf8() ? ::strerror_l(error, user) : std::strerror(error);
  ::freelocale(user);
  return words;
}

}  // namespace jotlog
