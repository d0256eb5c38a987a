// Text files on Windows, in the same on-disk form as on every host (text_file.h).
//
// An append is one write of the whole entry on a handle that lets nobody else write while
// it is open, so runs that bypass the guard never mix their entries; a failed append sets
// the end of the file back to where it was, and a memo file the append created is removed
// again, through the append's own handle. A file created new is written under a temporary name
// beside it and moved into place when complete, so it is there whole or not at all. Settings saved
// by older editors in the system's code page ("ANSI") are read in that code page.
#include <climits>
#include <cstdint>

#include "platform/win/platform_win.h"
#include "text/text_file.h"

namespace jotlog {

namespace {

// How long an open waits for another program that holds the file: 100 tries, 20 ms apart.
constexpr int kShareTries = 100;
constexpr DWORD kSharePause = 20;

HANDLE Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
  for (int attempt = 1;; ++attempt) {
    HANDLE file = ::CreateFileW(LongPathForm(path).c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION ||
        attempt == kShareTries) {
      return file;
    }
    ::Sleep(kSharePause);
  }
}

// Moves to `offset` from `method`'s origin and returns the new position; nullopt for
// files that have no position (devices).
std::optional<uint64_t> Seek(HANDLE file, uint64_t offset, DWORD method) {
  LONG high = static_cast<LONG>(offset >> 32);
  ::SetLastError(NO_ERROR);
  const DWORD low = ::SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return std::nullopt;
  return static_cast<uint64_t>(static_cast<DWORD>(high)) << 32 | low;
}

#ifndef _WIN32_WCE  // the device has no named pipes
// How long a pipe's other end is waited for to take an entry, as on Linux.
constexpr DWORD kPipeTime = 5000;

// The watch over a call of the thread `thread` on a pipe: cancelled, again and again, from
// when `done` has not been signalled for kPipeTime until it is.
struct PipeWatch {
  HANDLE thread;
  HANDLE done;
  LONG volatile cancelled;
};

DWORD WINAPI WatchPipe(void* parameter) {
  auto* watch = static_cast<PipeWatch*>(parameter);
  // Cancelled again while it lasts: the first cancel may come before the call waits.
  while (::WaitForSingleObject(watch->done, watch->cancelled ? 50 : kPipeTime) == WAIT_TIMEOUT) {
    watch->cancelled = 1;
    ::CancelSynchronousIo(watch->thread);
  }
  return 0;
}

// Makes `call` (a write or a flush) on a pipe, which waits for its other end to read,
// within kPipeTime; a call that takes longer is cancelled and fails with ERROR_TIMEOUT.
template <class Call>
bool WithinPipeTime(Call call) {
  HANDLE thread = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(),
                         &thread, THREAD_TERMINATE, FALSE, 0)) {
    return false;
  }
  WinHandle self(thread), done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done.valid()) return false;
  PipeWatch watch{thread, done.get(), 0};
  WinHandle watcher(::CreateThread(nullptr, 0, &WatchPipe, &watch, 0, nullptr));
  if (!watcher.valid()) return false;
  const bool ok = call();
  const DWORD error = ::GetLastError();
  ::SetEvent(done.get());
  ::WaitForSingleObject(watcher.get(), INFINITE);
  ::SetLastError(!ok && watch.cancelled ? ERROR_TIMEOUT : error);
  return ok;
}
#endif

// Keeps the last error of a failure across the clean-up after it.
class KeepError {
 public:
  KeepError() : error_(::GetLastError()) {}
  ~KeepError() { ::SetLastError(error_); }
  KeepError(const KeepError&) = delete;
  KeepError& operator=(const KeepError&) = delete;

 private:
  DWORD error_;
};

// The encoding to append in: that of a UTF-16 file, else UTF-8; nullopt when the file's
// first bytes cannot be read (locked by another program, say), which leaves it unknown.
// Files without a position (devices) are UTF-8.
std::optional<Encoding> AppendEncoding(HANDLE file) {
  char start[2];
  DWORD read = 0;
  if (!Seek(file, 0, FILE_BEGIN)) return Encoding::kUtf8;
  if (!::ReadFile(file, start, sizeof start, &read, nullptr)) return std::nullopt;
  if (read < sizeof start) return Encoding::kUtf8;
  return Signature(std::string_view(start, sizeof start)).first;
}

class WinTextFile : public ByteTextFile {
 public:
  // `appendStart` is where an append began: a failed write cuts the file back to it, and
  // removes a file the append `created` (opened with delete access for that); `name` is the
  // appended file's. `temporary` is the name a new file is written under until Close moves
  // it to `name`.
  WinTextFile(HANDLE file, bool writing, Encoding encoding, std::optional<uint64_t> appendStart,
              std::wstring temporary = {}, std::wstring name = {}, bool created = false)
      : ByteTextFile(encoding, !writing),
        file_(file),
        writing_(writing),
        appendStart_(appendStart),
        temporary_(std::move(temporary)),
        name_(std::move(name)),
        created_(created) {}

  // A file given up before its close (memory ran out while the entry was made) is taken
  // back as after a failed write.
  ~WinTextFile() override {
    if (file_.valid() && writing_) RollBack();
    file_.Reset();
    if (!temporary_.empty()) ::DeleteFileW(LongPathForm(temporary_).c_str());
  }

  bool Close() override {
    if (!file_.valid()) return false;
    bool ok = true;
    if (writing_) {
      ok = Flush();
      // On a pipe this waits for the other end to read everything.
      if (ok && !Bounded([&] { return ::FlushFileBuffers(file_.get()) != FALSE; })) {
        const DWORD error = ::GetLastError();
        // Devices such as NUL have nothing to commit; that alone is no failure.
        if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED) {
          ok = false;
          RollBack();
        }
      }
    }
    BY_HANDLE_FILE_INFORMATION identity = {};
    const bool known = ok && appendStart_ && ::GetFileInformationByHandle(file_.get(), &identity);
    if (!file_.Reset()) {
      ok = false;
      if (known) TakeBackClosed(identity);
    }
    if (!temporary_.empty()) {
      // MoveFileW never replaces an existing file, so a file that appeared meanwhile stays.
      if (ok && !::MoveFileW(LongPathForm(temporary_).c_str(), LongPathForm(name_).c_str())) {
        ok = false;
      }
      if (!ok) {
        KeepError keep;
        ::DeleteFileW(LongPathForm(temporary_).c_str());
      }
      temporary_.clear();
    }
    return ok;
  }

 protected:
  ptrdiff_t ReadBytes(char* buffer, size_t size) override {
    DWORD read = 0;
    const DWORD wanted = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    if (!file_.valid() || !::ReadFile(file_.get(), buffer, wanted, &read, nullptr)) return -1;
    return static_cast<ptrdiff_t>(read);
  }

  // One write for all the bytes; anything less is a failure.
  bool WriteBytes(std::string_view bytes) override {
    DWORD written = 0;
    if (!file_.valid()) {
      ::SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    if (bytes.size() > MAXDWORD) {
      ::SetLastError(ERROR_FILE_TOO_LARGE);
    } else if (Bounded([&] {
                 return ::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                    &written, nullptr) != FALSE;
               })) {
      if (written == bytes.size()) {
        written_ += written;
        return true;
      }
      ::SetLastError(ERROR_WRITE_FAULT);  // taken in part, with no error of its own
    }
    RollBack();
    return false;
  }

  // Bytes that are not UTF-8, in the system's code page.
  bool DecodeLegacy(std::string_view bytes, std::u16string& out) override {
    if (bytes.empty() || bytes.size() > INT_MAX) return false;
    const int size = static_cast<int>(bytes.size());
    const int units = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (units <= 0) return false;
    std::wstring text(static_cast<size_t>(units), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), units) != units) {
      return false;
    }
    out = Utf16(text);
    return true;
  }

 private:
  // `call` on the file, within the time allowed when it is a pipe.
  template <class Call>
  bool Bounded(Call call) {
#ifdef _WIN32_WCE
    return call();
#else
    return pipe_ ? WithinPipeTime(call) : call();
#endif
  }

  // A failure that shows only as the handle is closed: the entry is taken back through a
  // new handle, from the very file it was appended to and only while it still ends it.
  void TakeBackClosed(const BY_HANDLE_FILE_INFORMATION& was) {
    KeepError keep;
    const DWORD access = GENERIC_WRITE | FILE_READ_ATTRIBUTES | (created_ ? DELETE : 0);
    file_.Reset(Open(name_, access, FILE_SHARE_READ, OPEN_EXISTING));
    BY_HANDLE_FILE_INFORMATION now;
    if (file_.valid() && ::GetFileInformationByHandle(file_.get(), &now) &&
        now.dwVolumeSerialNumber == was.dwVolumeSerialNumber &&
        now.nFileIndexHigh == was.nFileIndexHigh && now.nFileIndexLow == was.nFileIndexLow &&
        (static_cast<uint64_t>(now.nFileSizeHigh) << 32 | now.nFileSizeLow) ==
            *appendStart_ + written_) {
      RollBack();
    }
    file_.Reset();
  }

  // Cuts an appended file back to the length it had when opened. A file the append
  // created is marked for removal through its own handle, which no other program can have
  // renamed or replaced (it was opened without delete sharing), so only this run's file
  // goes, when the handle is closed. Should that fail, it stays, empty. (The device has no
  // removal by handle: there the file would be closed and then deleted by name.)
  void RollBack() {
    KeepError keep;
    if (appendStart_ && Seek(file_.get(), *appendStart_, FILE_BEGIN)) ::SetEndOfFile(file_.get());
    if (created_) {
      FILE_DISPOSITION_INFO disposition = {TRUE};
      ::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition,
                                   sizeof disposition);
    }
    created_ = false;
  }

  WinHandle file_;
#ifdef _WIN32_WCE
  bool pipe_ = false;
#else
  bool pipe_ = ::GetFileType(file_.get()) == FILE_TYPE_PIPE;
#endif
  bool writing_;
  std::optional<uint64_t> appendStart_;
  uint64_t written_ = 0;
  std::wstring temporary_;
  std::wstring name_;
  bool created_;
};

// Nobody else writes while the handle is open, so the end stays where it is found.
// Null when the encoding is not known, or the end of a UTF-16 file would split every unit
// (ERROR_INVALID_DATA).
std::unique_ptr<TextFile> Appending(HANDLE file, const std::wstring& path,
                                    std::optional<Encoding> encoding, bool created = false) {
  WinHandle handle(file);
  if (!encoding) {
    KeepError keep;
    handle.Reset();
    return nullptr;
  }
  const std::optional<uint64_t> end = Seek(file, 0, FILE_END);
  if (*encoding != Encoding::kUtf8 && end && *end % 2 != 0) {
    ::SetLastError(ERROR_INVALID_DATA);
    KeepError keep;
    handle.Reset();
    return nullptr;
  }
  auto text = std::make_unique<WinTextFile>(handle.get(), true, *encoding, end, std::wstring(),
                                            path, created);
  (void)handle.Release();
  return text;
}

std::unique_ptr<TextFile> OpenForAppend(const std::wstring& path) {
  // An existing file is opened for reading too, to learn the encoding; one that may only
  // be written is appended to only while it is too short to hold a UTF-16 signature. A
  // missing one is created, to be removed again if the append fails (with delete access,
  // and no delete sharing, so that it stays this run's file); should another program
  // create it first, it is opened as theirs.
  constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
  for (int attempt = 0; attempt < 10; ++attempt) {
    HANDLE file = Open(path, kReadWrite, FILE_SHARE_READ, OPEN_EXISTING);
    if (file != INVALID_HANDLE_VALUE) return Appending(file, path, AppendEncoding(file));
    DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED) {
      file = Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
      if (file == INVALID_HANDLE_VALUE) return nullptr;
      const std::optional<uint64_t> end = Seek(file, 0, FILE_END);
      const bool unknown = end && *end >= 2;
      if (unknown) ::SetLastError(ERROR_ACCESS_DENIED);  // its signature cannot be read
      return Appending(file, path, unknown ? std::nullopt : std::optional(Encoding::kUtf8));
    }
    if (error != ERROR_FILE_NOT_FOUND) return nullptr;
    file = Open(path, kReadWrite | DELETE, FILE_SHARE_READ, CREATE_NEW);
    if (file != INVALID_HANDLE_VALUE) return Appending(file, path, Encoding::kUtf8, true);
    error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}

std::unique_ptr<TextFile> CreateNew(const std::wstring& path) {
  if (::GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES) return nullptr;
  const std::wstring stem = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L".";
  for (int n = 0; n < 100; ++n) {
    std::wstring temporary = stem + std::to_wstring(n) + L".tmp";
    HANDLE file = ::CreateFileW(LongPathForm(temporary).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      return std::make_unique<WinTextFile>(file, true, Encoding::kUtf8, std::nullopt,
                                           std::move(temporary), path);
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<TextFile> WinPlatform::OpenTextFile(const std::u16string& name, OpenMode mode) {
  const std::optional<std::wstring> path = WinPathFor(name);
  if (!path) return nullptr;
  if (path->empty()) {
    ::SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  HANDLE file = INVALID_HANDLE_VALUE;
  switch (mode) {
    case OpenMode::kRead:
      file = Open(*path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
      break;
    case OpenMode::kWrite:
      file = Open(*path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
      break;
    case OpenMode::kAppend:
      return OpenForAppend(*path);
    case OpenMode::kCreateNew:
      return CreateNew(*path);
  }
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<WinTextFile>(file, mode != OpenMode::kRead, Encoding::kUtf8,
                                       std::nullopt);
}

}  // namespace jotlog
