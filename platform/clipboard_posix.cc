// The desktop clipboard on POSIX hosts, through its helper programs: wl-paste and wl-copy
// on Wayland, xclip on X11. A program that ends at once cannot serve its own clipboard
// text, so the helpers hold what is copied.
#include <new>

#include "platform/helper_posix.h"
#include "platform/platform_posix.h"
#include "platform/utf.h"
#include "platform/util_posix.h"

namespace jotlog {

namespace {

// The most clipboard text read, in bytes; a clipboard holding more counts as holding no
// text.
constexpr size_t kClipboardTextLimit = size_t{64} << 20;

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

// Whether `lines`, one item a line, holds `item`.
bool HasLine(std::string_view lines, std::string_view item) {
  while (!lines.empty()) {
    const size_t end = lines.find('\n');
    if (lines.substr(0, end) == item) return true;
    if (end == std::string_view::npos) break;
    lines.remove_prefix(end + 1);
  }
  return false;
}

// Runs a clipboard helper. One that hangs costs one time limit: `lost` is set, and the
// clipboard is given up for the rest of the run.
HelperResult RunClipboardHelper(const std::vector<std::string>& argv, const HelperRun& run,
                                bool& lost) {
  HelperResult result = RunHelper(argv, run);
  if (result.timedOut) lost = true;
  return result;
}

}  // namespace

bool PosixPlatform::OpenClipboard() {
  if (clipboardOpen_ || clipboardLost_) return false;
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
  if (emptyPending_ && !clipboardLost_) {
    if (wayland_) {
      RunClipboardHelper({copy_, "--clear"}, HelperRun{}, clipboardLost_);
    } else {
      CopyToClipboard("");
    }
  }
  clipboardOpen_ = false;
}

const char16_t* PosixPlatform::GetClipboardData() {
  if (!clipboardOpen_ || clipboardLost_) return nullptr;
  HelperRun run;
  run.captureOutput = true;
  run.outputLimit = kClipboardTextLimit;
  HelperResult pasted;
  if (wayland_) {
    // wl-paste fails when no text type is offered.
    pasted = RunClipboardHelper({paste_, "--no-newline", "--type", "text"}, run, clipboardLost_);
  } else {
    // An owner answers a request for any target, so ask which it offers first.
    HelperResult targets = RunClipboardHelper(
        {paste_, "-selection", "clipboard", "-o", "-t", "TARGETS"}, run, clipboardLost_);
    if (targets.exitCode != 0 || !HasLine(targets.output, "UTF8_STRING")) return nullptr;
    pasted = RunClipboardHelper({paste_, "-selection", "clipboard", "-o", "-t", "UTF8_STRING"}, run,
                                clipboardLost_);
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
  if (clipboardLost_) return false;
  HelperRun run;
  run.input = text;
  HelperResult copied =
      wayland_
          ? RunClipboardHelper({copy_, "--type", "text/plain;charset=utf-8"}, run, clipboardLost_)
          : RunClipboardHelper({copy_, "-selection", "clipboard", "-i"}, run, clipboardLost_);
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
