// Runs the built program as a user would: a copy of it in a temporary folder, with a home,
// runtime and config folder of its own, and checks the bytes it wrote and what it showed.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "e2e_cases.h"

namespace {

using namespace jotlog::test;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

void WriteScript(const fs::path& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  fs::permissions(path, fs::perms::owner_all);
}

// Whether the process exists and has not ended (a zombie has).
bool Alive(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t paren = stat.rfind(')');
  return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

// The program in bin, with a home, runtime and config folder of its own.
class EndToEnd : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    Folders();
    fs::copy_file(JOTLOG_EXE, root / "bin/jotlog");
  }
  void Folders() const {
    for (const char* folder : {"home/Documents", "run", "config", "bin"}) {
      fs::create_directories(root / folder);
    }
  }
  // The command line that starts the program in a C locale with `env` (shell words) added
  // to its environment.
  std::string Command(const std::vector<std::string>& args, const std::string& env) const {
    std::string command = "env -i LC_ALL=C PATH=/usr/bin:/bin HOME=" + Quote(root / "home");
    command.append(" XDG_RUNTIME_DIR=").append(Quote(root / "run"));
    command.append(" XDG_CONFIG_HOME=").append(Quote(root / "config")).append(" ").append(env);
    command.append(" ").append(Quote(root / "bin/jotlog"));
    for (const std::string& arg : args) command.append(" ").append(Quote(arg));
    return command;
  }
  // Starts the program after the shell words in `prefix`; what it shows on standard error
  // is the Child's output.
  Child Start(const std::vector<std::string>& args, const std::string& prefix = "") const {
    return Shell(prefix + Command(args, desktop) + " 2>&1 >/dev/null </dev/null");
  }
  std::string Run(const std::vector<std::string>& args, const std::string& prefix = "") const {
    return Start(args, prefix).Finish();
  }
  void Settings(const std::string& bytes) const { WriteFile(root / "bin/jotlog.ini", bytes); }
  // Files made append-only by a case may go again.
  void Unfreeze() const { Shell("chattr -R -a " + root.string() + " >/dev/null 2>&1").Finish(); }
  void TearDown() override {
    Unfreeze();
    TempFolder::TearDown();
  }

  std::string desktop;  // settings added to the environment: DISPLAY and the like
  fs::path memoFile() const { return root / "home/Documents/jotlog.txt"; }
};

TEST_F(EndToEnd, TheCasesOfBothPrograms) {
  RunCases(
      System::kLinux, root, root.string(),
      [&](const std::string& name) {
        return name == "docs" ? root / "home/Documents/jotlog.txt" : root / name;
      },
      [&] { Unfreeze(), Folders(); },
      [&](const auto& args, const auto& prefix) { return Run(args, prefix); });
}

TEST_F(EndToEnd, WhereTheProgramFolderRefusesTheFileTheSettingsAreTheUsersOwn) {
  // As a user without privileges, for whom the folder's permissions count.
  const std::string asUser =
      geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  ASSERT_EQ(Shell("chown -R 65534:65534 " + root.string() + " 2>&1").Finish(), "");
  const fs::path bin = root / "bin", ini = root / "config/jotlog/jotlog.ini";
  fs::permissions(bin, fs::perms::owner_read | fs::perms::owner_exec);
  // XDG_CONFIG_HOME, or ~/.config when it is empty or not absolute.
  for (const std::string value : {"", "config", "/"}) {
    const fs::path folder = value == "/" ? ini.parent_path() : root / "home/.config/jotlog";
    desktop = "XDG_CONFIG_HOME=" + (value == "/" ? Quote(root / "config") : value) + " ";
    EXPECT_EQ(Run({"one"}, asUser), kSaved) << value;
    EXPECT_EQ(ReadFile(folder / "jotlog.ini"), kDefaultSettings) << value;
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << value;
  }
  desktop = "";
  EXPECT_EQ(Listing(bin), std::vector<std::string>{"jotlog"});
  // Read by the next run; a file beside the program, even one it cannot read, comes first.
  const std::string mine = "[setting]\nFileName=" + (root / "mine.txt").string() + "\n";
  WriteFile(ini, mine);
  EXPECT_EQ(Run({"two"}, asUser), kSaved);
  EXPECT_EQ(Contents(root / "mine.txt"), "[STAMP] two\r\n");
  fs::permissions(bin, fs::perms::owner_all);
  Settings("[setting]\nShowDialog=0\n");
  fs::permissions(bin / "jotlog.ini", fs::perms::none);
  fs::permissions(bin, fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_EQ(Run({"three"}, asUser), kSaved);
  EXPECT_EQ(Contents(memoFile()), "[STAMP] one\r\n[STAMP] one\r\n[STAMP] one\r\n[STAMP] three\r\n");
  EXPECT_EQ(ReadFile(ini), mine);
  fs::permissions(bin, fs::perms::owner_all);
}

TEST_F(EndToEnd, TheDefaultFileIsWrittenWholeWhereNoLinkCanBeMade) {
  // A portable copy on an exFAT stick: a loop device served by exfat-fuse, which makes
  // neither unnamed files nor hard links.
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
  EXPECT_EQ(Listing(bin), (std::vector<std::string>{"jotlog", "jotlog.ini"}));
  EXPECT_EQ(ReadFile(bin / "jotlog.ini"), kDefaultSettings);
}

TEST_F(EndToEnd, ALongSettingsFileCostsNoMoreThanItHolds) {
  // 40 MiB of lines that add nothing: blank ones and one key over and over. (Made by the
  // shell: this process stays small, as the run starts as a copy of it.)
  ASSERT_EQ(Shell("{ echo [setting]; head -c 20971520 /dev/zero | tr '\\0' '\\n'; yes x | "
                  "head -n 10485760; echo 'MemoFormat=<%MEMO%>'; } >" +
                  (root / "bin/jotlog.ini").string())
                .Finish(),
            "");
  EXPECT_EQ(Run({"memo"}), kSaved);
  EXPECT_EQ(ReadFile(memoFile()), "<memo>");
  rusage usage;
  getrusage(RUSAGE_CHILDREN, &usage);
  EXPECT_LT(usage.ru_maxrss, 64 << 10);  // KiB
}

TEST_F(EndToEnd, MemoryRunningOutBuildingTheEntryIsAFailureLikeAnyOther) {
  // A limit on the address space leaves the sanitizers no room to start.
  if (kSanitized) GTEST_SKIP() << "sanitized";
  const std::string old(40, 'o');
  WriteFile(root / "memo.txt", old);
  Settings("[setting]\nFileName=" + (root / "memo.txt").string() + "\nMemoFormat=" +
           std::regex_replace(std::string(170, '.'), std::regex("\\."), "%MEMO%") + "\n");
  EXPECT_EQ(Run({std::string(60000, 'm'), std::string(60000, 'm')}, "prlimit --as=64000000 "),
            kNotSaved);
  EXPECT_EQ(ReadFile(root / "memo.txt"), old);
}

TEST_F(EndToEnd, FailingRunsTakeNothingFromAnotherWriter) {
  // A logger appends lines while runs fail on the size limit.
  const fs::path memo = root / "memo.txt";
  Settings("[setting]\nFileName=" + memo.string() + "\n");
  WriteFile(memo, std::string(100, 'o'));
  std::atomic<bool> stop = false;
  size_t lines = 0;
  std::thread logger([&] {
    const int fd = open(memo.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    for (; !stop; ++lines) ASSERT_EQ(write(fd, "line\n", 5), 5);
    close(fd);
  });
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Run({"memo"}, "prlimit --fsize=100 "), kNotSaved);
  stop = true;
  logger.join();
  EXPECT_EQ(fs::file_size(memo), 100 + 5 * lines);
}

TEST_F(EndToEnd, PipesAndFoldersAreWrittenOrPassedOverButNeverWaitedOn) {
  const fs::path pipe = root / "pipe", ini = root / "bin/jotlog.ini";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  Settings("[setting]\nMemoFormat=<%MEMO%>\nFileName=" + pipe.string() + "\n");
  EXPECT_EQ(Run({"read"}), kSaved);
  char received[64];
  EXPECT_EQ(std::string(received, std::max<ssize_t>(0, read(reader, received, 64))), "<read>");
  // A reader that never reads, and more than the pipe holds: the run waits as long as for
  // a lock, then fails.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({std::string(100000, 'm')}, "timeout 30 "), kNotSaved);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  close(reader);

  // In place of the settings file or user-dirs file: skipped as unreadable, left alone.
  fs::remove(ini);
  ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((root / "config/user-dirs.dirs").c_str(), 0600), 0);
  EXPECT_EQ(Run({"one"}), kSaved);
  fs::remove(ini);
  fs::create_directory(ini);
  EXPECT_EQ(Run({"two"}), kSaved);
  EXPECT_TRUE(fs::is_empty(ini) && fs::is_fifo(root / "config/user-dirs.dirs"));
  EXPECT_EQ(Contents(memoFile()), "[STAMP] one\r\n[STAMP] two\r\n");
}

TEST_F(EndToEnd, TerminationWaitsUntilTheEntryIsComplete) {
  // With the memo file's lock held here, the run waits at the start of its append (and
  // nowhere else: its settings file is in place).
  Settings("[setting]\n");
  std::ofstream(memoFile()).flush();
  const int lock = open(memoFile().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  const std::string memo(100000, 'm');
  Child run = Start({memo}, "echo $$; exec ");
  pid_t pid = 0;
  ASSERT_EQ(fscanf(run.pipe, "%d", &pid), 1);
  auto heldBack = [status = "/proc/" + std::to_string(pid) + "/status"] {
    const std::string text = ReadFile(status);
    const size_t mask = text.find("SigBlk:");
    return mask != std::string::npos &&
           (std::stoull(text.substr(mask + 7, 17), nullptr, 16) >> (SIGTERM - 1) & 1);
  };
  for (int i = 0; i < 2000 && !heldBack(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(heldBack());
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) kill(pid, signal);
  close(lock);
  // It ends by a signal, once its entry is complete.
  EXPECT_EQ(run.Finish().find(kSaved), std::string::npos);
  EXPECT_EQ(Contents(memoFile()), "[STAMP] " + memo + "\r\n");
}

TEST_F(EndToEnd, ClosedStandardStreamsAreNotTakenByFiles) {
  for (const char* closed : {" 2>&-", " <&- >&- 2>&-"}) {
    EXPECT_EQ(Shell(Command({"memo"}, "") + closed).Finish(), "") << closed;
  }
  for (const auto& lock : fs::directory_iterator(root / "run")) EXPECT_EQ(fs::file_size(lock), 0);
  EXPECT_EQ(ReadFile(memoFile()).size(), 2 * std::string("[2026/12/06 20:00:00] memo\r\n").size());
  // Output that cannot be written is a failure.
  EXPECT_EQ(Shell(Command({"--version"}, "") + " >/dev/full 2>&1; echo $?").Finish(), "1\n");
}

TEST_F(EndToEnd, TwoDozenSimultaneousStartsNeverMixEntries) {
  for (bool guarded : {true, false}) {
    if (!guarded) {  // a runtime folder that is a file: no run can take the guard
      fs::remove_all(root / "run");
      std::ofstream(root / "run").flush();
    }
    fs::remove(memoFile());
    std::vector<Child> runs;
    for (int i = 0; i < 24; ++i) runs.push_back(Start({"run " + std::to_string(i)}));
    size_t saved = 0;
    for (Child& run : runs) {
      const std::string shown = run.Finish();
      EXPECT_TRUE(shown == kSaved || shown.empty()) << shown;
      saved += shown == kSaved;
    }
    std::istringstream file(Contents(memoFile()));
    size_t entries = 0;
    for (std::string line; std::getline(file, line); ++entries) {
      EXPECT_TRUE(std::regex_match(line, std::regex(R"(\[STAMP\] run \d+\r)"))) << line;
    }
    EXPECT_EQ(entries, saved);
    EXPECT_GE(saved, guarded ? 1u : 24u);
  }
}

TEST_F(EndToEnd, ANewMemoFileInAFolderThatCannotBeReadIsCommittedAllTheSame) {
  if (Shell("strace -o /dev/null true 2>&1").Finish() != "") GTEST_SKIP() << "no tracing here";
  // As a user without privileges, for whom the folder's permissions count.
  const uid_t user = geteuid() == 0 ? 65534 : geteuid();
  fs::permissions(root, fs::perms::others_exec, fs::perm_options::add);
  const fs::path folder = root / "w";
  fs::create_directory(folder);
  ASSERT_EQ(chown(folder.c_str(), user, -1), 0);
  fs::permissions(folder, fs::perms::owner_write | fs::perms::owner_exec);
  Settings("[setting]\nFileName=" + (folder / "memo.txt").string() + "\n");
  desktop = "ASAN_OPTIONS=detect_leaks=0 ";  // the leak check cannot run under a tracer
  const fs::path log = root / "trace";
  EXPECT_EQ(
      Run({"memo"},
          "strace -f -qq -e trace=fsync,syncfs -o " + log.string() +
              (user == geteuid() ? " " : " setpriv --reuid=65534 --regid=65534 --clear-groups ")),
      kSaved);
  // The file's data, and its name through a sync of its whole file system.
  EXPECT_NE(ReadFile(log).find("fsync("), std::string::npos);
  EXPECT_NE(ReadFile(log).find("syncfs("), std::string::npos);
}

TEST_F(EndToEnd, TheClipboardHelpersOnWaylandAndX) {
  // Stand-ins for wl-paste, wl-copy and xclip that keep the clipboard in a file; each is
  // made of what it does when asked for the types on offer, for the text and to copy.
  const fs::path tools = root / "tools", clip = root / "clip", log = root / "log";
  fs::create_directories(tools);
  const std::string list =
                        "printf 'TARGETS\\nimage/png\\nUTF8_STRING\\ntext/plain;charset=utf-8\\n'",
                    read = "cat " + clip.string(), copy = "cat >" + clip.string();
  auto helpers = [&](bool wayland, const std::string& types, const std::string& text,
                     const std::string& copied) {
    const std::string logged = "echo \"${0##*/} $*\" >>" + log.string() + "; ";
    WriteScript(tools / "wl-paste",
                logged + "case $1 in --list-types) " + types + ";; *) " + text + ";; esac");
    WriteScript(tools / "wl-copy", logged + copied);
    WriteScript(tools / "xclip", logged + "case \"$*\" in *TARGETS*) " + types + ";; *' -o '*) " +
                                     text + ";; *) " + copied + ";; esac");
    desktop = (wayland ? "WAYLAND_DISPLAY=wayland-test" : "DISPLAY=:none") +
              (" PATH=" + tools.string() + ":/usr/bin:/bin ");
    if (!wayland) fs::remove(tools / "wl-paste");
  };
  helpers(true, list, read, copy);
  std::ofstream(clip) << "abc";
  Settings("[setting]\nAddFrom=clipboard\nFileName=clipboard\nMemoFormat=<%MEMO%>\n");
  EXPECT_EQ(Run({}), kClipboardSaved);
  EXPECT_EQ(ReadFile(clip), "abc<abc>");
  const std::string paste = "wl-paste --list-types\nwl-paste --no-newline --type UTF8_STRING\n";
  EXPECT_EQ(ReadFile(log), paste + paste + "wl-copy --type text/plain;charset=utf-8\n");

  // Text that is there but cannot be read is never replaced: a helper that hangs (which
  // costs one time limit, after which it is ended with all it started), fails or gives
  // endless text. Only a clipboard without text gets the entry alone; a copy that fails or
  // leaves the text unread leaves the old text.
  const fs::path pids = root / "pids";
  const std::string hang =
      "echo $$ >>" + pids.string() + "; sleep 1000 & echo $! >>" + pids.string() + "; wait";
  const std::string endless = "exec yes 0123456789abcdef";
  const std::tuple<bool, std::string, std::string, std::string, std::string> cases[] = {
      // Wayland (else X), types, text, copy, clipboard afterwards ("old": a failure)
      {false, list, hang, copy, "old"},
      {true, list, "exit 2", copy, "old"},
      {false, list, "kill -9 $$", copy, "old"},
      {true, list, endless, copy, "old"},
      {false, endless, read, copy, "old"},
      {true, "exit 1", read, copy, "<memo>"},   // nothing copied
      {false, "exit 1", read, copy, "<memo>"},  // no owner
      {true, "echo image/png", read, copy, "<memo>"},
      {true, list, read, "[ \"$1\" = --clear ] && : >" + clip.string() + "; exit 1", "old"},
      {false, list, read, "exit 0", "old"},
  };
  Settings("[setting]\nFileName=clipboard\nMemoFormat=<%MEMO%>\n");
  for (const auto& [wayland, types, text, copied, after] : cases) {
    helpers(wayland, types, text, copied);
    std::ofstream(clip) << "old";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({"memo"}), after == "old" ? kClipboardNotSaved : kClipboardSaved) << text;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8)) << text;
    EXPECT_EQ(ReadFile(clip), after) << types << text << copied;
  }
  rusage usage;
  getrusage(RUSAGE_CHILDREN, &usage);
  EXPECT_LT(usage.ru_maxrss, 512 << 10);  // KiB: endless text costs a few times the limit

  // A termination while a helper runs ends the helper's group first.
  helpers(true, hang, hang, copy);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    Child run = Start({"memo"}, "echo $$; exec ");
    pid_t pid = 0;
    ASSERT_EQ(fscanf(run.pipe, "%d", &pid), 1);
    auto started = [&] {
      const std::string recorded = ReadFile(pids);
      return std::count(recorded.begin(), recorded.end(), '\n');
    };
    const auto before = started() + 2;
    for (int i = 0; i < 2000 && started() < before; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, signal);
    EXPECT_TRUE(std::regex_match(run.Finish(), std::regex("\\s*exit [1-9].*")))
        << signal;  // ended by it
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::ifstream recorded(pids);
  int hung = 0;
  for (pid_t pid; recorded >> pid; ++hung) EXPECT_FALSE(Alive(pid)) << pid;
  EXPECT_EQ(hung, 2 + 4 * 2);
}

TEST_F(EndToEnd, OnADesktopTheFirstDialogOrNotifierFoundShowsTheResult) {
  const fs::path tools = root / "tools", log = root / "log";
  const std::string text = "メモファイルに保存しました。",
                    kdialog = "kdialog --title 確認 --msgbox ",
                    zenity =
                        "zenity --info --no-markup --no-wrap --icon-name= --title=確認 --text=",
                    notify = "notify-send --app-name=jotlog -- 確認 ";
  const std::tuple<std::vector<std::pair<std::string, std::string>>, std::string, std::string>
      cases[] = {
          // stand-ins on PATH and what each does, the one called, the line printed
          {{{"zenity", "exit 0"}, {"kdialog", "exit 0"}}, zenity, ""},
          {{{"zenity", "exit 1"}, {"kdialog", "exit 0"}}, zenity, kSaved},
          {{{"kdialog", "exit 0"}, {"notify-send", "exit 0"}}, kdialog, ""},
          {{{"kdialog", "exit 5"}, {"notify-send", "exit 0"}}, kdialog, kSaved},
          {{{"notify-send", "exit 0"}}, notify, ""},
          {{{"notify-send", "exec /bin/sleep 1000"}}, notify, kSaved},  // no service answers
      };
  desktop = "DISPLAY=:99 PATH=" + tools.string() + " ";
  for (const auto& [standIns, called, line] : cases) {
    fs::remove_all(tools);
    fs::create_directories(tools);
    fs::remove(log);
    for (const auto& [name, action] : standIns) {
      WriteScript(tools / name, "echo \"${0##*/} $*\" >>" + log.string() + "; " + action);
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({"memo"}), line) << called;
    EXPECT_EQ(ReadFile(log), called + text + "\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8)) << called;
  }
}

// A desktop of the test's own: an X server on a free display, with nothing on its
// clipboard and no window manager.
class DesktopEndToEnd : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    server = Shell("echo $$; exec Xvfb -displayfd 1 -nolisten tcp 2>/dev/null");
    ASSERT_EQ(fscanf(server.pipe, "%d %d", &serverPid, &display), 2)
        << "Xvfb is needed (Debian's xvfb)";
    desktop = "DISPLAY=:" + std::to_string(display) + " NO_AT_BRIDGE=1 ";
  }
  void TearDown() override {
    kill(serverPid, SIGTERM);
    server.Finish();
    EndToEnd::TearDown();
  }

  // Runs a tool of the desktop; returns what it printed on its standard output.
  std::string Tool(const std::string& command) const {
    return Shell("export " + desktop + "; " + command + " 2>/dev/null").Finish();
  }

  Child server;
  int serverPid = 0, display = 0;
};

TEST_F(DesktopEndToEnd, TheClipboardAsSourceAndDestination) {
  Settings("[setting]\nShowDialog=0\nAddFrom=clipboard\nFileName=clipboard\nMemoFormat=<%MEMO%>\n");
  // Text, nothing, and something that is not text: text in any of its types is taken
  // (Latin-1 in the older ones), and the entry replaces whatever else the clipboard held.
  const std::tuple<std::string, const char*, std::string> cases[] = {
      {"", nullptr, "<>"},
      {"日本語 テキスト", "UTF8_STRING", "日本語 テキスト<日本語 テキスト>"},
      {"not text", "image/png", "<>"},
      {"caf\xE9", "STRING", "café<café>"},
      {"\xBFs\xED?", "TEXT", "¿sí?<¿sí?>"},
      {"テキスト", "text/plain", "テキスト<テキスト>"},
  };
  for (const auto& [copied, target, after] : cases) {
    if (target != nullptr) {
      Tool("printf %s " + Quote(copied) + " | xclip -selection clipboard -i -t " + target +
           " >/dev/null");
    }
    EXPECT_EQ(Run({"ignored"}), "") << copied;
    EXPECT_EQ(Tool("xclip -selection clipboard -o"), after) << copied;
  }
}

TEST_F(DesktopEndToEnd, TheSuccessDialogHoldsTheGuardUntilDismissed) {
  Child first = Start({"dialog"});
  std::string window = Tool("timeout 20 xdotool search --sync --name 確認");
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(Run({"second"}), "");
  Tool("xdotool windowfocus --sync " + window.substr(0, window.find('\n')) + " key Return");
  EXPECT_EQ(first.Finish(), "");  // shown as a dialog, not as a line
  EXPECT_EQ(Contents(memoFile()), "[STAMP] dialog\r\n");
}

TEST_F(DesktopEndToEnd, ANotificationReachesARealNotificationService) {
  // Only notify-send on PATH, a notification daemon on a session bus of the test's own, and
  // the notification read back from the daemon's history.
  const fs::path tools = root / "tools", shown = root / "shown";
  fs::create_directories(tools);
  fs::create_symlink("/usr/bin/notify-send", tools / "notify-send");
  desktop += "PATH=" + tools.string() + " DBUS_SESSION_BUS_ADDRESS=\"$DBUS_SESSION_BUS_ADDRESS\" ";
  const std::string script =
      "export " + desktop + " PATH=/usr/bin:/bin HOME=" + Quote(root / "home") +
      "; dunst -config /dev/null >/dev/null 2>&1 & for i in $(seq 200); do dbus-send --session "
      "--print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "
      "string:org.freedesktop.Notifications | grep -q true && break; sleep 0.05; done; " +
      Command({"memo"}, desktop) + " 2>" + Quote(shown) +
      " >/dev/null; dunstctl close-all; dunstctl history; kill $!";
  const std::string history =
      Shell("timeout 60 dbus-run-session -- sh -c " + Quote(script) + " 2>/dev/null").Finish();
  EXPECT_EQ(ReadFile(shown), "");
  for (const char* sent :
       {"summary\" : \\{[^}]*\"確認\"", "body\" : \\{[^}]*\"メモファイルに保存しました。\"",
        "appname\" : \\{[^}]*\"jotlog\""}) {
    EXPECT_TRUE(std::regex_search(history, std::regex(sent))) << sent << "\n" << history;
  }
}

}  // namespace
