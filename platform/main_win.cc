// Start-up on Windows: the entry point of a GUI program, which has no console. The memo is
// the command line exactly as the system passes it: the start-up code hands over the rest
// of the line after the program's name, quotes and blanks inside it kept.
#include <windows.h>

#include "app/run.h"
#include "platform/platform_win.h"

#ifdef _WIN32_WCE
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
#else
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
#endif
  try {
    jotlog::WinPlatform platform(instance);
    return jotlog::WinMain(platform, jotlog::Utf16(commandLine != nullptr ? commandLine : L""));
  } catch (...) {
    // Only exhausted memory gets here; the run ends without a box.
    return 0;
  }
}
