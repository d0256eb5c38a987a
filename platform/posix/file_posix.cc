// Text files on POSIX hosts. No open ever waits, and a write to a pipe or device waits a
// bounded time: a named pipe without a reader fails at once. An append goes to the end of
// the file in one write and is committed to stable storage, or leaves the file as it was.
// A new file appears under its name whole, or not at all.
#include <fcntl.h>
#include <limits.h>
#include <linux/falloc.h>
#include <poll.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/text_file.h"
#include "text/utf.h"

namespace jotlog {

namespace {

// How long an append waits for another run that is appending to the same file, and a
// write for a pipe or device to take its bytes.
constexpr std::chrono::seconds kLockWait(5);
constexpr std::chrono::seconds kWriteWait(5);

// Writes all of `bytes` to a descriptor that does not block, waiting while it is full,
// but no longer than kWriteWait in all.
bool WriteWithin(int fd, std::string_view bytes) {
  const auto deadline = std::chrono::steady_clock::now() + kWriteWait;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{fd, POLLOUT, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count()) + 1) < 0 && errno != EINTR) return false;
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Commits a file's data. Whether a file can be synced is decided by its type: a regular
// file, a folder or a block device is, and any error then is a failure (a file system
// that turned read-only under the write has lost it); pipes, terminals and other
// character devices hold nothing to commit.
bool CommitData(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISBLK(st.st_mode)) return true;
  return ::fsync(fd) == 0;
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
// memo files that are pipes or devices. Those stay non-blocking, so a reader that does not
// read costs at most kWriteWait.
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
    return fd_.get() >= 0 && WriteWithin(fd_.get(), bytes);
  }

  Fd fd_;
  bool writing_;
  std::string newFolder_;
};

// A regular memo file. Appending is all or nothing: with the file's lock held and the
// termination signals held back, the room for the bytes is made sure of first (the file
// size limit, and a reservation on the disk where the file system takes one), then they
// go to its end and are committed. When a step fails after bytes went out, only those
// bytes are taken back, and only while nothing follows them; a file this run created is
// removed again. A UTF-16 file with an odd number of bytes is not appended to.
class AppendFile : public PosixTextFile {
 public:
  // `failure` receives the reason of a failure that errno cannot tell.
  AppendFile(int fd, Encoding encoding, std::string newFolder, std::string path, bool created,
             std::string& failure, Language language)
      : PosixTextFile(fd, true, encoding, std::move(newFolder)),
        utf16_(encoding != Encoding::kUtf8),
        path_(std::move(path)),
        created_(created),
        failure_(failure),
        language_(language) {}
  // Dropped without Close: the append did not happen.
  ~AppendFile() override {
    if (fd_.get() >= 0) RemoveIfCreated();
  }

  bool Close() override {
    if (fd_.get() < 0) return false;
    bool ok = Flush();
    if (ok && begun_) {
      ok = CommitData(fd_.get()) && (newFolder_.empty() || CommitFolder(newFolder_, fd_.get()));
      if (!ok) Restore();
    }
    if (!ok) {
      KeepErrno keep;
      RemoveIfCreated();
      fd_.Close();
    } else {
      ok = fd_.Close();  // releases the lock
    }
    deferred_.reset();  // a termination asked for meanwhile takes effect here
    return ok;
  }

 protected:
  bool WriteBytes(std::string_view bytes) override {
    if (fd_.get() < 0 || !Begin(bytes.size())) return false;
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        Restore();
        return false;
      }
      // Appending leaves the offset at the end of what was just written.
      const off_t end = ::lseek(fd_.get(), 0, SEEK_CUR);
      if (end < 0 || (written_ && end - n != end_)) contiguous_ = false;
      if (!written_) start_ = end - n;
      end_ = end;
      written_ = true;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

 private:
  bool Begin(size_t size) {
    if (begun_) return true;
    deferred_.emplace();
    if (!Lock()) return false;
    struct stat st;
    if (::fstat(fd_.get(), &st) != 0) return false;
    if (st.st_nlink == 0) {
      failure_ = EncodeUtf8(Text(language_, Message::kFileRemoved));
      return false;
    }
    if (utf16_ && st.st_size % 2 != 0) {  // every unit would be split
      failure_ = EncodeUtf8(Text(language_, Message::kOddUtf16));
      return false;
    }
    begun_ = true;
    return HasRoom(st.st_size, size);
  }

  // Whether `size` more bytes fit after `at`: within the file size limit and, where the
  // file system can reserve room ahead, on the disk.
  bool HasRoom(off_t at, size_t size) {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        (static_cast<rlim_t>(at) > limit.rlim_cur || size > limit.rlim_cur - at)) {
      errno = EFBIG;
      return false;
    }
    int reserved;
    do {
      reserved = ::fallocate(fd_.get(), FALLOC_FL_KEEP_SIZE, at, static_cast<off_t>(size));
    } while (reserved != 0 && errno == EINTR);
    return reserved == 0 || (errno != ENOSPC && errno != EDQUOT && errno != EFBIG);
  }

  // Waits a bounded time for the lock; false when another holder keeps it that long. A
  // file system without locks lets the append go on unlocked.
  bool Lock() {
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    auto pause = std::chrono::milliseconds(1);
    while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) break;
      if (std::chrono::steady_clock::now() >= deadline) {
        failure_ = EncodeUtf8(Text(language_, Message::kFileLocked));
        return false;
      }
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    locked_ = true;
    return true;
  }

  // Takes back this run's bytes: only when they lie together at the very end of the file,
  // so that nothing another writer added is cut and the file never grows.
  void Restore() {
    const KeepErrno keep;
    struct stat st;
    if (!written_ || !contiguous_ || ::fstat(fd_.get(), &st) != 0 || st.st_size != end_) return;
    if (::ftruncate(fd_.get(), start_) == 0) {
      ::fsync(fd_.get());
      written_ = false;
    }
  }

  // Removes the file again when this run created it and it is still empty and still
  // under its name: absent is how it was.
  void RemoveIfCreated() {
    const KeepErrno keep;
    struct stat mine, named;
    if (!created_) return;
    // Only under the lock: another run may have opened the file and be about to append.
    if (!locked_ && ::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return;
    if (::fstat(fd_.get(), &mine) != 0 || mine.st_size != 0 ||
        ::lstat(path_.c_str(), &named) != 0 || named.st_ino != mine.st_ino ||
        named.st_dev != mine.st_dev) {
      return;
    }
    ::unlink(path_.c_str());
    created_ = false;
  }

  std::optional<DeferTermination> deferred_;
  const bool utf16_;
  std::string path_;
  bool created_;
  bool begun_ = false;
  bool locked_ = false;
  bool written_ = false;
  bool contiguous_ = true;
  off_t start_ = 0, end_ = 0;
  std::string& failure_;
  Language language_;
};

// A file made where nothing existed: written without a name (or under a temporary one)
// and linked into place once it is complete and committed, so that no reader ever sees
// it cut short. Where no link can be made (FAT and exFAT), the temporary is renamed to the
// name unless something is there, or else the name is created exclusively and written in
// one go, and removed when any of that fails. The temporary name never outlives the
// object, and termination signals are held back meanwhile so that none can leave it behind.
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
    {
      KeepErrno keep;
      Discard();
    }
    ok = ok && CommitFolder(newFolder_, fd_.get());
    if (!ok) {
      KeepErrno keep;
      fd_.Close();
    } else {
      ok = fd_.Close();
    }
    deferred_.reset();
    return ok;
  }

 protected:
  bool WriteBytes(std::string_view bytes) override {
    if (!temporary_.empty()) contents_.append(bytes);  // for a name made without a link
    return PosixTextFile::WriteBytes(bytes);
  }

 private:
  bool Link() {
    if (!temporary_.empty()) {
      if (::link(temporary_.c_str(), path_.c_str()) == 0) return true;
      if (errno == EEXIST) return false;
      if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) ==
          0) {
        temporary_.clear();
        return true;
      }
      return errno != EEXIST && WriteInPlace();
    }
    // Linking a descriptor by itself needs a privilege; its /proc name does not.
    if (::linkat(fd_.get(), "", AT_FDCWD, path_.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }

  // The last resort: the name itself, created where nothing is and filled in one write.
  bool WriteInPlace() {
    Fd fd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (fd.get() < 0) return false;
    if (WriteAll(fd.get(), contents_) && CommitData(fd.get()) && fd.Close()) return true;
    KeepErrno keep;
    ::unlink(path_.c_str());
    return false;
  }

  void Discard() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
  }

  std::unique_ptr<DeferTermination> deferred_;
  std::string path_;
  std::string temporary_;
  std::string contents_;
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

// The encoding to append in: that of a UTF-16 memo file, else UTF-8. Nothing when the
// file is long enough to hold a signature that cannot be read (the user may write it but
// not read it, say): an entry in the wrong encoding would spoil it.
std::optional<Encoding> AppendEncoding(const std::string& path, const struct stat& written) {
  if (!S_ISREG(written.st_mode) || written.st_size < 2) return Encoding::kUtf8;
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return std::nullopt;
  struct stat read;
  if (::fstat(fd.get(), &read) != 0) return std::nullopt;
  if (read.st_ino != written.st_ino || read.st_dev != written.st_dev) {
    errno = EAGAIN;  // the name was given to another file meanwhile
    return std::nullopt;
  }
  char start[2];
  ssize_t n;
  do {
    n = ::pread(fd.get(), start, 2, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return std::nullopt;
  if (n < 2) return Encoding::kUtf8;  // cut short meanwhile: too short for a signature
  return Signature(std::string_view(start, 2)).first;
}

}  // namespace

std::unique_ptr<TextFile> PosixPlatform::OpenTextFile(const std::u16string& name, OpenMode mode) {
  failure_.clear();
  auto path = HostPathFor(name);
  if (!path) {
    failure_ = Reason(Message::kNoSuchName);
    return nullptr;
  }
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
  // An append creates the file only where nothing is, so that it knows the file is its
  // own to remove again when the append fails. Through a link that points nowhere, that
  // is the link's target, made where nothing is as a name of its own.
  std::string target = *path;
  bool created = false;
  int opened = -1;
  if (mode != OpenMode::kAppend) {
    do {
      opened = ::open(target.c_str(), flags, 0666);
    } while (opened < 0 && errno == EINTR);
  }
  for (int links = 0; mode == OpenMode::kAppend;) {
    opened = ::open(target.c_str(), flags | O_EXCL, 0666);
    if (opened >= 0) {
      created = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EEXIST) break;
    do {
      opened = ::open(target.c_str(), flags & ~O_CREAT);
    } while (opened < 0 && errno == EINTR);
    if (opened >= 0 || errno != ENOENT) break;
    // Something is there, and yet nothing: a link whose target is missing (or a file
    // removed meanwhile, which the next turn finds gone).
    if (++links > 40) {
      errno = ELOOP;
      break;
    }
    std::string to(PATH_MAX, '\0');
    const ssize_t n = ::readlink(target.c_str(), to.data(), to.size());
    if (n < 0) {
      if (errno == EINVAL || errno == ENOENT) continue;
      break;
    }
    to.resize(static_cast<size_t>(n));
    target = to.starts_with('/') ? to : FolderOf(target) + "/" + to;
  }
  Fd fd(opened);
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return nullptr;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return nullptr;
  }
  // Only a regular file is read: a pipe or a device could keep the run waiting. Anything
  // else stays non-blocking: its writes wait a bounded time.
  if (mode == OpenMode::kRead && !S_ISREG(st.st_mode)) {
    failure_ = Reason(S_ISFIFO(st.st_mode) ? Message::kNamedPipe : Message::kNotRegularFile);
    return nullptr;
  }
  Encoding encoding = Encoding::kUtf8;
  if (mode == OpenMode::kAppend) {
    const auto told = AppendEncoding(target, st);
    if (!told) return nullptr;
    encoding = *told;
  }
  std::string newFolder;
  if (mode != OpenMode::kRead && S_ISREG(st.st_mode) && st.st_size == 0)
    newFolder = FolderOf(target);
  if (mode == OpenMode::kAppend && S_ISREG(st.st_mode)) {
    auto file = std::make_unique<AppendFile>(fd.get(), encoding, newFolder, target, created,
                                             failure_, language_);
    fd.Release();
    return file;
  }
  auto file =
      std::make_unique<PosixTextFile>(fd.get(), mode != OpenMode::kRead, encoding, newFolder);
  fd.Release();
  return file;
}

}  // namespace jotlog
