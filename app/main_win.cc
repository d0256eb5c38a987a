// Start-up on Windows: the entry point of a GUI program, which has no console. The memo is
// the command line exactly as the system passes it: the start-up code hands over the rest
// of the line after the program's name, quotes and blanks inside it kept (the run takes
// exactly "--input" or "--clipboard" as the memo's source).
#include <windows.h>

#include <algorithm>
#include <string_view>

#include "app/run.h"
#include "platform/win/platform_win.h"
#include "text/utf.h"

namespace {

// A text of the table where no memory need be had, up to `N` - 1 units of it.
template <size_t N>
struct BoxText {
  wchar_t text[N] = {};
  explicit BoxText(std::u16string_view from) {
    std::copy_n(from.begin(), std::min(from.size(), N - 1), text);
  }
};

}  // namespace

#ifdef _WIN32_WCE
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
#else
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
#endif
  jotlog::WinPlatform platform(instance);
  // The failure box for memory exhausted, made before anything can run out.
  const jotlog::Language language = jotlog::UserLanguage(platform);
  const BoxText<128> notSaved(jotlog::ResultText(language, false, false));
  const BoxText<64> caption(jotlog::Text(language, jotlog::Message::kCaption));
  try {
    // Wide text from the system may hold lone surrogates, which no file should receive.
    std::u16string memo = jotlog::Utf16(commandLine != nullptr ? commandLine : L"");
    jotlog::ReplaceLoneSurrogates(memo);
    return jotlog::WinMain(platform, memo);
  } catch (...) {
    // Only memory exhausted while the command line is taken, or while a box is made, gets
    // here: the run is reported as failed, as every failure is, with text that needs no
    // memory.
    ::MessageBoxW(nullptr, notSaved.text, caption.text, MB_OK | MB_SETFOREGROUND | MB_TOPMOST);
    return 1;
  }
}
