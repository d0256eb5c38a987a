// Start-up on POSIX hosts: the arguments, joined with single spaces, are the command line
// (the run takes a lone "--input" or "--clipboard" as the memo's source); a lone "-" takes
// the memo from standard input instead.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "app/run.h"
#include "app/usage.h"
#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

namespace {

// The most of standard input taken as a memo: more is refused, never cut short.
constexpr size_t kMostInput = size_t{64} << 20;

// Standard input to its end, as bytes, into `memo`; else where and why it was not taken,
// in `language`.
void TakeStandardInput(jotlog::TakenMemo& memo, jotlog::Language language) {
  std::string bytes;
  char chunk[65536];
  while (true) {
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || bytes.size() + static_cast<size_t>(n) > kMostInput) {
      if (n == 0) break;
      memo.where = jotlog::Text(language, jotlog::Message::kStandardInput);
      memo.reason = n < 0 ? jotlog::DecodeUtf8(jotlog::ErrorWords(errno))
                          : std::u16string(jotlog::Text(language, jotlog::Message::kInputTooLong));
      return;
    }
    bytes.append(chunk, static_cast<size_t>(n));
  }
  memo.text = jotlog::DecodeUtf8(bytes);
}

}  // namespace

int main(int argc, char** argv) {
  // Started with a standard stream closed, the first file opened would take its number
  // and receive what is meant for that stream.
  const int closed = jotlog::ReserveStandardStreams();
  // A memo file that is a pipe whose reader went away, or a write beyond the file size
  // limit, fails the write instead of ending the process.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // Exactly "--help" (or "-h") or "--version" alone is a question, not a memo: it is
  // answered on standard output, without the guard, and nothing is written. An answer
  // that cannot be written, to a standard output closed at start say, fails.
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
                    std::strcmp(argv[1], "--version") == 0)) {
    try {
      jotlog::PosixPlatform platform(argv[0]);
      const std::string text = argv[1][1] == '-' && argv[1][2] == 'v'
                                   ? "jotlog " JOTLOG_VERSION "\n"
                                   : jotlog::EncodeUtf8(jotlog::UsageText(platform));
      return (closed & 1 << STDOUT_FILENO) == 0 && jotlog::WriteAll(STDOUT_FILENO, text) ? 0 : 1;
    } catch (...) {
      return 1;
    }
  }
  // A lone "-": the memo is standard input, whatever the settings say.
  if (argc == 2 && std::strcmp(argv[1], "-") == 0) {
    try {
      jotlog::PosixPlatform platform(argv[0]);
      const jotlog::Language language = jotlog::UserLanguage(platform);
      jotlog::TakenMemo memo;
      // Closed at start, it reads as empty (it is /dev/null now): no memo, not an empty one.
      if ((closed & 1 << STDIN_FILENO) != 0) {
        memo.where = jotlog::Text(language, jotlog::Message::kStandardInput);
        memo.reason = jotlog::Text(language, jotlog::Message::kInputClosed);
      } else {
        TakeStandardInput(memo, language);
      }
      return jotlog::WinMain(platform, memo);
    } catch (...) {
      return 1;  // memory exhausted while the input is taken; nothing was saved
    }
  }
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  try {
    jotlog::PosixPlatform platform(argv[0]);
    return jotlog::WinMain(platform, jotlog::DecodeUtf8(commandLine));
  } catch (...) {
    // Only memory exhausted while the command line is taken gets here (later, the run
    // shows its failure box itself); nothing was saved.
    return 1;
  }
}
