// The input box on POSIX hosts: on a desktop, a GTK entry dialog (zenity) or else a KDE
// one (kdialog); without either, on a terminal, a prompt on standard error and one line
// read from standard input.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/posix/helper_posix.h"
#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

namespace jotlog {

namespace {

// The most text taken from a box or a terminal: more is refused, never cut short.
constexpr size_t kMostText = size_t{64} << 20;

// Asks with the desktop's entry dialog; nullopt when none is installed. Both dialogs print
// the text and a line feed after OK, and end with 1 after Cancel, Escape or a close; one
// whose window was destroyed ends with 0 and prints nothing, which is no OK either.
std::optional<MemoAsked> AskOnDesktop(const std::string& caption, const std::string& prompt,
                                      const std::string& first, std::string& text,
                                      std::string& failure, Language language) {
  std::vector<std::string> argv;
  if (std::string zenity = FindOnPath("zenity"); !zenity.empty()) {
    argv = {zenity, "--entry", "--title=" + caption, "--text=" + prompt, "--entry-text=" + first};
  } else if (std::string kdialog = FindOnPath("kdialog"); !kdialog.empty()) {
    argv = {kdialog, "--title", caption, "--inputbox", prompt};
    // After "--" a first text that starts with a dash is no option.
    if (!first.empty()) argv.insert(argv.end(), {"--", first});
  } else {
    return std::nullopt;
  }
  HelperRun dialog;
  dialog.limit = std::nullopt;  // open until the user answers
  dialog.captureOutput = true;
  dialog.outputLimit = kMostText + 1;
  // The dialogs read their arguments and write the text in the locale's character set.
  if (!UsesUtf8()) dialog.environment = {"LC_ALL=C.UTF-8"};
  HelperResult result = RunHelper(argv, dialog);
  if (result.exitCode == 1 || (result.exitCode == 0 && !result.output.ends_with('\n'))) {
    return MemoAsked::kCancelled;
  }
  if (result.exitCode != 0) {
    const std::u16string tool = DecodeUtf8(argv[0]);
    failure = EncodeUtf8(result.output.size() > kMostText
                             ? tool + u": " + Say(language, Message::kTypedTooLong)
                             : Say(language, Message::kToolFailed, {tool}));
    return MemoAsked::kCannotAsk;
  }
  result.output.pop_back();
  text = std::move(result.output);
  return MemoAsked::kGiven;
}

// Asks on the terminal at standard input: one line, up to its line feed. The end of input
// before anything was typed (Ctrl-D) cancels.
MemoAsked AskOnTerminal(const std::string& prompt, std::string& text, std::string& failure,
                        Language language) {
  WriteAll(STDERR_FILENO, prompt + ": ");
  char chunk[4096];
  while (true) {
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      failure = EncodeUtf8(Text(language, Message::kStandardInput)) + ": " + ErrorWords(error);
      return MemoAsked::kCannotAsk;
    }
    if (n == 0) {
      if (!text.empty()) return MemoAsked::kGiven;
      WriteAll(STDERR_FILENO, "\n");  // the shell's prompt on a line of its own
      return MemoAsked::kCancelled;
    }
    text.append(chunk, static_cast<size_t>(n));
    if (text.size() > kMostText + 1) {
      failure = EncodeUtf8(Text(language, Message::kTypedTooLong));
      return MemoAsked::kCannotAsk;
    }
    if (text.back() == '\n') {
      text.pop_back();
      return MemoAsked::kGiven;
    }
  }
}

}  // namespace

MemoAsked PosixPlatform::AskForMemo(const std::u16string& caption, const std::u16string& prompt,
                                    const std::u16string& first, std::u16string& memo) {
  failure_.clear();
  std::string text;
  std::optional<MemoAsked> asked;
  if (IsSet("WAYLAND_DISPLAY") || IsSet("DISPLAY")) {
    asked = AskOnDesktop(EncodeUtf8(caption), EncodeUtf8(prompt), EncodeUtf8(first), text, failure_,
                         language_);
  }
  // A terminal line cannot be given a first text: there the prompt is asked bare.
  if (!asked && ::isatty(STDIN_FILENO)) {
    asked = AskOnTerminal(EncodeUtf8(prompt), text, failure_, language_);
  }
  if (!asked) {
    failure_ = Reason(Message::kNoWayToAsk);
    return MemoAsked::kCannotAsk;
  }
  if (*asked == MemoAsked::kGiven) memo = DecodeUtf8(text);
  return *asked;
}

}  // namespace jotlog
