#include "platform/helper_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

extern char** environ;

namespace jotlog {

namespace {

// A descriptor closed with the object.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

bool MakePipe(Fd& readEnd, Fd& writeEnd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  readEnd.Reset(fds[0]);
  writeEnd.Reset(fds[1]);
  return true;
}

// Ends and reaps a helper that has to go.
void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr || name.empty()) return {};
  std::string_view folders = path;
  while (true) {
    const size_t colon = folders.find(':');
    std::string folder(folders.substr(0, colon));
    if (!folder.empty() && folder.front() == '/') {
      std::string candidate = folder + "/" + name;
      struct stat st;
      if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          ::access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    if (colon == std::string_view::npos) return {};
    folders.remove_prefix(colon + 1);
  }
}

HelperResult RunHelper(const std::vector<std::string>& argv, const HelperRun& run) {
  HelperResult result;
  Fd inRead, inWrite, outRead, outWrite;
  if (!MakePipe(inRead, inWrite)) return result;
  if (run.captureOutput && !MakePipe(outRead, outWrite)) return result;

  posix_spawn_file_actions_t actions;
  if (::posix_spawn_file_actions_init(&actions) != 0) return result;
  ::posix_spawn_file_actions_adddup2(&actions, inRead.get(), 0);
  if (run.captureOutput) {
    ::posix_spawn_file_actions_adddup2(&actions, outWrite.get(), 1);
  } else {
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (const std::string& setting : run.environment)
    env.push_back(const_cast<char*>(setting.c_str()));
  for (char** inherited = environ; *inherited != nullptr; ++inherited) {
    const std::string_view setting = *inherited;
    const std::string_view name = setting.substr(0, setting.find('=') + 1);
    bool replaced = false;
    for (const std::string& own : run.environment)
      replaced |= own.compare(0, name.size(), name) == 0;
    if (!replaced) env.push_back(*inherited);
  }
  env.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return result;
  inRead.Reset();
  outWrite.Reset();

  using Clock = std::chrono::steady_clock;
  const auto deadline = run.limit ? Clock::now() + *run.limit : Clock::time_point::max();
  auto remaining = [&]() -> int {
    if (!run.limit) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  };

  // Feed the input and collect the output together, so neither side can block the other.
  ::fcntl(inWrite.get(), F_SETFL, O_NONBLOCK);
  std::string_view input = run.input;
  if (input.empty()) inWrite.Reset();
  while (inWrite.get() >= 0 || outRead.get() >= 0) {
    pollfd fds[2];
    nfds_t count = 0;
    if (inWrite.get() >= 0) fds[count++] = {inWrite.get(), POLLOUT, 0};
    if (outRead.get() >= 0) fds[count++] = {outRead.get(), POLLIN, 0};
    const int wait = remaining();
    if (wait == 0) {
      Kill(pid);
      return result;
    }
    if (::poll(fds, count, wait) < 0 && errno != EINTR) {
      Kill(pid);
      return result;
    }
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inWrite.get()) {
        ssize_t n = ::write(inWrite.get(), input.data(), input.size());
        if (n > 0) input.remove_prefix(static_cast<size_t>(n));
        if (input.empty() || (n < 0 && errno != EAGAIN && errno != EINTR)) inWrite.Reset();
      } else {
        char chunk[65536];
        ssize_t n = ::read(outRead.get(), chunk, sizeof chunk);
        if (n > 0) {
          result.output.append(chunk, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          outRead.Reset();
        }
      }
    }
  }

  // Wait for the helper to end, polling while a limit applies.
  int status = 0;
  while (true) {
    pid_t done = ::waitpid(pid, &status, run.limit ? WNOHANG : 0);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return result;
    if (remaining() == 0) {
      Kill(pid);
      return result;
    }
    if (done == 0) ::usleep(2000);
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace jotlog
