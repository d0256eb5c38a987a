// The result box on POSIX hosts: a desktop dialog where one can be shown, else one line
// on standard error.
#include <unistd.h>

#include "platform/helper_posix.h"
#include "platform/platform_posix.h"
#include "platform/utf.h"
#include "platform/util_posix.h"

namespace jotlog {

void PosixPlatform::ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
  if (IsSet("WAYLAND_DISPLAY") || IsSet("DISPLAY")) {
    if (std::string zenity = FindOnPath("zenity"); !zenity.empty()) {
      HelperRun run;
      run.limit = std::nullopt;  // open until the user dismisses it
      // The dialog reads its arguments in the locale's character set: make that UTF-8.
      if (!UsesUtf8()) run.environment = {"LC_ALL=C.UTF-8"};
      HelperResult shown = RunHelper(
          {zenity, "--info", "--no-markup", "--no-wrap",
           "--icon-name=", "--title=" + EncodeUtf8(caption), "--text=" + EncodeUtf8(text)},
          run);
      // Only OK proves the dialog was seen: zenity also ends with 1 when it cannot reach
      // the display, so anything else falls back to the line below.
      if (shown.exitCode == 0) return;
    }
  }
  WriteAll(STDERR_FILENO, EncodeUtf8(caption + u": " + text + u"\n"));
}

}  // namespace jotlog
