// Start-up on POSIX hosts: the arguments, joined with single spaces, are the command line.
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>

#include "app/run.h"
#include "app/usage.h"
#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

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
      jotlog::PosixPlatform platform;
      const std::string text = argv[1][1] == '-' && argv[1][2] == 'v'
                                   ? "jotlog " JOTLOG_VERSION "\n"
                                   : jotlog::EncodeUtf8(jotlog::UsageText(platform));
      return (closed & 1 << STDOUT_FILENO) == 0 && jotlog::WriteAll(STDOUT_FILENO, text) ? 0 : 1;
    } catch (...) {
      return 1;
    }
  }
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  try {
    jotlog::PosixPlatform platform;
    return jotlog::WinMain(platform, jotlog::DecodeUtf8(commandLine));
  } catch (...) {
    // Only memory exhausted while the command line is taken gets here (later, the run
    // shows its failure box itself); nothing was saved.
    return 1;
  }
}
