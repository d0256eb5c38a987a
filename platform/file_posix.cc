// Text files on POSIX hosts: one descriptor each, appends in one write, and a close that
// commits the data (and the folder of a new file) to stable storage.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform_posix.h"
#include "platform/text_file.h"
#include "platform/util_posix.h"

namespace jotlog {

namespace {

class PosixTextFile : public ByteTextFile {
 public:
  // `newFolder` names the folder of a file that was empty when opened (and so may have
  // just been created): closing commits the folder too, so the file's name is as durable
  // as its contents.
  PosixTextFile(int fd, bool writing, Encoding encoding, std::string newFolder)
      : ByteTextFile(encoding), fd_(fd), writing_(writing), newFolder_(std::move(newFolder)) {}
  ~PosixTextFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Close() override {
    if (fd_ < 0) return false;
    bool ok = true;
    if (writing_) {
      ok = Flush();
      // Pipes, terminals and other devices cannot be synced; that alone is no failure.
      if (::fsync(fd_) != 0 && errno != EINVAL && errno != ENOTSUP && errno != EROFS) ok = false;
      if (ok && !newFolder_.empty()) {
        int folder = ::open(newFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
          if (::fsync(folder) != 0 && errno != EINVAL && errno != ENOTSUP) ok = false;
          ::close(folder);
        }
      }
    }
    if (::close(fd_) != 0 && errno != EINTR) ok = false;
    fd_ = -1;
    return ok;
  }

 protected:
  ptrdiff_t ReadBytes(char* buffer, size_t size) override {
    ssize_t n;
    do {
      n = ::read(fd_, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
  }
  bool WriteBytes(std::string_view bytes) override { return fd_ >= 0 && WriteAll(fd_, bytes); }

 private:
  int fd_;
  bool writing_;
  std::string newFolder_;
};

// The encoding to append in: that of a UTF-16 memo file, else UTF-8.
Encoding AppendEncoding(const std::string& path, int appendFd) {
  struct stat written;
  if (::fstat(appendFd, &written) != 0 || !S_ISREG(written.st_mode) || written.st_size < 2) {
    return Encoding::kUtf8;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Encoding::kUtf8;
  struct stat read;
  char start[2];
  Encoding encoding = Encoding::kUtf8;
  if (::fstat(fd, &read) == 0 && read.st_ino == written.st_ino && read.st_dev == written.st_dev &&
      ::pread(fd, start, 2, 0) == 2) {
    encoding = Signature(std::string_view(start, 2)).first;
  }
  ::close(fd);
  return encoding;
}

}  // namespace

std::unique_ptr<TextFile> PosixPlatform::OpenTextFile(const std::u16string& name, OpenMode mode) {
  auto path = HostPathFor(name);
  if (!path) return nullptr;
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kRead:
      flags |= O_RDONLY;
      break;
    case OpenMode::kWrite:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case OpenMode::kAppend:
      flags |= O_WRONLY | O_CREAT | O_APPEND;
      break;
    case OpenMode::kCreateNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL;
      break;
  }
  int fd;
  do {
    fd = ::open(path->c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  const Encoding encoding = mode == OpenMode::kAppend ? AppendEncoding(*path, fd) : Encoding::kUtf8;
  std::string newFolder;
  if (mode != OpenMode::kRead && S_ISREG(st.st_mode) && st.st_size == 0) {
    const size_t slash = path->rfind('/');
    newFolder = slash == std::string::npos ? "." : slash == 0 ? "/" : path->substr(0, slash);
  }
  return std::make_unique<PosixTextFile>(fd, mode != OpenMode::kRead, encoding, newFolder);
}

}  // namespace jotlog
