// The result box on Windows: a message box with one OK button, owned by whatever window
// is in front (the program has none of its own to show).
#include "platform/platform_win.h"

namespace jotlog {

void WinPlatform::ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
  const std::wstring wideText = Wide(text), wideCaption = Wide(caption);
  ::MessageBoxW(::GetForegroundWindow(), wideText.c_str(), wideCaption.c_str(), MB_OK);
}

}  // namespace jotlog
