// The single-instance guard on POSIX hosts: an exclusive lock on a file of the user's own,
// held until the process ends.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/platform_posix.h"
#include "text/utf.h"

namespace jotlog {

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
  // Non-blocking: a named pipe planted at the name must not keep the run waiting.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
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

}  // namespace jotlog
