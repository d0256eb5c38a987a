// The platform layer on Windows. Its methods live by concern in the *_win.cc files beside
// this header: guard, paths, files, locale, dialog, input, clipboard. Only calls that Windows CE
// has too are used, except where a desktop-only call is needed; those are marked and have
// the device's form beside them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace jotlog {

// A kernel handle closed with the object.
class WinHandle {
 public:
  explicit WinHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~WinHandle() { Reset(); }
  WinHandle(const WinHandle&) = delete;
  WinHandle& operator=(const WinHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Gives up the handle held, unclosed.
  HANDLE Release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  // Closes the handle held; true when there was none or it closed cleanly.
  bool Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    const bool closed = !valid() || ::CloseHandle(handle_);
    handle_ = handle;
    return closed;
  }

 private:
  HANDLE handle_;
};

// The thread that makes the clipboard calls (clipboard_win.cc), and its end.
class ClipboardThread;
enum class ClipboardCall;
struct ClipboardThreadEnd {
  void operator()(ClipboardThread* thread) const;
};

class WinPlatform : public Platform {
 public:
  // `instance` is the program's own module, as the entry point receives it.
  explicit WinPlatform(HINSTANCE instance) : instance_(instance) {}
  ~WinPlatform() override;
  WinPlatform(const WinPlatform&) = delete;
  WinPlatform& operator=(const WinPlatform&) = delete;

  MutexState TakeNamedMutex(const std::u16string& name, uint32_t waitMs) override;
  void ReleaseNamedMutex(const std::u16string& name) override;
  std::u16string ModulePath() override;
  SystemTime GetLocalTime() override;
  int FormatDate(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                 int size) override;
  int FormatTime(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                 int size) override;
  void ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                      BoxKind kind) override;
  MemoAsked AskForMemo(const std::u16string& caption, const std::u16string& prompt,
                       const std::u16string& first, std::u16string& memo) override;
  std::u16string UserLanguages(std::u16string& source) override;
  std::u16string LastErrorText() override;
  std::unique_ptr<TextFile> OpenTextFile(const std::u16string& name, OpenMode mode) override;
  std::u16string ResolvedPath(const std::u16string& name) override;
  bool ExpandFileName(std::u16string& name) override;
  bool Exists(const std::u16string& name) override;
  bool NewFileRefused(const std::u16string& name) override;
  std::u16string UserSettingsPath(const std::u16string& fileName, bool makeFolders) override;
  std::u16string UnsavedMemosPath(bool makeFolders) override;
  bool OpenClipboard() override;
  void CloseClipboard() override;
  const char16_t* GetClipboardData() override;
  bool ClipboardUnreadable() const override { return clipboardUnreadable_; }
  void EmptyClipboard() override;
  std::unique_ptr<TransferBuffer> AllocTransferBuffer(size_t units) override;
  bool SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) override;

 private:
  // Makes `call` on the clipboard's thread, started when first needed. False when the
  // thread cannot be had or the call was given up, which gives up the clipboard for good.
  bool Clipboard(ClipboardCall call);
  void DestroyClipboardOwner();

  HINSTANCE instance_;
  HWND clipboardOwner_ = nullptr;  // the clipboard's owner while open, a window of this thread
  std::map<std::u16string, WinHandle> mutexes_;
  std::unique_ptr<ClipboardThread, ClipboardThreadEnd> clipboardThread_;
  bool clipboardGivenUp_ = false;
  bool clipboardOpen_ = false;
  std::u16string clipboardText_;
  bool clipboardUnreadable_ = false;
};

// Reasons of this layer's own, as last-error values beside the system's (bit 29 marks an
// application's own), for LastErrorText to word.
constexpr DWORD kErrorNoDocumentsFolder = 0x20000001;
constexpr DWORD kErrorNotExpanded = 0x20000002;

// Text as the wide strings the API takes; wchar_t is a UTF-16 unit on Windows.
std::wstring Wide(std::u16string_view text);
std::u16string Utf16(std::wstring_view text);

// Whether `name` is `folder` or lies below it, letter case aside as the file system does.
bool IsInFolder(std::u16string_view name, std::u16string_view folder);

// The Windows name for a file name. "\My Documents" and anything below it is the user's
// documents folder; any other name is used as Windows gives it. Empty, with the last
// error saying why, when the name holds a NUL (which would cut it short) or the documents
// folder cannot be had.
std::optional<std::wstring> WinPathFor(const std::u16string& name);

// The name to hand to the file functions. An absolute name (drive or UNC) of MAX_PATH units
// or more is given in the "\\?\" form, which has no length limit but is taken literally:
// so "/" becomes "\", trailing dots and blanks of each part are dropped (and with them
// "." and parts of nothing else) and ".." takes away the part before it (never the drive or
// the share), as Windows does with a name of the usual form. Any other name is returned as it is.
std::wstring LongPathForm(const std::wstring& path);

// A drive's administrative share on this machine ("\\host\C$\rest", `host` one of
// `localHosts`, letter case aside) as the drive itself ("C:\rest"); any other name as it is.
std::wstring LocalDriveForm(const std::wstring& name, const std::vector<std::wstring>& localHosts);

}  // namespace jotlog
