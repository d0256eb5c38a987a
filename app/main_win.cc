// Start-up on Windows: the entry point of a GUI program, which has no console. The memo is
// the command line exactly as the system passes it: the start-up code hands over the rest
// of the line after the program's name, quotes and blanks inside it kept (the run takes
// exactly "--input" or "--clipboard" as the memo's source).
#include <windows.h>

#include <algorithm>
#include <iterator>

#include "app/run.h"
#include "platform/win/platform_win.h"
#include "text/utf.h"

namespace {

// The failure box's text, put together where no memory need be had.
template <size_t N>
struct BoxText {
  wchar_t text[N] = {};
  template <size_t A, size_t B>
  constexpr BoxText(const char16_t (&first)[A], const char16_t (&second)[B]) {
    static_assert(A + B - 1 == N);
    std::copy(first, first + A - 1, text);
    std::copy(second, second + B, text + A - 1);
  }
};

constexpr BoxText<std::size(jotlog::kMemoFileLabel) + std::size(jotlog::kNotSavedWords) - 1>
    kNotSavedText(jotlog::kMemoFileLabel, jotlog::kNotSavedWords);
constexpr BoxText<std::size(jotlog::kBoxCaption)> kCaptionText(jotlog::kBoxCaption, u"");

}  // namespace

#ifdef _WIN32_WCE
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
#else
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
#endif
  jotlog::WinPlatform platform(instance);
  try {
    // Wide text from the system may hold lone surrogates, which no file should receive.
    std::u16string memo = jotlog::Utf16(commandLine != nullptr ? commandLine : L"");
    jotlog::ReplaceLoneSurrogates(memo);
    return jotlog::WinMain(platform, memo);
  } catch (...) {
    // Only memory exhausted while the command line is taken, or while a box is made, gets
    // here: the run is reported as failed, as every failure is, with text that needs no
    // memory.
    ::MessageBoxW(nullptr, kNotSavedText.text, kCaptionText.text,
                  MB_OK | MB_SETFOREGROUND | MB_TOPMOST);
    return 1;
  }
}
