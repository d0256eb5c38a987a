// The desktop clipboard on POSIX hosts, through its helper programs: wl-paste and wl-copy
// on Wayland, xclip on X11. A program that ends at once cannot serve its own clipboard
// text, so the helpers hold what is copied.
#include <iterator>
#include <new>
#include <string_view>
#include <utility>

#include "platform/posix/helper_posix.h"
#include "platform/posix/platform_posix.h"
#include "text/utf.h"
#include "platform/posix/util_posix.h"

namespace jotlog {

namespace {

// The most clipboard text read, in bytes; more than that cannot be read.
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

// The text types, best first, and whether each is Latin-1 (else UTF-8, its bytes kept).
constexpr std::pair<std::string_view, bool> kTextTypes[] = {
    {"UTF8_STRING", false}, {"text/plain;charset=utf-8", false},
    {"text/plain", false},  {"STRING", true},
    {"TEXT", true},
};

// The best text type among `types`, one a line; null when none is text.
const std::pair<std::string_view, bool>* BestTextType(std::string_view types) {
  const std::pair<std::string_view, bool>* best = std::end(kTextTypes);
  while (!types.empty()) {
    const size_t end = types.find('\n');
    for (auto* type = std::begin(kTextTypes); type < best; ++type) {
      if (types.substr(0, end) == type->first) best = type;
    }
    if (end == std::string_view::npos) break;
    types.remove_prefix(end + 1);
  }
  return best == std::end(kTextTypes) ? nullptr : best;
}

std::u16string DecodeLatin1(std::string_view bytes) {
  std::u16string text(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<unsigned char>(bytes[i]);
  return text;
}

// Runs a clipboard helper. One that hangs costs one time limit: `lost` is set, and the
// clipboard is given up for the rest of the run.
HelperResult RunClipboardHelper(const std::vector<std::string>& argv, const HelperRun& run,
                                bool& lost) {
  HelperResult result = RunHelper(argv, run);
  if (result.timedOut) lost = true;
  return result;
}

// Why a clipboard helper's run failed, for the user.
std::string HelperFailure(const std::string& tool, const HelperResult& result) {
  const std::string name = tool.substr(tool.rfind('/') + 1);
  if (result.timedOut) return name + " did not answer within 5 s";
  if (result.exitCode > 0) return name + " failed (exit status " + std::to_string(result.exitCode) + ")";
  return name + " failed, was ended, or gave more than 64 MiB of text";
}

constexpr char kLost[] = "a clipboard tool did not answer within 5 s earlier in this run";

}  // namespace

bool PosixPlatform::OpenClipboard() {
  failure_.clear();
  if (clipboardLost_) ClipboardFailed(kLost);
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
  if (paste_.empty() || copy_.empty()) {
    ClipboardFailed(!IsSet("WAYLAND_DISPLAY") && !IsSet("DISPLAY")
                        ? "no desktop holds a clipboard here (neither WAYLAND_DISPLAY nor "
                          "DISPLAY is set)"
                        : "no clipboard tool (xclip or wl-clipboard) is installed");
    return false;
  }
  clipboardOpen_ = true;
  return true;
}

void PosixPlatform::CloseClipboard() { clipboardOpen_ = false; }

const char16_t* PosixPlatform::GetClipboardData() {
  clipboardUnreadable_ = false;
  if (!clipboardOpen_ || clipboardLost_) return nullptr;
  // First the types on offer: an owner answers a request for any of them, text or not.
  // The helpers end with 1 when nothing is offered at all; any other failure leaves
  // text, if there is any, unread.
  HelperRun run;
  run.captureOutput = true;
  run.outputLimit = kClipboardTextLimit;
  const HelperResult types =
      wayland_ ? RunClipboardHelper({paste_, "--list-types"}, run, clipboardLost_)
               : RunClipboardHelper({paste_, "-selection", "clipboard", "-o", "-t", "TARGETS"}, run,
                                    clipboardLost_);
  if (types.exitCode == 1) return nullptr;
  const auto* type = types.exitCode == 0 ? BestTextType(types.output) : nullptr;
  if (type == nullptr) {
    clipboardUnreadable_ = types.exitCode != 0;
    if (clipboardUnreadable_) ClipboardFailed(HelperFailure(paste_, types));
    return nullptr;
  }
  const std::string name(type->first);
  const HelperResult pasted =
      wayland_ ? RunClipboardHelper({paste_, "--no-newline", "--type", name}, run, clipboardLost_)
               : RunClipboardHelper({paste_, "-selection", "clipboard", "-o", "-t", name}, run,
                                    clipboardLost_);
  if (pasted.exitCode != 0) {
    clipboardUnreadable_ = true;
    ClipboardFailed(HelperFailure(paste_, pasted));
    return nullptr;
  }
  clipboardText_ = type->second ? DecodeLatin1(pasted.output) : DecodeUtf8(pasted.output);
  return clipboardText_.c_str();
}

// The helpers replace the old text with the new in one step: nothing is emptied before a
// new text is taken.
void PosixPlatform::EmptyClipboard() {}

std::unique_ptr<TransferBuffer> PosixPlatform::AllocTransferBuffer(size_t units) {
  std::unique_ptr<char16_t[]> block(new (std::nothrow) char16_t[units]);
  if (!block || units == 0) return nullptr;
  return std::make_unique<PosixTransferBuffer>(std::move(block), units);
}

bool PosixPlatform::CopyToClipboard(const std::string& text) {
  if (clipboardLost_) {
    ClipboardFailed(kLost);
    return false;
  }
  HelperRun run;
  run.input = text;
  HelperResult copied =
      wayland_
          ? RunClipboardHelper({copy_, "--type", "text/plain;charset=utf-8"}, run, clipboardLost_)
          : RunClipboardHelper({copy_, "-selection", "clipboard", "-i"}, run, clipboardLost_);
  if (copied.exitCode == 0) return true;
  ClipboardFailed(HelperFailure(copy_, copied));
  return false;
}

bool PosixPlatform::SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) {
  if (!clipboardOpen_ || !buffer) return false;
  const std::u16string_view text(buffer->data(),
                                 std::char_traits<char16_t>::length(buffer->data()));
  if (!CopyToClipboard(EncodeUtf8(text))) return false;
  // The helper holds the text now; the block is done with.
  buffer.reset();
  return true;
}

}  // namespace jotlog
