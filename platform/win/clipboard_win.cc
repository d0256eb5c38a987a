// The clipboard's Unicode text on Windows.
//
// Two things differ from the plainest use of the API. The block handed to the clipboard
// is allocated as each system documents it for the clipboard: on the desktop a moveable
// global block, whose handle is not its address and which is written while locked; on
// the device a local block. And the clipboard is opened with a hidden window of the
// program's own as its owner, since the desktop documents that SetClipboardData fails
// after EmptyClipboard on a clipboard opened without one.
#include <algorithm>
#include <cstdint>

#include "platform/win/platform_win.h"
#include "text/utf.h"

namespace jotlog {

namespace {

constexpr wchar_t kOwnerClass[] = L"jotlogClipboardOwner";

// How long an open waits for another program that holds the clipboard (clipboard managers
// and remote desktop clients hold it for up to a second): 100 tries, 20 ms apart, as for
// files.
constexpr int kOpenTries = 100;
constexpr DWORD kOpenPause = 20;

class WinTransferBuffer : public TransferBuffer {
 public:
  // A block of `units` UTF-16 units, ready to be written; null when it cannot be had.
  static std::unique_ptr<WinTransferBuffer> Allocate(size_t units) {
    if (units == 0 || units > SIZE_MAX / sizeof(wchar_t) / 2) return nullptr;
    const size_t bytes = units * sizeof(wchar_t);
#ifdef _WIN32_WCE
    // On the device the clipboard takes a local block, and a fixed one is its address.
    HLOCAL block = ::LocalAlloc(LPTR, bytes);
    if (block == nullptr) return nullptr;
    return std::unique_ptr<WinTransferBuffer>(new WinTransferBuffer(block, units));
#else
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (block == nullptr) return nullptr;
    auto buffer = std::unique_ptr<WinTransferBuffer>(new WinTransferBuffer(block, units));
    if (!buffer->Lock()) return nullptr;
    return buffer;
#endif
  }

  ~WinTransferBuffer() override {
    if (block_ == nullptr) return;
#ifdef _WIN32_WCE
    ::LocalFree(block_);
#else
    Unlock();
    ::GlobalFree(block_);
#endif
  }

  char16_t* data() override { return text_; }
  size_t size() const override { return size_; }

  // Gives the block to the clipboard. True when it took it; the block is then no longer
  // this object's.
  bool HandOver() {
#ifndef _WIN32_WCE
    Unlock();
#endif
    if (::SetClipboardData(CF_UNICODETEXT, block_) == nullptr) {
#ifndef _WIN32_WCE
      Lock();  // still the caller's, and writable as before
#endif
      return false;
    }
    block_ = nullptr;
    text_ = nullptr;
    return true;
  }

 private:
#ifdef _WIN32_WCE
  WinTransferBuffer(HLOCAL block, size_t units)
      : block_(block), text_(static_cast<char16_t*>(static_cast<void*>(block))), size_(units) {}
#else
  WinTransferBuffer(HGLOBAL block, size_t units) : block_(block), size_(units) {}

  bool Lock() {
    text_ = static_cast<char16_t*>(::GlobalLock(block_));
    return text_ != nullptr;
  }
  void Unlock() {
    if (text_ != nullptr) ::GlobalUnlock(block_);
    text_ = nullptr;
  }
#endif

  HANDLE block_;
  char16_t* text_ = nullptr;
  size_t size_;
};

}  // namespace

WinPlatform::~WinPlatform() {
  if (clipboardOpen_) ::CloseClipboard();
  if (owner_ != nullptr) ::DestroyWindow(owner_);
  if (ownerClass_ != 0) ::UnregisterClassW(kOwnerClass, instance_);
}

HWND WinPlatform::ClipboardOwner() {
  if (ownerTried_) return owner_;
  ownerTried_ = true;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ::DefWindowProcW;
  windowClass.hInstance = instance_;
  windowClass.lpszClassName = kOwnerClass;
  ownerClass_ = ::RegisterClassW(&windowClass);
  if (ownerClass_ == 0) return nullptr;
  // Never shown: it only stands for the program as the clipboard's owner.
  owner_ = ::CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance_,
                             nullptr);
  return owner_;
}

bool WinPlatform::OpenClipboard() {
  if (clipboardOpen_) return false;
  HWND owner = ClipboardOwner();
  for (int attempt = 0; attempt < kOpenTries; ++attempt) {
    if (attempt > 0) ::Sleep(kOpenPause);
    if (::OpenClipboard(owner)) {
      clipboardOpen_ = true;
      return true;
    }
  }
  return false;
}

void WinPlatform::CloseClipboard() {
  if (!clipboardOpen_) return;
  ::CloseClipboard();
  clipboardOpen_ = false;
}

const char16_t* WinPlatform::GetClipboardData() {
  clipboardUnreadable_ = false;
  if (!clipboardOpen_) return nullptr;
  HANDLE block = ::GetClipboardData(CF_UNICODETEXT);
  // Text that is there but is not handed over (its owner failed to render it) or cannot be
  // locked is unreadable, which is not the same as no text.
  if (block == nullptr) {
    clipboardUnreadable_ = ::IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
    return nullptr;
  }
  // The text ends at its first null, and never beyond the block, whatever another program
  // put there.
#ifdef _WIN32_WCE
  const auto* text = static_cast<const wchar_t*>(static_cast<void*>(block));
  const size_t units = ::LocalSize(block) / sizeof(wchar_t);
#else
  const auto* text = static_cast<const wchar_t*>(::GlobalLock(block));
  if (text == nullptr) {
    clipboardUnreadable_ = true;
    return nullptr;
  }
  struct Unlock {
    HANDLE block;
    ~Unlock() { ::GlobalUnlock(block); }
  } unlock{block};
  const size_t units = ::GlobalSize(block) / sizeof(wchar_t);
#endif
  clipboardText_.assign(text, std::find(text, text + units, L'\0'));
  // Any program may put lone surrogates there; none of them is to reach a file.
  ReplaceLoneSurrogates(clipboardText_);
  return clipboardText_.c_str();
}

void WinPlatform::EmptyClipboard() {
  if (clipboardOpen_) ::EmptyClipboard();
}

std::unique_ptr<TransferBuffer> WinPlatform::AllocTransferBuffer(size_t units) {
  return WinTransferBuffer::Allocate(units);
}

bool WinPlatform::SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) {
  auto* own = dynamic_cast<WinTransferBuffer*>(buffer.get());
  if (!clipboardOpen_ || own == nullptr || !own->HandOver()) return false;
  buffer.reset();
  return true;
}

}  // namespace jotlog
