// Small pieces the POSIX side of the platform layer shares.
#pragma once

#include <cerrno>

#include <signal.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace jotlog {

// A descriptor closed with the object.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1);
  // Gives up the descriptor without closing it.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor and reports whether the close succeeded.
  bool Close();

 private:
  int fd_;
};

// Keeps errno as it was at construction, across cleanup that may change it, so that it
// still tells why the step before failed.
class KeepErrno {
 public:
  KeepErrno() : errno_(errno) {}
  ~KeepErrno() { errno = errno_; }
  KeepErrno(const KeepErrno&) = delete;
  KeepErrno& operator=(const KeepErrno&) = delete;

 private:
  int errno_;
};

// Holds back the signals that end a process at a user's or the system's request
// (SIGTERM, SIGINT, SIGHUP, SIGQUIT) for the life of the object; one that arrives
// meanwhile takes effect when the object goes.
class DeferTermination {
 public:
  DeferTermination();
  ~DeferTermination();
  DeferTermination(const DeferTermination&) = delete;
  DeferTermination& operator=(const DeferTermination&) = delete;

 private:
  sigset_t previous_;
};

// Points descriptors 0, 1 and 2 at /dev/null where they are closed, so that no file the
// program opens later takes the place of a standard stream. Returns the streams that were
// closed, bit 1 << fd for each.
int ReserveStandardStreams();

// Opens `path` without ever blocking (a named pipe in its place is not waited on); nullopt
// unless it is a regular file. Reads at most `limit` bytes of it.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t limit);

// Writes all of `bytes` to `fd`, resuming after partial writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);

// Whether the environment variable is set to a non-empty value.
bool IsSet(const char* variable);

// The locale variable in force for `category` (LC_ALL, then the category, then LANG), as
// the C library picks it; null when none is set.
const char* LocaleName(const char* category);

// Whether the user's character set is UTF-8.
bool UsesUtf8();

}  // namespace jotlog
