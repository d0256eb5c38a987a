// The reason of a failure on POSIX hosts: the C library's words for errno, or the
// clipboard's own reason where errno cannot say.
#include <cerrno>
#include <cstring>

#include "platform/posix/platform_posix.h"
#include "text/utf.h"

namespace jotlog {

std::u16string PosixPlatform::LastErrorText() {
  const int error = errno;
  if (!failure_.empty()) return DecodeUtf8(failure_);
  return DecodeUtf8(error == 0 ? "the system gave no reason" : std::strerror(error));
}

}  // namespace jotlog
