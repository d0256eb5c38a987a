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
#include <cstring>
#include <thread>

#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

namespace jotlog {

namespace {

// The lock file at `path`, opened or made; only a regular file of the user's own can be
// trusted to stand for the mutex. Negative when there is none.
int OpenLockFile(const std::string& path) {
  // Non-blocking: a named pipe planted at the name must not keep the run waiting.
  Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_uid != ::getuid()) {
    return -1;
  }
  return fd.Release();
}

}  // namespace

MutexState PosixPlatform::TakeNamedMutex(const std::u16string& name, uint32_t waitMs) {
  failure_.clear();
  auto bytes = EncodeUtf8Name(name);
  if (!bytes) return MutexState::kNone;
  for (char& c : *bytes) {
    if (c == '/') c = '_';
  }
  // In the runtime folder, else (it is unset, not ours, or refuses the file: kept by su,
  // say) in the user's own private folder, where no other user can take the name first.
  Fd fd;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && runtime[0] == '/') {
    fd.Reset(OpenLockFile(std::string(runtime) + "/" + *bytes + ".lock"));
  }
  if (fd.get() < 0) {
    if (const auto folder = PrivateStateFolder(true))
      fd.Reset(OpenLockFile(*folder + "/" + *bytes + ".lock"));
  }
  if (fd.get() < 0) {
    failure_ = Reason(Message::kNoGuard);
    return MutexState::kNone;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  auto pause = std::chrono::milliseconds(1);
  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      const int error = errno;
      failure_ = Reason(Message::kGuardFailed, {DecodeUtf8(ErrorWords(error))});
      return MutexState::kNone;
    }
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
