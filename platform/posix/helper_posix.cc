#include "platform/posix/helper_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <optional>

#include "platform/posix/util_posix.h"

extern char** environ;

namespace jotlog {

namespace {

bool MakePipe(Fd& readEnd, Fd& writeEnd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  readEnd.Reset(fds[0]);
  writeEnd.Reset(fds[1]);
  return true;
}

// The spawn attributes: the signals this process ignores at their defaults and none
// blocked, and for a helper with a time limit a process group of its own.
class SpawnAttributes {
 public:
  explicit SpawnAttributes(bool ownGroup) {
    ::posix_spawnattr_init(&attributes_);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    sigemptyset(&none);
    ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
    ::posix_spawnattr_setsigmask(&attributes_, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (ownGroup) {
      flags |= POSIX_SPAWN_SETPGROUP;
      ::posix_spawnattr_setpgroup(&attributes_, 0);
    }
    ::posix_spawnattr_setflags(&attributes_, flags);
  }
  ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

class FileActions {
 public:
  FileActions() { ::posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// The process group of the helper running now in a group of its own; 0 when none is.
volatile sig_atomic_t runningGroup = 0;

constexpr int kTerminations[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

// A termination while a helper runs in its own group, out of reach of the terminal and of
// whoever ends this process: the helper's group goes first, then this process, as the
// signal asks (the handler is reset to the default by then).
void EndWithHelper(int signal) {
  if (runningGroup > 0) ::kill(-runningGroup, SIGKILL);
  ::raise(signal);
}

// For the life of the object, a termination ends the running helper's group too. Only
// signals at their default action are taken over: one that is ignored stays ignored.
class HelperGuard {
 public:
  HelperGuard() {
    struct sigaction ending = {};
    ending.sa_handler = EndWithHelper;
    ending.sa_flags = SA_RESETHAND;
    sigemptyset(&ending.sa_mask);
    for (size_t i = 0; i < std::size(kTerminations); ++i) {
      struct sigaction& previous = previous_[i];
      taken_[i] = ::sigaction(kTerminations[i], nullptr, &previous) == 0 &&
                  previous.sa_handler == SIG_DFL && !(previous.sa_flags & SA_SIGINFO) &&
                  ::sigaction(kTerminations[i], &ending, nullptr) == 0;
    }
  }
  ~HelperGuard() {
    runningGroup = 0;
    for (size_t i = 0; i < std::size(kTerminations); ++i) {
      if (taken_[i]) ::sigaction(kTerminations[i], &previous_[i], nullptr);
    }
  }
  HelperGuard(const HelperGuard&) = delete;
  HelperGuard& operator=(const HelperGuard&) = delete;

 private:
  struct sigaction previous_[std::size(kTerminations)];
  bool taken_[std::size(kTerminations)] = {};
};

// Holds the terminations back for the life of the object, so that the running group can
// change with none of them in between.
class HoldTerminations {
 public:
  HoldTerminations() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kTerminations) sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~HoldTerminations() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  HoldTerminations(const HoldTerminations&) = delete;
  HoldTerminations& operator=(const HoldTerminations&) = delete;

 private:
  sigset_t previous_;
};

// Ends a helper that has to go, with whatever it started in its group, and reaps it.
void Kill(pid_t pid, bool ownGroup) {
  ::kill(ownGroup ? -pid : pid, SIGKILL);
  HoldTerminations hold;
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  runningGroup = 0;
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

  FileActions actions;
  ::posix_spawn_file_actions_adddup2(actions.get(), inRead.get(), 0);
  if (run.captureOutput) {
    ::posix_spawn_file_actions_adddup2(actions.get(), outWrite.get(), 1);
  } else {
    ::posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
  }
  // Standard error into a file in memory, read once the helper is done: it cannot block
  // the helper however much it writes.
  Fd errors(run.captureErrors ? ::memfd_create("jotlog-helper-errors", MFD_CLOEXEC) : -1);
  if (errors.get() >= 0) {
    ::posix_spawn_file_actions_adddup2(actions.get(), errors.get(), 2);
  } else {
    ::posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
  }
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
  const bool ownGroup = run.limit.has_value();
  const SpawnAttributes attributes(ownGroup);
  std::optional<HelperGuard> guard;
  if (ownGroup) guard.emplace();
  pid_t pid = -1;
  {
    HoldTerminations hold;
    if (::posix_spawn(&pid, args[0], actions.get(), attributes.get(), args.data(), env.data()) !=
        0) {
      return result;
    }
    if (ownGroup) runningGroup = pid;
  }
  inRead.Reset();
  outWrite.Reset();

  using Clock = std::chrono::steady_clock;
  const auto deadline = run.limit ? Clock::now() + *run.limit : Clock::time_point::max();
  auto remaining = [&]() -> int {
    if (!run.limit) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  };
  auto fail = [&](bool timedOut) {
    Kill(pid, ownGroup);
    HelperResult failed;
    failed.timedOut = timedOut;
    return failed;
  };

  // Feed the input and collect the output together, so neither side can block the other.
  // Once all input is in the pipe, the pipe stays open until the helper has read it all:
  // a helper that ends leaving it unread has not taken the text.
  ::fcntl(inWrite.get(), F_SETFL, O_NONBLOCK);
  std::string_view input = run.input;
  bool taken = input.empty();
  if (taken) inWrite.Reset();
  while (inWrite.get() >= 0 || outRead.get() >= 0) {
    const bool draining = inWrite.get() >= 0 && input.empty();
    pollfd fds[2];
    nfds_t count = 0;
    if (inWrite.get() >= 0) fds[count++] = {inWrite.get(), draining ? short{0} : short{POLLOUT}, 0};
    if (outRead.get() >= 0) fds[count++] = {outRead.get(), POLLIN, 0};
    int wait = remaining();
    if (wait == 0) return fail(true);
    // Nothing announces that a pipe has been emptied: look again shortly.
    if (draining && (wait < 0 || wait > 5)) wait = 5;
    if (::poll(fds, count, wait) < 0 && errno != EINTR) return fail(false);
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].fd == inWrite.get() && draining) {
        int unread = 0;
        if (::ioctl(inWrite.get(), FIONREAD, &unread) != 0 || unread == 0) {
          taken = true;
          inWrite.Reset();
        } else if (fds[i].revents & (POLLERR | POLLHUP)) {
          inWrite.Reset();  // the reader is gone with the text unread
        }
      } else if (fds[i].revents == 0) {
        continue;
      } else if (fds[i].fd == inWrite.get()) {
        const ssize_t n = ::write(inWrite.get(), input.data(), input.size());
        if (n > 0) input.remove_prefix(static_cast<size_t>(n));
        if (n < 0 && errno != EAGAIN && errno != EINTR) inWrite.Reset();
      } else {
        char chunk[65536];
        const ssize_t n = ::read(outRead.get(), chunk, sizeof chunk);
        if (n > 0) {
          if (static_cast<size_t>(n) > run.outputLimit - result.output.size()) return fail(false);
          result.output.append(chunk, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          outRead.Reset();
        }
      }
    }
  }

  // Wait for the helper to end, polling while a limit applies. What it leaves running in
  // its group (a clipboard owner) is out of the guard's reach from the moment it is reaped.
  int status = 0;
  while (true) {
    pid_t done;
    {
      std::optional<HoldTerminations> hold;
      if (ownGroup) hold.emplace();  // never while waiting without a limit
      done = ::waitpid(pid, &status, run.limit ? WNOHANG : 0);
      if (done == pid) runningGroup = 0;
    }
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return result;
    if (remaining() == 0) return fail(true);
    if (done == 0) ::usleep(2000);
  }
  if (WIFEXITED(status) && taken) result.exitCode = WEXITSTATUS(status);
  if (errors.get() >= 0) {
    result.errors.resize(4096);
    const ssize_t n = ::pread(errors.get(), result.errors.data(), result.errors.size(), 0);
    result.errors.resize(n > 0 ? static_cast<size_t>(n) : 0);
  }
  return result;
}

}  // namespace jotlog
