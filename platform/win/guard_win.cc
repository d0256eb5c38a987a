// Named mutexes on Windows, per session: owned by this process until let go or its end.
#include "platform/win/platform_win.h"

namespace jotlog {

MutexState WinPlatform::TakeNamedMutex(const std::u16string& name, uint32_t waitMs) {
  ReleaseNamedMutex(name);
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, Wide(name).c_str());
  if (mutex == nullptr) return MutexState::kNone;
  // A mutex whose owner ended without letting it go is ours all the same.
  const DWORD waited = ::WaitForSingleObject(mutex, waitMs);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
    mutexes_.try_emplace(name, mutex);
    return MutexState::kTaken;
  }
  ::CloseHandle(mutex);
  return waited == WAIT_TIMEOUT ? MutexState::kHeld : MutexState::kNone;
}

void WinPlatform::ReleaseNamedMutex(const std::u16string& name) {
  if (auto held = mutexes_.find(name); held != mutexes_.end()) {
    ::ReleaseMutex(held->second.get());
    mutexes_.erase(held);
  }
}

}  // namespace jotlog
