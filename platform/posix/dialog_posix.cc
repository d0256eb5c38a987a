// The result box on POSIX hosts. At a terminal (a command typed at a shell), one line on
// standard error. On a desktop, a success is a desktop notification (notify-send) where a
// notification service takes it, as it needs no click; a failure, which needs the user's
// attention, is the first of a GTK dialog (zenity), a KDE one (kdialog) and a critical
// notification that reaches the user. Else, and whenever none of them did, one line on
// standard error.
#include <unistd.h>

#include "platform/posix/helper_posix.h"
#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

namespace jotlog {

namespace {

// How a box or notification went.
enum class Shown { kSeen, kNotSeen, kNoDisplay };

// A dialog that never reached the display (it could not start, connect or stay up) is
// no answer of the user's: the next one down the chain is tried.
Shown Outcome(const HelperResult& result) {
  if (result.exitCode == 0) return Shown::kSeen;
  if (result.exitCode != 1 || result.errors.find("cannot open display") != std::string::npos) {
    return Shown::kNoDisplay;
  }
  return Shown::kNotSeen;  // closed otherwise than with OK
}

// The body of a notification is markup: its own &, < and > are written as entities.
std::string Markup(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '&') {
      escaped += "&amp;";
    } else if (c == '<') {
      escaped += "&lt;";
    } else if (c == '>') {
      escaped += "&gt;";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// kdialog reads a backslash and n as a line break and two backslashes as one.
std::string KdialogText(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// Hands the notification to the service; seen once the service took it. notify-send
// returns then; a service that does not answer is given up after the helpers' time limit.
// Each run's notification takes the place of the one before, so that a burst of runs
// leaves one.
Shown Notify(const std::string& notifySend, const std::string& text, const std::string& caption,
             bool failed, const std::vector<std::string>& environment) {
  HelperRun notification;
  notification.environment = environment;
  return RunHelper(
             {notifySend, "--app-name=jotlog", failed ? "--urgency=critical" : "--urgency=normal",
              failed ? "--icon=dialog-error" : "--icon=dialog-information",
              "--hint=string:x-dunst-stack-tag:jotlog",
              "--hint=string:x-canonical-private-synchronous:jotlog", "--", caption, Markup(text)},
             notification)
                     .exitCode == 0
             ? Shown::kSeen
             : Shown::kNoDisplay;
}

// Shows the result on the desktop; true only when the user has seen it: a dialog ended
// with OK, or the notification service took the notification.
bool ShowOnDesktop(const std::string& text, const std::string& caption, bool failed) {
  // The dialogs read their arguments in the locale's character set: make that UTF-8.
  std::vector<std::string> environment;
  if (!UsesUtf8()) environment = {"LC_ALL=C.UTF-8"};
  const std::string notifySend = FindOnPath("notify-send");
  if (!failed && !notifySend.empty() &&
      Notify(notifySend, text, caption, failed, environment) == Shown::kSeen) {
    return true;
  }
  HelperRun dialog;
  dialog.limit = std::nullopt;  // open until the user dismisses it
  dialog.captureErrors = true;
  dialog.environment = environment;
  // Both dialogs end with 1 when they cannot reach the display, as when they are closed;
  // only OK counts as seen.
  Shown shown = Shown::kNoDisplay;
  if (std::string zenity = FindOnPath("zenity"); !zenity.empty()) {
    shown = Outcome(RunHelper({zenity, failed ? "--error" : "--info", "--no-markup", "--no-wrap",
                               "--title=" + caption, "--text=" + text},
                              dialog));
  }
  if (shown == Shown::kNoDisplay) {
    if (std::string kdialog = FindOnPath("kdialog"); !kdialog.empty()) {
      shown = Outcome(RunHelper(
          {kdialog, "--title", caption, failed ? "--error" : "--msgbox", KdialogText(text)},
          dialog));
    }
  }
  if (shown == Shown::kNoDisplay && failed && !notifySend.empty()) {
    shown = Notify(notifySend, text, caption, failed, environment);
  }
  return shown == Shown::kSeen;
}

}  // namespace

void PosixPlatform::ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                                   BoxKind kind) {
  // Boxes show valid text only: a byte of a name that is not UTF-8 shows as U+FFFD.
  std::u16string shown = text;
  ReplaceLoneSurrogates(shown);
  if (!AtTerminal() && (IsSet("WAYLAND_DISPLAY") || IsSet("DISPLAY")) &&
      ShowOnDesktop(EncodeUtf8(shown), EncodeUtf8(caption), kind == BoxKind::kFailed)) {
    return;
  }
  WriteAll(STDERR_FILENO, EncodeUtf8(caption + u": " + text + u"\n"));
}

}  // namespace jotlog
