// The reason of a failure on POSIX hosts: the C library's words for errno, or the layer's
// own reason, in the user's language, where errno cannot say.
#include <cerrno>
#include <cstring>

#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

namespace jotlog {

PosixPlatform::PosixPlatform(const char* startedAs)
    : startedAs_(startedAs != nullptr ? startedAs : "") {
  std::u16string source;
  language_ = ChooseLanguage(UserLanguages(source));
}

std::string PosixPlatform::Reason(Message message,
                                  std::initializer_list<std::u16string_view> args) const {
  return EncodeUtf8(Say(language_, message, args));
}

std::u16string PosixPlatform::LastErrorText() {
  const int error = errno;
  if (!failure_.empty()) return DecodeUtf8(failure_);
  return error == 0 ? Say(language_, Message::kNoReason) : DecodeUtf8(ErrorWords(error));
}

}  // namespace jotlog
