// The input box on POSIX hosts: on a desktop, a GTK entry dialog (zenity) or else a KDE
// one (kdialog); at a terminal, or without a dialog that reaches the display, a prompt on
// standard error and what is typed at the terminal up to the end of its line.
#include <fcntl.h>
#include <termios.h>
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

// The longest argument the system passes to a program (MAX_ARG_STRLEN), its NUL included.
constexpr size_t kLongestArgument = 32 * 4096;

// Asks with the desktop's entry dialog: zenity, else kdialog; nullopt when none is
// installed or none could be shown. Both dialogs print the text and a line feed after OK,
// and end with 1 after Cancel, Escape or a close, but also when they cannot reach the
// display, which they then say on standard error; one whose window was destroyed ends
// with 0 and prints nothing, which is no OK either. `first` is valid UTF-8 (GTK refuses
// other text); too long to be passed, it is left out.
std::optional<MemoAsked> AskOnDesktop(const std::string& caption, const std::string& prompt,
                                      const std::string& first, std::string& text,
                                      std::string& failure, Language language) {
  HelperRun dialog;
  dialog.limit = std::nullopt;  // open until the user answers
  dialog.captureOutput = true;
  dialog.captureErrors = true;
  dialog.outputLimit = kMostText + 1;
  // The dialogs read their arguments and write the text in the locale's character set.
  if (!UsesUtf8()) dialog.environment = {"LC_ALL=C.UTF-8"};
  const bool firstFits = first.size() + sizeof "--entry-text=" <= kLongestArgument;
  std::vector<std::vector<std::string>> boxes;
  if (std::string zenity = FindOnPath("zenity"); !zenity.empty()) {
    // About 60 characters of the dialog font wide, so that a sentence fits.
    boxes.push_back({zenity, "--entry", "--width=480", "--title=" + caption, "--text=" + prompt});
    if (firstFits) boxes.back().push_back("--entry-text=" + first);
  }
  if (std::string kdialog = FindOnPath("kdialog"); !kdialog.empty()) {
    boxes.push_back({kdialog, "--geometry", "480x120", "--title", caption, "--inputbox", prompt});
    // After "--" a first text that starts with a dash is no option.
    if (!first.empty() && firstFits) boxes.back().insert(boxes.back().end(), {"--", first});
  }
  for (const std::vector<std::string>& argv : boxes) {
    HelperResult result = RunHelper(argv, dialog);
    if (result.outputTooLong) {
      failure = argv[0] + ": " + EncodeUtf8(Text(language, Message::kTypedTooLong));
      return MemoAsked::kCannotAsk;
    }
    const bool noDisplay = result.errors.find("cannot open display") != std::string::npos ||
                           result.errors.find("could not connect to display") != std::string::npos;
    // Not shown at all (it could not start, reach the display or stay up): the next one.
    if ((result.exitCode == 1 && noDisplay) || (result.exitCode != 0 && result.exitCode != 1)) {
      continue;
    }
    if (result.exitCode == 1 || !result.output.ends_with('\n')) return MemoAsked::kCancelled;
    result.output.pop_back();
    text = std::move(result.output);
    return MemoAsked::kGiven;
  }
  return std::nullopt;
}

// Asks on the terminal `fd`: what is typed up to a line feed, and with it whatever else
// arrives at once (several lines pasted together), which is then the memo. Nothing of it
// is left for the shell to run. The end of input before anything was typed (Ctrl-D)
// cancels.
MemoAsked AskOnTerminal(int fd, const std::string& prompt, std::string& text, std::string& failure,
                        Language language) {
  WriteAll(STDERR_FILENO, prompt + ": ");
  char chunk[4096];
  bool lineRead = false;
  while (!lineRead) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      failure = EncodeUtf8(Text(language, Message::kStandardInput)) + ": " + ErrorWords(error);
      return MemoAsked::kCannotAsk;
    }
    if (n == 0) {
      if (!text.empty()) break;
      WriteAll(STDERR_FILENO, "\n");  // the shell's prompt on a line of its own
      return MemoAsked::kCancelled;
    }
    text.append(chunk, static_cast<size_t>(n));
    if (text.size() > kMostText + 1) {
      failure = EncodeUtf8(Text(language, Message::kTypedTooLong));
      return MemoAsked::kCannotAsk;
    }
    lineRead = text.back() == '\n';
  }
  // The rest of a paste is in the terminal's queue already, its last line perhaps without
  // a line feed: read as it stands (not line by line) until nothing more comes for a
  // tenth of a second, then drop whatever is left.
  termios line;
  if (lineRead && ::tcgetattr(fd, &line) == 0) {
    termios raw = line;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 1;
    if (::tcsetattr(fd, TCSANOW, &raw) == 0) {
      while (text.size() <= kMostText + 1) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
      }
      ::tcsetattr(fd, TCSANOW, &line);
    }
  }
  if (::isatty(fd)) ::tcflush(fd, TCIFLUSH);
  if (text.size() > kMostText + 1) {
    failure = EncodeUtf8(Text(language, Message::kTypedTooLong));
    return MemoAsked::kCannotAsk;
  }
  if (text.ends_with('\n')) text.pop_back();
  return MemoAsked::kGiven;
}

}  // namespace

MemoAsked PosixPlatform::AskForMemo(const std::u16string& caption, const std::u16string& prompt,
                                    const std::u16string& first, std::u16string& memo) {
  failure_.clear();
  std::string text;
  std::optional<MemoAsked> asked;
  // At a terminal the memo is asked there, as a command typed at a shell would.
  const bool atTerminal = AtTerminal();
  if (!atTerminal && (IsSet("WAYLAND_DISPLAY") || IsSet("DISPLAY"))) {
    // A byte of the command line that is not UTF-8 shows as U+FFFD.
    std::u16string shown = first;
    ReplaceLoneSurrogates(shown);
    asked = AskOnDesktop(EncodeUtf8(caption), EncodeUtf8(prompt), EncodeUtf8(shown), text, failure_,
                         language_);
  }
  // A terminal line cannot be given a first text: there the prompt is asked bare.
  if (!asked) {
    Fd terminal;
    int fd = ::isatty(STDIN_FILENO) ? STDIN_FILENO : -1;
    if (fd < 0 && atTerminal) {
      terminal.Reset(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY));
      fd = terminal.get();
    }
    if (fd >= 0) asked = AskOnTerminal(fd, EncodeUtf8(prompt), text, failure_, language_);
  }
  if (!asked) {
    failure_ = Reason(Message::kNoWayToAsk);
    return MemoAsked::kCannotAsk;
  }
  if (*asked == MemoAsked::kGiven) memo = DecodeUtf8(text);
  return *asked;
}

}  // namespace jotlog
