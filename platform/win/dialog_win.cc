// The result box on Windows: a message box with one OK button. It has no owner: a window
// of another program would be disabled while it is up and, were that program hung, the box
// would wait on it and never appear. It still comes to the front, above other windows.
#include "platform/win/platform_win.h"

namespace jotlog {

// Success and failure look alike, one OK button and no icon; the failure's second line
// tells them apart.
void WinPlatform::ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                                 BoxKind) {
  const std::wstring wideText = Wide(text), wideCaption = Wide(caption);
  ::MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(),
                MB_OK | MB_SETFOREGROUND | MB_TOPMOST);
}

}  // namespace jotlog
