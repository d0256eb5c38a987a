// The single-instance guard on Windows: a named mutex, owned by this process until it
// ends.
#include "platform/win/platform_win.h"

namespace jotlog {

uint32_t WinPlatform::CreateNamedMutex(const std::u16string& name) {
  const std::wstring wide = Wide(name);
  ::SetLastError(ERROR_SUCCESS);
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, wide.c_str());
  // Read at once: nothing may run between the call and the question.
  const DWORD error = ::GetLastError();
  // Held for the life of the platform, which is the life of the run.
  if (mutex != nullptr) mutex_.Reset(mutex);
  return error;
}

}  // namespace jotlog
