// Named mutexes on POSIX hosts: an exclusive lock on a file of the user's own, held until
// it is let go or the process ends.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

namespace jotlog {

MutexState PosixPlatform::TakeNamedMutex(const std::u16string& name, uint32_t waitMs) {
  auto bytes = EncodeUtf8Name(name);
  if (!bytes) return MutexState::kNone;
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
  Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
  if (fd.get() < 0) return MutexState::kNone;
  struct stat st;
  // Only a regular file of our own can be trusted to stand for the mutex.
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
    return MutexState::kNone;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  auto pause = std::chrono::milliseconds(1);
  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return MutexState::kNone;
    if (std::chrono::steady_clock::now() >= deadline) return MutexState::kHeld;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  mutexes_[name] = fd.get();
  fd.Release();
  return MutexState::kTaken;
}

PosixPlatform::~PosixPlatform() {
  for (const auto& [name, fd] : mutexes_) ::close(fd);
}

void PosixPlatform::ReleaseNamedMutex(const std::u16string& name) {
  if (auto held = mutexes_.find(name); held != mutexes_.end()) {
    ::close(held->second);
    mutexes_.erase(held);
  }
}

}  // namespace jotlog
