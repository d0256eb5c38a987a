// Runs the built program as a user would: a copy of it in a temporary folder, with a home,
// runtime and config folder of its own, and checks the bytes it wrote and what it showed.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "e2e_cases.h"

namespace {

using namespace jotlog::test;
using namespace std::chrono_literals;

// The program in bin, with a home, runtime and config folder of its own, started with this
// process's environment, which holds nothing else: no locale, no language declared.
class EndToEnd : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    Folders();
    fs::copy_file(JOTLOG_EXE, root / "bin/jotlog");
    clearenv();
    setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    // No session bus, and none started on demand (dbus-x11's autolaunch): notifications
    // reach only a service that a case starts itself.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (root / "no-bus").string()).c_str(), 1);
  }
  void Folders() const {
    for (const char* f : {"home/Documents", "run", "config", "bin"})
      fs::create_directories(root / f);
  }
  // The program after the shell words `prefix`; its standard error is the Child's output.
  Child Start(const std::vector<std::string>& args, const std::string& prefix = "") const {
    std::string command = prefix + Quote(root / "bin/jotlog");
    for (const std::string& arg : args) command.append(" ").append(Quote(arg));
    return Shell(command + " 2>&1 >/dev/null </dev/null");
  }
  std::string Run(const std::vector<std::string>& args, const std::string& prefix = "") const {
    return Start(args, prefix).Finish();
  }
  // Files made append-only by a case may go again.
  void Unfreeze() const { Shell("chattr -R -a " + root.string() + " >/dev/null 2>&1").Finish(); }
  void TearDown() override {
    Unfreeze();
    TempFolder::TearDown();
  }

  fs::path memoFile() const { return root / "home/Documents/jotlog.txt"; }
  fs::path keptFile() const { return root / "home/.local/state/jotlog/unsaved.txt"; }
};

TEST_F(EndToEnd, TheCasesOfBothPrograms) {
  RunCases(
      System::kLinux, root, root.string(), keptFile().string(),
      [&](const std::string& name) {
        return name == "docs" ? memoFile() : name == "kept" ? keptFile() : root / name;
      },
      // A row as nobody hands the folders to nobody: the file of unsaved memos starts anew.
      [&] { Unfreeze(), fs::remove_all(root / "home/.local"), Folders(); },
      [&](const auto& args, const auto& prefix) { return Run(args, prefix); });
  // No process that the seven helpers that hang recorded, each with its child, is left.
  std::this_thread::sleep_for(100ms);
  std::ifstream pids(root / "pids");
  size_t count = 0;
  for (pid_t pid; pids >> pid; ++count) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    EXPECT_TRUE(stat.empty() || stat[stat.rfind(')') + 2] == 'Z') << pid;
  }
  EXPECT_EQ(count, 7 * 2u);
  rusage usage;  // endless clipboard text costs a run a few times its limit, and no more
  getrusage(RUSAGE_CHILDREN, &usage);
  EXPECT_LT(usage.ru_maxrss, 512 << 10);
}

TEST_F(EndToEnd, TheDefaultFileIsWrittenWholeAndAppendedToWhereNoLinkCanBeMade) {
  // A portable copy on an exFAT stick: a loop device served by exfat-fuse, which makes
  // neither unnamed files nor hard links, nor reserves room ahead.
  if (geteuid() != 0 || !fs::exists("/sbin/mount.exfat-fuse")) GTEST_SKIP() << "no exfat-fuse";
  const fs::path bin = root / "bin", image = root / "stick.img";
  fs::rename(bin / "jotlog", root / "jotlog");
  const std::string device =
      Shell("truncate -s 8M " + image.string() + " && mkfs.exfat " + image.string() +
            " >/dev/null && losetup -f --show " + image.string())
          .Finish();
  if (!device.starts_with("/dev/loop")) GTEST_SKIP() << "no loop device here";
  struct Stick {
    std::string device;
    fs::path at;
    ~Stick() { Shell("umount " + at.string() + "; losetup -d " + device).Finish(); }
  } stick{device.substr(0, device.size() - 1), bin};
  if (Shell("mount.exfat-fuse " + stick.device + " " + bin.string() + " >/dev/null 2>&1")
          .Finish() != "") {
    GTEST_SKIP() << "cannot mount here";
  }
  fs::copy_file(root / "jotlog", bin / "jotlog");
  EXPECT_EQ(Run({"abc"}), kSaved);
  EXPECT_EQ(Contents(bin), "jotlog jotlog.ini ");
  EXPECT_EQ(ReadFile(bin / "jotlog.ini"), kDefaultSettings);
  // Appends, and one that runs out of room part way: its part is taken back.
  WriteFile(bin / "jotlog.ini",
            "[setting]\nFileName=" + (bin / "memo.txt").string() + "\nMemoFormat=<%MEMO%>\n");
  for (const char* memo : {"new", "more"}) EXPECT_EQ(Run({memo}, "timeout 8 "), kSaved);
  Shell("head -c $(($(df -B1 --output=avail " + bin.string() + " | tail -1) - 300000)) " +
        "/dev/zero >" + (bin / "fill").string())
      .Finish();
  EXPECT_EQ(
      Run({}, "sh -c 'exec \"$@\" $0 $0 $0 $0' $(head -c 100000 /dev/zero | tr '\\0' m) "),
      std::regex_replace(Kept(kNotSaved, (bin / "memo.txt").string(), "No space left on device"),
                         std::regex("\\{kept\\}"), keptFile().string()));
  EXPECT_EQ(ReadFile(bin / "memo.txt"), "<new><more>");
}

TEST_F(EndToEnd, AStartWaitsForARunAtWorkButNotForEver) {
  WriteFile(root / "bin/jotlog.ini", "[setting]\nMemoFormat=%MEMO%\n");
  const std::string guard = (root / "run/{6F0B2C1D-93A4-4e7b-8C55-1A2B3C4D5E6F}.lock").string();
  const int lock = open(guard.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  // Let go after a second: the start waiting meanwhile records its memo in full.
  std::thread release([&] { std::this_thread::sleep_for(1s), flock(lock, LOCK_UN); });
  EXPECT_EQ(Run({"waited"}), kSaved);
  release.join();
  // Held past the longest run's work: a failure that says so.
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  // The memo in hand is kept.
  EXPECT_EQ(Run({"given up"}), kNotSaved + memoFile().string() +
                                   ": jotlog の別の実行が 15 秒以内に終わりませんでした\n" +
                                   "メモは " + keptFile().string() + " に残しました。\nexit 256");
  EXPECT_EQ(ReadFile(keptFile()), "given up");
  close(lock);
  EXPECT_EQ(ReadFile(memoFile()), "waited");
}

TEST_F(EndToEnd, TerminationWaitsUntilTheEntryIsComplete) {
  // With the memo file's lock held here, the run waits at the start of its append alone.
  WriteFile(root / "bin/jotlog.ini", "[setting]\n");
  std::ofstream(memoFile()).flush();
  const int lock = open(memoFile().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  pid_t pid = 0;  // started as "echo $$; exec ...": the run's process id comes first
  Child run = Start({std::string(100000, 'm')}, "echo $$; exec ");
  ASSERT_EQ(fscanf(run.pipe, "%d", &pid), 1);
  auto heldBack = [status = "/proc/" + std::to_string(pid) + "/status"] {
    const std::string text = ReadFile(status);
    const size_t mask = text.find("SigBlk:");
    return mask != std::string::npos &&
           (std::stoull(text.substr(mask + 7, 17), nullptr, 16) >> (SIGTERM - 1) & 1);
  };
  for (int i = 0; i < 2000 && !heldBack(); ++i) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(heldBack());
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) kill(pid, signal);
  close(lock);
  // It ends by a signal, once its entry is complete.
  EXPECT_EQ(run.Finish().find(kSaved), std::string::npos);
  EXPECT_EQ(Contents(memoFile()), "[STAMP] " + std::string(100000, 'm') + "\r\n");
}

}  // namespace
