// Text files on POSIX hosts. No open ever waits: a named pipe without a reader fails at
// once. An append goes to the end of the file in one write and is committed to stable
// storage, or leaves the file as it was. A new file appears under its name whole, or not
// at all.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "platform/platform_posix.h"
#include "platform/text_file.h"
#include "platform/util_posix.h"

namespace jotlog {

namespace {

// How long an append waits for another run that is appending to the same file.
constexpr std::chrono::seconds kLockWait(5);

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Commits a file's data. Pipes, terminals and other devices cannot be synced; that alone
// is no failure.
bool CommitData(int fd) {
  return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP || errno == EROFS;
}

// Commits the entries of `folder`, where the file open as `fileFd` was created. A folder
// the user may write but not read cannot be opened to sync it; syncing the file system
// that holds the file commits the folder then.
bool CommitFolder(const std::string& folder, int fileFd) {
  Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return errno == EACCES && ::syncfs(fileFd) == 0;
  return ::fsync(fd.get()) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// A file read or written through one descriptor, as it comes: the settings file, and
// memo files that are pipes or devices.
class PosixTextFile : public ByteTextFile {
 public:
  // `newFolder` names the folder of a file that was empty when opened (and so may have
  // just been created): closing commits the folder too, so that the file's name is as
  // durable as its contents.
  PosixTextFile(int fd, bool writing, Encoding encoding, std::string newFolder)
      : ByteTextFile(encoding), fd_(fd), writing_(writing), newFolder_(std::move(newFolder)) {}

  bool Close() override {
    if (fd_.get() < 0) return false;
    bool ok = true;
    if (writing_) {
      ok = Flush() && CommitData(fd_.get()) &&
           (newFolder_.empty() || CommitFolder(newFolder_, fd_.get()));
    }
    return fd_.Close() && ok;
  }

 protected:
  ptrdiff_t ReadBytes(char* buffer, size_t size) override {
    ssize_t n;
    do {
      n = ::read(fd_.get(), buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
  }
  bool WriteBytes(std::string_view bytes) override {
    return fd_.get() >= 0 && WriteAll(fd_.get(), bytes);
  }

  Fd fd_;
  bool writing_;
  std::string newFolder_;
};

// A regular memo file. Appending is all or nothing: with the file's lock held and the
// termination signals held back, the bytes go to its end and are committed; when any step
// fails, the file is cut back to the size it had. Every run appends under the lock, so the
// cut can never take another run's entry.
class AppendFile : public PosixTextFile {
 public:
  using PosixTextFile::PosixTextFile;

  bool Close() override {
    if (fd_.get() < 0) return false;
    bool ok = Flush();
    if (ok && begun_) {
      ok = CommitData(fd_.get()) && (newFolder_.empty() || CommitFolder(newFolder_, fd_.get()));
      if (!ok) Restore();
    }
    ok = fd_.Close() && ok;  // releases the lock
    deferred_.reset();       // a termination asked for meanwhile takes effect here
    return ok;
  }

 protected:
  bool WriteBytes(std::string_view bytes) override {
    if (fd_.get() < 0 || !Begin()) return false;
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Restore();
        return false;
      }
      bytes.remove_prefix(static_cast<size_t>(n));
      written_ += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  bool Begin() {
    if (begun_) return true;
    deferred_.emplace();
    if (!Lock()) return false;
    struct stat st;
    if (::fstat(fd_.get(), &st) != 0) return false;
    size_ = st.st_size;
    begun_ = true;
    return true;
  }

  // Waits a bounded time for the lock; false when another holder keeps it that long. A
  // file system without locks lets the append go on unlocked.
  bool Lock() {
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    auto pause = std::chrono::milliseconds(1);
    while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    locked_ = true;
    return true;
  }

  // Cuts the file back to its size before this append. Unlocked, only while nothing has
  // been appended after this run's bytes.
  void Restore() {
    struct stat st;
    if (!locked_ &&
        (::fstat(fd_.get(), &st) != 0 || st.st_size != size_ + static_cast<off_t>(written_))) {
      return;
    }
    if (::ftruncate(fd_.get(), size_) == 0) ::fsync(fd_.get());
  }

  std::optional<DeferTermination> deferred_;
  bool begun_ = false;
  bool locked_ = false;
  off_t size_ = 0;
  size_t written_ = 0;
};

// A file made where nothing existed: written without a name (or under a temporary one)
// and linked into place once it is complete and committed, so that no reader ever sees
// it cut short. The temporary name never outlives the object, and termination signals
// are held back meanwhile so that none can leave it behind.
class NewFile : public PosixTextFile {
 public:
  NewFile(std::unique_ptr<DeferTermination> deferred, int fd, std::string path,
          std::string temporary)
      : PosixTextFile(fd, true, Encoding::kUtf8, FolderOf(path)),
        deferred_(std::move(deferred)),
        path_(std::move(path)),
        temporary_(std::move(temporary)) {}
  ~NewFile() override { Discard(); }

  bool Close() override {
    if (fd_.get() < 0) return false;
    bool ok = Flush() && CommitData(fd_.get()) && Link();
    Discard();
    ok = ok && CommitFolder(newFolder_, fd_.get());
    ok = fd_.Close() && ok;
    deferred_.reset();
    return ok;
  }

 private:
  bool Link() {
    if (!temporary_.empty()) return ::link(temporary_.c_str(), path_.c_str()) == 0;
    // Linking a descriptor by itself needs a privilege; its /proc name does not.
    if (::linkat(fd_.get(), "", AT_FDCWD, path_.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }

  void Discard() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
  }

  std::unique_ptr<DeferTermination> deferred_;
  std::string path_;
  std::string temporary_;
};

std::unique_ptr<TextFile> CreateNew(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 || errno != ENOENT) return nullptr;
  auto deferred = std::make_unique<DeferTermination>();
  const std::string folder = FolderOf(path);
  int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  std::string temporary;
  // File systems without unnamed files get a hidden temporary name beside the file.
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    const size_t slash = path.rfind('/');
    temporary = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + "." +
                std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".new";
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) return nullptr;
  }
  if (fd < 0) return nullptr;
  return std::make_unique<NewFile>(std::move(deferred), fd, path, temporary);
}

// The encoding to append in: that of a UTF-16 memo file, else UTF-8.
Encoding AppendEncoding(const std::string& path, const struct stat& written) {
  if (!S_ISREG(written.st_mode) || written.st_size < 2) return Encoding::kUtf8;
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return Encoding::kUtf8;
  struct stat read;
  char start[2];
  if (::fstat(fd.get(), &read) == 0 && read.st_ino == written.st_ino &&
      read.st_dev == written.st_dev && ::pread(fd.get(), start, 2, 0) == 2) {
    return Signature(std::string_view(start, 2)).first;
  }
  return Encoding::kUtf8;
}

}  // namespace

std::unique_ptr<TextFile> PosixPlatform::OpenTextFile(const std::u16string& name, OpenMode mode) {
  auto path = HostPathFor(name);
  if (!path) return nullptr;
  if (mode == OpenMode::kCreateNew) return CreateNew(*path);
  // Non-blocking, so that a named pipe is never waited on; cleared again below.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (mode) {
    case OpenMode::kRead:
      flags |= O_RDONLY;
      break;
    case OpenMode::kWrite:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    default:
      flags |= O_WRONLY | O_CREAT | O_APPEND;
      break;
  }
  int opened;
  do {
    opened = ::open(path->c_str(), flags, 0666);
  } while (opened < 0 && errno == EINTR);
  Fd fd(opened);
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
  // Only a regular file is read: a pipe or a device could keep the run waiting.
  if (mode == OpenMode::kRead && !S_ISREG(st.st_mode)) return nullptr;
  // Regular files never block; anything else goes back to waiting on its reader.
  if (!S_ISREG(st.st_mode)) {
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) return nullptr;
  }
  const Encoding encoding = mode == OpenMode::kAppend ? AppendEncoding(*path, st) : Encoding::kUtf8;
  std::string newFolder;
  if (mode != OpenMode::kRead && S_ISREG(st.st_mode) && st.st_size == 0)
    newFolder = FolderOf(*path);
  const int raw = fd.Release();
  if (mode == OpenMode::kAppend && S_ISREG(st.st_mode)) {
    return std::make_unique<AppendFile>(raw, true, encoding, newFolder);
  }
  return std::make_unique<PosixTextFile>(raw, mode != OpenMode::kRead, encoding, newFolder);
}

}  // namespace jotlog
