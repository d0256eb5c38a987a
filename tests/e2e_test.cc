// Runs the built program as a user would: a copy of it in a temporary folder, with a home,
// runtime and config folder of its own, and checks the bytes it wrote and the line it
// printed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string kSaved = "確認: メモファイルに保存しました。\n";
const std::string kNotSaved = "確認: メモファイルに保存できませんでした。\n";

std::string ReadFile(const fs::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

std::string Stamp() {  // "[YYYY/MM/DD hh:mm:ss]", local time
  std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "[%Y/%m/%d %H:%M:%S]", std::localtime(&now));
  return text;
}

struct Child {
  pid_t pid = -1;
  int errors = -1;  // read end of its standard error

  // Waits for the end; returns what it printed, or "exit N" when N is not 0.
  std::string Finish() {
    std::string output;
    char chunk[4096];
    for (ssize_t n; (n = read(errors, chunk, sizeof chunk)) > 0;) output.append(chunk, n);
    close(errors);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? output
                                                         : "exit " + std::to_string(status);
  }
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jotlog-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    for (const char* folder : {"home/Documents", "run", "config", "bin"}) {
      fs::create_directories(root / folder);
    }
    fs::copy_file(JOTLOG_EXE, root / "bin" / "jotlog");
  }
  void TearDown() override { fs::remove_all(root); }

  Child Start(std::vector<std::string> args) const {
    std::string program = (root / "bin" / "jotlog").string();
    std::vector<std::string> env = {"HOME=" + (root / "home").string(),
                                    "XDG_RUNTIME_DIR=" + (root / "run").string(),
                                    "XDG_CONFIG_HOME=" + (root / "config").string(), "LC_ALL=C"};
    args.insert(args.begin(), program);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int fds[2];
    Child child;
    if (pipe2(fds, O_CLOEXEC) != 0) return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    child.errors = fds[0];
    return child;
  }
  std::string Run(const std::vector<std::string>& args) const { return Start(args).Finish(); }

  fs::path root;
  fs::path memoFile() const { return root / "home/Documents/jotlog.txt"; }
};

TEST_F(EndToEnd, RecordsStampedMemosInTheDocumentsFolder) {
  const std::string before = Stamp();
  EXPECT_EQ(Run({"buy", "milk"}), kSaved);
  const std::string first = ReadFile(memoFile()), after = Stamp();
  ASSERT_TRUE(
      std::regex_match(first, std::regex(R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] buy milk\r\n)")))
      << first;
  EXPECT_LE(before, first.substr(0, before.size()));
  EXPECT_GE(after, first.substr(0, before.size()));

  // Arguments are joined with single spaces; bytes that are not UTF-8 pass unchanged.
  EXPECT_EQ(Run({" two ", "\"memo\"", "caf\xE9", "確認"}), kSaved);
  const std::string both = ReadFile(memoFile());
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_EQ(both.substr(first.size() + before.size()), "  two  \"memo\" caf\xE9 確認\r\n");
}

TEST_F(EndToEnd, TheDocumentsFolderFollowsUserDirsOrFallsBackToHome) {
  fs::create_directories(root / "home/Papers");
  std::ofstream(root / "config/user-dirs.dirs") << "# test\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
  EXPECT_EQ(Run({"one"}), kSaved);
  EXPECT_TRUE(fs::exists(root / "home/Papers/jotlog.txt"));

  fs::remove(root / "config/user-dirs.dirs");
  fs::remove_all(root / "home/Documents");
  EXPECT_EQ(Run({"two"}), kSaved);
  EXPECT_TRUE(fs::exists(root / "home/jotlog.txt"));
}

TEST_F(EndToEnd, AMemoFileThatCannotBeOpenedGivesTheFailureLine) {
  fs::create_directories(memoFile());  // a folder in the file's place
  EXPECT_EQ(Run({"memo"}), kNotSaved);
}

TEST_F(EndToEnd, ASecondStartWhileTheFirstRunsEndsAtOnce) {
  // The first run blocks opening a named pipe as its memo file, guard held.
  ASSERT_EQ(mkfifo(memoFile().c_str(), 0600), 0);
  Child first = Start({"first"});
  bool held = false;
  for (int i = 0; i < 1000 && !held; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (const auto& lock : fs::directory_iterator(root / "run")) {
      int fd = open(lock.path().c_str(), O_RDONLY | O_CLOEXEC);
      held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0;
      close(fd);
    }
  }
  ASSERT_TRUE(held);
  EXPECT_EQ(Run({"second"}), "");

  int reader = open(memoFile().c_str(), O_RDONLY | O_CLOEXEC);
  std::string received;
  char chunk[256];
  for (ssize_t n; (n = read(reader, chunk, sizeof chunk)) > 0;) received.append(chunk, n);
  close(reader);
  EXPECT_EQ(first.Finish(), kSaved);
  EXPECT_TRUE(std::regex_match(received, std::regex(R"(\[[^\]]+\] first\r\n)"))) << received;
}

}  // namespace
