// The desktop clipboard on POSIX hosts, through its helper programs: wl-paste and wl-copy
// on Wayland, xclip on X11. A program that ends at once cannot serve its own clipboard
// text, so the helpers hold what is copied.
#include <new>
#include <sstream>

#include "platform/helper_posix.h"
#include "platform/platform_posix.h"
#include "platform/utf.h"
#include "platform/util_posix.h"

namespace jotlog {

namespace {

class PosixTransferBuffer : public TransferBuffer {
 public:
  PosixTransferBuffer(std::unique_ptr<char16_t[]> units, size_t size)
      : units_(std::move(units)), size_(size) {}
  char16_t* data() override { return units_.get(); }
  size_t size() const override { return size_; }

 private:
  std::unique_ptr<char16_t[]> units_;
  size_t size_;
};

}  // namespace

bool PosixPlatform::OpenClipboard() {
  if (clipboardOpen_) return false;
  wayland_ = false;
  paste_.clear();
  copy_.clear();
  if (IsSet("WAYLAND_DISPLAY")) {
    paste_ = FindOnPath("wl-paste");
    copy_ = FindOnPath("wl-copy");
    wayland_ = !paste_.empty() && !copy_.empty();
  }
  if (!wayland_ && IsSet("DISPLAY")) paste_ = copy_ = FindOnPath("xclip");
  if (paste_.empty() || copy_.empty()) return false;
  clipboardOpen_ = true;
  emptyPending_ = false;
  return true;
}

void PosixPlatform::CloseClipboard() {
  if (!clipboardOpen_) return;
  if (emptyPending_) {
    if (wayland_) {
      RunHelper({copy_, "--clear"}, HelperRun{});
    } else {
      CopyToClipboard("");
    }
  }
  clipboardOpen_ = false;
}

const char16_t* PosixPlatform::GetClipboardData() {
  if (!clipboardOpen_) return nullptr;
  HelperRun run;
  run.captureOutput = true;
  HelperResult pasted;
  if (wayland_) {
    // wl-paste fails when no text type is offered.
    pasted = RunHelper({paste_, "--no-newline", "--type", "text"}, run);
  } else {
    // An owner answers a request for any target, so ask which it offers first.
    HelperResult targets =
        RunHelper({paste_, "-selection", "clipboard", "-o", "-t", "TARGETS"}, run);
    std::istringstream offered(targets.output);
    std::string target;
    while (std::getline(offered, target) && target != "UTF8_STRING") {
    }
    if (targets.exitCode != 0 || target != "UTF8_STRING") return nullptr;
    pasted = RunHelper({paste_, "-selection", "clipboard", "-o", "-t", "UTF8_STRING"}, run);
  }
  if (pasted.exitCode != 0) return nullptr;
  clipboardText_ = DecodeUtf8(pasted.output);
  return clipboardText_.c_str();
}

void PosixPlatform::EmptyClipboard() {
  if (clipboardOpen_) emptyPending_ = true;
}

std::unique_ptr<TransferBuffer> PosixPlatform::AllocTransferBuffer(size_t units) {
  std::unique_ptr<char16_t[]> block(new (std::nothrow) char16_t[units]);
  if (!block || units == 0) return nullptr;
  return std::make_unique<PosixTransferBuffer>(std::move(block), units);
}

bool PosixPlatform::CopyToClipboard(const std::string& text) {
  HelperRun run;
  run.input = text;
  HelperResult copied = wayland_ ? RunHelper({copy_, "--type", "text/plain;charset=utf-8"}, run)
                                 : RunHelper({copy_, "-selection", "clipboard", "-i"}, run);
  return copied.exitCode == 0;
}

bool PosixPlatform::SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) {
  if (!clipboardOpen_ || !buffer) return false;
  const std::u16string_view text(buffer->data(),
                                 std::char_traits<char16_t>::length(buffer->data()));
  if (!CopyToClipboard(EncodeUtf8(text))) return false;
  // The helper holds the text now; the block is done with.
  buffer.reset();
  emptyPending_ = false;
  return true;
}

}  // namespace jotlog
