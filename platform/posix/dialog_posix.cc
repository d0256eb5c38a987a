// The result box on POSIX hosts: on a desktop, the first of a GTK dialog (zenity), a KDE
// one (kdialog) and a desktop notification (notify-send) that is installed; else, and
// whenever that did not reach the user, one line on standard error.
#include <unistd.h>

#include "platform/posix/helper_posix.h"
#include "platform/posix/platform_posix.h"
#include "text/utf.h"
#include "platform/posix/util_posix.h"

namespace jotlog {

namespace {

// Shows the result on the desktop; true only when the user has seen it: a dialog ended
// with OK, or the notification service took the notification.
bool ShowOnDesktop(const std::string& text, const std::string& caption, bool failed) {
  HelperRun dialog;
  dialog.limit = std::nullopt;  // open until the user dismisses it
  // The dialogs read their arguments in the locale's character set: make that UTF-8.
  if (!UsesUtf8()) dialog.environment = {"LC_ALL=C.UTF-8"};
  // Both dialogs also end with 1 when they cannot reach the display, so only OK counts.
  if (std::string zenity = FindOnPath("zenity"); !zenity.empty()) {
    return RunHelper({zenity, failed ? "--error" : "--info", "--no-markup", "--no-wrap",
                      "--title=" + caption, "--text=" + text},
                     dialog)
               .exitCode == 0;
  }
  if (std::string kdialog = FindOnPath("kdialog"); !kdialog.empty()) {
    return RunHelper({kdialog, "--title", caption, failed ? "--error" : "--msgbox", text}, dialog)
               .exitCode == 0;
  }
  if (std::string notify = FindOnPath("notify-send"); !notify.empty()) {
    // It returns once the service has the notification; a service that does not answer
    // is given up after the helpers' time limit. Each run's notification takes the place
    // of the one before, so that a burst of runs leaves one.
    HelperRun notification;
    notification.environment = dialog.environment;
    return RunHelper({notify, "--app-name=jotlog",
                      failed ? "--urgency=critical" : "--urgency=normal",
                      failed ? "--icon=dialog-error" : "--icon=dialog-information",
                      "--hint=string:x-dunst-stack-tag:jotlog",
                      "--hint=string:x-canonical-private-synchronous:jotlog", "--", caption, text},
                     notification)
               .exitCode == 0;
  }
  return false;
}

}  // namespace

void PosixPlatform::ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                                   BoxKind kind) {
  if ((IsSet("WAYLAND_DISPLAY") || IsSet("DISPLAY")) &&
      ShowOnDesktop(EncodeUtf8(text), EncodeUtf8(caption), kind == BoxKind::kFailed)) {
    return;
  }
  WriteAll(STDERR_FILENO, EncodeUtf8(caption + u": " + text + u"\n"));
}

}  // namespace jotlog
