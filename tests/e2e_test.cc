// Runs the built program as a user would: a copy of it in a temporary folder, with a home,
// runtime and config folder of its own, and checks the bytes it wrote and the line it
// printed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kSaved = "確認: メモファイルに保存しました。\n";
const std::string kNotSaved = "確認: メモファイルに保存できませんでした。\n";

struct Outcome {
  int exitCode = -1;
  std::string output;  // what the program printed on standard error
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// "[YYYY/MM/DD hh:mm:ss]" for the local time now.
std::string Stamp() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char text[32];
  strftime(text, sizeof text, "[%Y/%m/%d %H:%M:%S]", &local);
  return text;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jotlog-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    home = root / "home";
    documents = home / "Documents";
    fs::create_directories(documents);
    fs::create_directories(root / "run");
    fs::create_directories(root / "config");
    fs::create_directories(root / "bin");
    program = root / "bin" / "jotlog";
    fs::copy_file(JOTLOG_EXE, program);
  }
  void TearDown() override { fs::remove_all(root); }

  std::vector<std::string> Environment() const {
    return {"HOME=" + home.string(), "XDG_RUNTIME_DIR=" + (root / "run").string(),
            "XDG_CONFIG_HOME=" + (root / "config").string(), "LC_ALL=C", "PATH=/usr/bin:/bin"};
  }

  // Starts the program; its standard error goes to the returned descriptor.
  pid_t Start(const std::vector<std::string>& args, int& errorFd) const {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    std::vector<std::string> env = Environment();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
      int devNull = open("/dev/null", O_RDWR);
      dup2(devNull, 0);
      dup2(devNull, 1);
      dup2(pipeFds[1], 2);
      if (chdir(root.c_str()) != 0) _exit(126);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    close(pipeFds[1]);
    errorFd = pipeFds[0];
    return pid;
  }

  // Collects the output and the exit code; kills the program after `limit`.
  static Outcome Finish(pid_t pid, int errorFd,
                        std::chrono::seconds limit = std::chrono::seconds(20)) {
    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char chunk[4096];
    while (true) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        kill(pid, SIGKILL);
        break;
      }
      struct pollfd p {
        errorFd, POLLIN, 0
      };
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      ssize_t n = read(errorFd, chunk, sizeof chunk);
      if (n <= 0) break;
      outcome.output.append(chunk, static_cast<size_t>(n));
    }
    close(errorFd);
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
  }

  Outcome Run(const std::vector<std::string>& args) const {
    int errorFd = -1;
    pid_t pid = Start(args, errorFd);
    return Finish(pid, errorFd);
  }

  fs::path root, home, documents, program;
};

TEST_F(EndToEnd, RecordsAStampedMemoInTheDocumentsFolder) {
  const std::string before = Stamp();
  Outcome outcome = Run({"buy", "milk"});
  const std::string after = Stamp();
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.output, kSaved);

  const std::string written = ReadFile(documents / "jotlog.txt");
  ASSERT_TRUE(
      std::regex_match(written, std::regex(R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] buy milk\r\n)")))
      << written;
  const std::string stamp = written.substr(0, before.size());
  EXPECT_LE(before, stamp);
  EXPECT_LE(stamp, after);

  EXPECT_EQ(Run({"  second ", "\"memo\""}).exitCode, 0);
  const std::string both = ReadFile(documents / "jotlog.txt");
  ASSERT_GT(both.size(), written.size());
  EXPECT_EQ(both.substr(0, written.size()), written);
  EXPECT_EQ(both.substr(written.size() + before.size()), "   second  \"memo\"\r\n");
}

TEST_F(EndToEnd, MemoBytesReachTheFileUnchanged) {
  const std::pair<std::string, std::string> cases[] = {
      {"caf\xE9", "caf\xE9"},  // not UTF-8: kept as it is
      {"確認 \xF0\x9F\x93\x9D", "確認 \xF0\x9F\x93\x9D"},
      {"a\tb\\nc", "a\tb\\nc"},
  };
  for (const auto& [argument, bytes] : cases) {
    fs::remove(documents / "jotlog.txt");
    EXPECT_EQ(Run({argument}).output, kSaved);
    const std::string written = ReadFile(documents / "jotlog.txt");
    ASSERT_GT(written.size(), 22u);
    EXPECT_EQ(written.substr(22), bytes + "\r\n");
  }
}

TEST_F(EndToEnd, TheDocumentsFolderFollowsTheUserDirsFileOrFallsBackToHome) {
  fs::create_directories(home / "Papers");
  WriteFile(root / "config" / "user-dirs.dirs",
            "# written by the test\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
  EXPECT_EQ(Run({"one"}).output, kSaved);
  EXPECT_TRUE(fs::exists(home / "Papers" / "jotlog.txt"));

  fs::remove(root / "config" / "user-dirs.dirs");
  fs::remove_all(documents);
  EXPECT_EQ(Run({"two"}).output, kSaved);
  EXPECT_TRUE(fs::exists(home / "jotlog.txt"));
}

TEST_F(EndToEnd, AMemoFileThatCannotBeOpenedShowsTheFailureLine) {
  fs::create_directories(documents / "jotlog.txt");  // a folder in the file's place
  Outcome outcome = Run({"memo"});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.output, kNotSaved);
}

TEST_F(EndToEnd, ASecondStartWhileTheFirstRunsEndsAtOnce) {
  // The first run blocks opening a named pipe as its memo file, guard held.
  const fs::path fifo = documents / "jotlog.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int firstErrors = -1;
  pid_t first = Start({"first"}, firstErrors);
  ASSERT_GT(first, 0);

  // Wait until the first run holds its lock.
  bool held = false;
  for (int i = 0; i < 500 && !held; ++i) {
    for (const auto& entry : fs::directory_iterator(root / "run")) {
      int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      held = flock(fd, LOCK_EX | LOCK_NB) != 0;
      close(fd);
    }
    if (!held) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(held);

  const auto started = std::chrono::steady_clock::now();
  Outcome second = Run({"second"});
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.output, "");

  // Release the first run by reading what it writes.
  int reader = open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  std::string received;
  char chunk[256];
  for (ssize_t n; (n = read(reader, chunk, sizeof chunk)) > 0;) received.append(chunk, n);
  close(reader);
  Outcome firstOutcome = Finish(first, firstErrors);
  EXPECT_EQ(firstOutcome.exitCode, 0);
  EXPECT_EQ(firstOutcome.output, kSaved);
  EXPECT_TRUE(std::regex_match(received, std::regex(R"(\[[^\]]+\] first\r\n)"))) << received;
}

}  // namespace
