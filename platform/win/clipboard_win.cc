// The clipboard's Unicode text on Windows.
//
// Two things differ from the plainest use of the API. The block handed to the clipboard
// is allocated as each system documents it for the clipboard: on the desktop a moveable
// global block, whose handle is not its address and which is written while locked; on
// the device a local block. And the clipboard is opened with a hidden window of the
// program's own as its owner, since the desktop documents that SetClipboardData fails
// after EmptyClipboard on a clipboard opened without one.
//
// Every clipboard call is made on a thread of the platform's own and is waited for a
// bounded time. A call may wait on another program: GetClipboardData asks the owner of text
// it promised to render on request, EmptyClipboard tells the old owner that it owns the
// clipboard no longer, and a hung program answers neither. Such a call holds up that thread
// alone; the clipboard is then given up for the platform's life (the thread cleans up after
// itself should the call ever return). The window stays with the platform's own thread,
// which answers it while waiting: destroyed as a call is given up, it takes the clipboard's
// open along, so other programs have the clipboard again at once, not when the call ends.
#include <algorithm>
#include <cstdint>
#include <new>

#include "platform/win/platform_win.h"
#include "text/utf.h"

namespace jotlog {

namespace {

constexpr wchar_t kOwnerClass[] = L"jotlogClipboardOwner";

// How long a clipboard call is waited for before the clipboard is given up, as for the
// desktop's helpers on Linux.
constexpr DWORD kAnswerTime = 5000;

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
    // Freed after a failure, which the last error still tells (GlobalUnlock clears it).
    const DWORD error = ::GetLastError();
#ifdef _WIN32_WCE
    ::LocalFree(block_);
#else
    Unlock();
    ::GlobalFree(block_);
#endif
    ::SetLastError(error);
  }

  char16_t* data() override { return text_; }
  size_t size() const override { return size_; }

  // The block, unlocked, for the clipboard to take.
  HANDLE Block() {
#ifndef _WIN32_WCE
    const DWORD error = ::GetLastError();
    Unlock();
    ::SetLastError(error);
#endif
    return block_;
  }
  // After Block: the clipboard took the block (`taken`), which is then no longer this
  // object's, or it did not, and the block is the caller's and writable as before.
  void Taken(bool taken) {
    if (taken) {
      block_ = nullptr;
      text_ = nullptr;
      size_ = 0;
#ifndef _WIN32_WCE
    } else {
      const DWORD error = ::GetLastError();
      Lock();
      ::SetLastError(error);
#endif
    }
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

enum class ClipboardCall { kOpen, kClose, kRead, kEmpty, kSet, kQuit };

// The thread that makes the clipboard calls, opening it with `owner`, a window of the
// caller's thread. It is the platform's until a call is given up; from then on it is its
// own, and ends and deletes itself once that call returns.
class ClipboardThread {
 public:
  // The thread running, waiting for calls; null when it cannot be had.
  static ClipboardThread* Start(HWND owner) {
    auto* self = new (std::nothrow) ClipboardThread(owner);
    if (self == nullptr) {
      ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    self->request_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    self->done_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    WinHandle thread(self->request_.valid() && self->done_.valid()
                         ? ::CreateThread(nullptr, 0, &Main, self, 0, nullptr)
                         : nullptr);
    if (!thread.valid()) {
      const DWORD error = ::GetLastError();
      delete self;
      ::SetLastError(error);
      return nullptr;
    }
    return self;  // the thread ends on a kQuit call, or after it was given up
  }

  // Makes `call` there and waits for it. False when it has not returned in time: the
  // thread is then given up, and ERROR_TIMEOUT is the last error. Otherwise the last error
  // is the one the call left.
  bool Make(ClipboardCall call) {
    call_ = call;
    state_ = kBusy;
    ::SetEvent(request_.get());
    if (!Answered()) {
      if (::InterlockedCompareExchange(&state_, kGivenUp, kBusy) == kBusy) {
        ::SetLastError(ERROR_TIMEOUT);
        return false;
      }
      ::WaitForSingleObject(done_.get(), INFINITE);  // it has just returned, and says so now
    }
    if (outOfMemory_) {
      outOfMemory_ = false;
      throw std::bad_alloc();
    }
    ::SetLastError(error_);
    return true;
  }

  // Whether the call has returned within kAnswerTime. Messages sent to the owner meanwhile
  // (its own EmptyClipboard tells an old owner of this process) are answered.
  bool Answered() {
    const HANDLE done = done_.get();
    const DWORD start = ::GetTickCount();
    while (true) {
      const DWORD spent = ::GetTickCount() - start;
      const DWORD woken = ::MsgWaitForMultipleObjects(
          1, &done, FALSE, spent < kAnswerTime ? kAnswerTime - spent : 0, QS_SENDMESSAGE);
      if (woken != WAIT_OBJECT_0 + 1) return woken == WAIT_OBJECT_0;
      MSG message;
      ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }

  // What the last call returned: kOpen, kClose, kEmpty and kSet whether they succeeded;
  // kRead whether there was text to read (then `text`) and, when not, `unreadable`.
  bool result = false;
  bool unreadable = false;
  std::wstring text;
  HANDLE block = nullptr;  // for kSet
  // The text read in this open, which goes back should a kEmpty be given up and empty the
  // clipboard all the same, later (its old owner slow to answer).
  std::wstring before;

 private:
  explicit ClipboardThread(HWND owner) : owner_(owner) {}

  static DWORD WINAPI Main(void* self) {
    static_cast<ClipboardThread*>(self)->Serve();
    return 0;
  }

  void Serve() {
    while (true) {
      if (::WaitForSingleObject(request_.get(), INFINITE) != WAIT_OBJECT_0) {
        // no wait failed yet; should one, it is tried again
        ::Sleep(kOpenPause);
        continue;
      }
      const ClipboardCall call = call_;
      Perform(call);
      if (::InterlockedCompareExchange(&state_, kDone, kBusy) == kGivenUp) {
        if (call == ClipboardCall::kEmpty && result && !before.empty()) PutBack();
        if (call != ClipboardCall::kQuit) Perform(ClipboardCall::kQuit);
        delete this;
        return;
      }
      ::SetEvent(done_.get());  // from here on the object may be gone
      if (call == ClipboardCall::kQuit) return;
    }
  }

  void Perform(ClipboardCall call) {
    result = false;
    switch (call) {
      case ClipboardCall::kOpen:
        for (int attempt = 0; attempt < kOpenTries && !result; ++attempt) {
          if (attempt > 0) ::Sleep(kOpenPause);
          result = ::OpenClipboard(owner_) != FALSE;
        }
        open_ = result;
        break;
      case ClipboardCall::kClose:
        result = ::CloseClipboard() != FALSE;
        open_ = false;
        break;
      case ClipboardCall::kRead:
        Read();
        return;
      case ClipboardCall::kEmpty:
        result = ::EmptyClipboard() != FALSE;
        break;
      case ClipboardCall::kSet:
        result = ::SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        break;
      case ClipboardCall::kQuit:
        if (open_) ::CloseClipboard();
        open_ = false;
        result = true;
        break;
    }
    error_ = ::GetLastError();
  }

  // After an empty that came too late, with the clipboard still open: the text it held.
  void PutBack() {
    const size_t bytes = (before.size() + 1) * sizeof(wchar_t);
#ifdef _WIN32_WCE
    HLOCAL copy = ::LocalAlloc(LPTR, bytes);
    if (copy == nullptr) return;
    std::copy_n(before.c_str(), before.size() + 1, static_cast<wchar_t*>(copy));
    if (::SetClipboardData(CF_UNICODETEXT, copy) == nullptr) ::LocalFree(copy);
#else
    HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (copy == nullptr) return;
    if (auto* text = static_cast<wchar_t*>(::GlobalLock(copy)); text != nullptr) {
      std::copy_n(before.c_str(), before.size() + 1, text);
      ::GlobalUnlock(copy);
      if (::SetClipboardData(CF_UNICODETEXT, copy) != nullptr) return;
    }
    ::GlobalFree(copy);
#endif
  }

  void Read() {
    unreadable = false;
    HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    error_ = ::GetLastError();
    // Text that is there but is not handed over (its owner failed to render it) or cannot
    // be locked is unreadable, which is not the same as no text.
    if (data == nullptr) {
      unreadable = ::IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
      return;
    }
    // The text ends at its first null, and never beyond the block, whatever another
    // program put there.
#ifdef _WIN32_WCE
    const auto* start = static_cast<const wchar_t*>(static_cast<void*>(data));
    const size_t units = ::LocalSize(data) / sizeof(wchar_t);
#else
    const auto* start = static_cast<const wchar_t*>(::GlobalLock(data));
    if (start == nullptr) {
      error_ = ::GetLastError();
      unreadable = true;
      return;
    }
    struct Unlock {
      HANDLE block;
      ~Unlock() { ::GlobalUnlock(block); }
    } unlock{data};
    const size_t units = ::GlobalSize(data) / sizeof(wchar_t);
#endif
    try {
      text.assign(start, std::find(start, start + units, L'\0'));
      result = true;
    } catch (const std::bad_alloc&) {
      outOfMemory_ = true;  // for the caller's thread to raise
    }
  }

  static constexpr LONG kBusy = 0, kDone = 1, kGivenUp = 2;

  HWND owner_;
  WinHandle request_{nullptr}, done_{nullptr};
  ClipboardCall call_ = ClipboardCall::kQuit;
  LONG volatile state_ = kDone;
  DWORD error_ = NO_ERROR;
  bool outOfMemory_ = false;
  bool open_ = false;
};

void ClipboardThreadEnd::operator()(ClipboardThread* thread) const {
  // One that does not answer is given up, and deletes itself.
  if (thread->Make(ClipboardCall::kQuit)) delete thread;
}

WinPlatform::~WinPlatform() {
  clipboardThread_.reset();
  DestroyClipboardOwner();
}

void WinPlatform::DestroyClipboardOwner() {
  if (clipboardOwner_ == nullptr) return;
  ::DestroyWindow(clipboardOwner_);
  clipboardOwner_ = nullptr;
  // Fails while another platform of this process still has a window of the class.
  ::UnregisterClassW(kOwnerClass, instance_);
}

bool WinPlatform::Clipboard(ClipboardCall call) {
  if (clipboardGivenUp_) {
    ::SetLastError(ERROR_TIMEOUT);
    return false;
  }
  if (!clipboardThread_) {
    if (clipboardOwner_ == nullptr) {
      WNDCLASSW windowClass = {};
      windowClass.lpfnWndProc = ::DefWindowProcW;
      windowClass.hInstance = instance_;
      windowClass.lpszClassName = kOwnerClass;
      // Another platform of this process may have the class already; it is the same.
      ::RegisterClassW(&windowClass);
      // Never shown: it only stands for the program as the clipboard's owner. Without it
      // the clipboard is opened without an owner.
      clipboardOwner_ = ::CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                          nullptr, instance_, nullptr);
    }
    clipboardThread_.reset(ClipboardThread::Start(clipboardOwner_));
    if (!clipboardThread_) return false;
  }
  if (clipboardThread_->Make(call)) return true;
  // It is the thread's own now; the clipboard is not opened again, and its window goes
  // with the open it holds.
  (void)clipboardThread_.release();
  const DWORD error = ::GetLastError();
  DestroyClipboardOwner();
  ::SetLastError(error);
  clipboardGivenUp_ = true;
  clipboardOpen_ = false;
  return false;
}

bool WinPlatform::OpenClipboard() {
  if (clipboardOpen_) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  clipboardOpen_ = Clipboard(ClipboardCall::kOpen) && clipboardThread_->result;
  if (clipboardOpen_) std::wstring().swap(clipboardThread_->before);
  return clipboardOpen_;
}

void WinPlatform::CloseClipboard() {
  if (!clipboardOpen_) return;
  // Closed after a failure, which the last error still tells.
  const DWORD error = ::GetLastError();
  Clipboard(ClipboardCall::kClose);
  clipboardOpen_ = false;
  ::SetLastError(error);
}

const char16_t* WinPlatform::GetClipboardData() {
  clipboardUnreadable_ = false;
  if (!clipboardOpen_) {
    ::SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return nullptr;
  }
  if (!Clipboard(ClipboardCall::kRead)) {
    clipboardUnreadable_ = true;  // the call was given up: there may be text
    return nullptr;
  }
  ClipboardThread& thread = *clipboardThread_;
  if (!thread.result) {
    clipboardUnreadable_ = thread.unreadable;
    return nullptr;
  }
  clipboardText_ = Utf16(thread.text);
  // Kept as it was read, should an empty of this open have to put it back.
  thread.before = std::move(thread.text);
  thread.text.clear();
  // Any program may put lone surrogates there; none of them is to reach a file.
  ReplaceLoneSurrogates(clipboardText_);
  return clipboardText_.c_str();
}

void WinPlatform::EmptyClipboard() {
  if (!clipboardOpen_) return;
  Clipboard(ClipboardCall::kEmpty);
}

std::unique_ptr<TransferBuffer> WinPlatform::AllocTransferBuffer(size_t units) {
  return WinTransferBuffer::Allocate(units);
}

bool WinPlatform::SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) {
  auto* own = dynamic_cast<WinTransferBuffer*>(buffer.get());
  if (!clipboardOpen_ || own == nullptr) {
    // A clipboard given up in this open was given up for a call that did not answer.
    ::SetLastError(clipboardOpen_      ? ERROR_INVALID_PARAMETER
                   : clipboardGivenUp_ ? ERROR_TIMEOUT
                                       : ERROR_CLIPBOARD_NOT_OPEN);
    return false;
  }
  clipboardThread_->block = own->Block();
  if (!Clipboard(ClipboardCall::kSet)) {
    // Given up: the clipboard may yet take the block, so it is never freed here.
    own->Taken(true);
    return false;
  }
  const bool taken = clipboardThread_->result;
  own->Taken(taken);
  if (taken) buffer.reset();
  return taken;
}

}  // namespace jotlog
