// The reason of a failure on Windows: the system's message for the last-error value, in
// the user's language.
#include "platform/win/platform_win.h"
#include "text/messages.h"

namespace jotlog {

std::u16string WinPlatform::LastErrorText() {
  const DWORD error = ::GetLastError();
  std::u16string source;
  const Language language = ChooseLanguage(UserLanguages(source));
  if (error == kErrorNoDocumentsFolder) return Say(language, Message::kNoDocumentsFolder);
  if (error == kErrorNotExpanded) return Say(language, Message::kNotExpanded);
  wchar_t text[512] = {};
  DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text, static_cast<DWORD>(std::size(text)), nullptr);
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n')) --length;
  if (length == 0) return Say(language, Message::kSystemError, {Utf16(std::to_wstring(error))});
  return Utf16(std::wstring_view(text, length));
}

}  // namespace jotlog
