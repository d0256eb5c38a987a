// The desktop clipboard on POSIX hosts, through its helper programs: wl-paste and wl-copy
// on Wayland, xclip on X11. A program that ends at once cannot serve its own clipboard
// text, so the helpers hold what is copied.
#include <algorithm>
#include <cerrno>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/posix/helper_posix.h"
#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

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

// How a text type's bytes are read: as UTF-8 (any bytes that are not kept as they are),
// as Latin-1, or as UTF-8 when they are valid UTF-8 and else as Latin-1 (TEXT, which owners
// answer in either).
enum class Charset { kUtf8, kLatin1, kUtf8OrLatin1 };

struct TextType {
  int rank;  // lower is better
  Charset charset;
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// What `type` is as text, best first: UTF8_STRING; text/plain with charset UTF-8, then
// without a charset (both UTF-8); STRING (Latin-1); TEXT. X11's type names are atoms,
// which count letter case; a MIME type's name, its parameters' names and the charset do
// not, and a charset may be quoted. Nothing for any other type or charset.
std::optional<TextType> TextTypeOf(std::string_view type) {
  if (type == "UTF8_STRING") return TextType{0, Charset::kUtf8};
  if (type == "STRING") return TextType{3, Charset::kLatin1};
  if (type == "TEXT") return TextType{4, Charset::kUtf8OrLatin1};
  const size_t semicolon = type.find(';');
  if (!EqualsIgnoringCase(Trimmed(type.substr(0, semicolon)), "text/plain")) return std::nullopt;
  std::optional<std::string_view> charset;
  for (std::string_view rest = type.substr(std::min(semicolon, type.size())); !rest.empty();) {
    rest.remove_prefix(1);  // the ';'
    const std::string_view parameter = rest.substr(0, rest.find(';'));
    rest.remove_prefix(parameter.size());
    const size_t equals = parameter.find('=');
    if (equals == std::string_view::npos ||
        !EqualsIgnoringCase(Trimmed(parameter.substr(0, equals)), "charset")) {
      continue;
    }
    std::string_view value = Trimmed(parameter.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    charset = value;
  }
  if (!charset) return TextType{2, Charset::kUtf8};
  if (EqualsIgnoringCase(*charset, "utf-8")) return TextType{1, Charset::kUtf8};
  return std::nullopt;
}

// The best text type among `types`, one a line, as offered; nothing when none is text.
std::optional<std::pair<std::string, Charset>> BestTextType(std::string_view types) {
  std::optional<std::pair<std::string, Charset>> best;
  int bestRank = 0;
  while (!types.empty()) {
    const size_t end = types.find('\n');
    const std::string_view line = types.substr(0, end);
    if (const auto text = TextTypeOf(line); text && (!best || text->rank < bestRank)) {
      best.emplace(std::string(line), text->charset);
      bestRank = text->rank;
    }
    if (end == std::string_view::npos) break;
    types.remove_prefix(end + 1);
  }
  return best;
}

std::u16string DecodeLatin1(std::string_view bytes) {
  std::u16string text(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<unsigned char>(bytes[i]);
  return text;
}

// The text of `bytes` read as `charset`. Bytes that are not UTF-8 decode to lone
// surrogates, which valid UTF-8 never gives.
std::u16string DecodeText(std::string_view bytes, Charset charset) {
  if (charset == Charset::kLatin1) return DecodeLatin1(bytes);
  std::u16string text = DecodeUtf8(bytes);
  if (charset == Charset::kUtf8) return text;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsSurrogatePair(text, i)) {
      ++i;
    } else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
      return DecodeLatin1(bytes);
    }
  }
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

// Whether the helper could not reach the display. The helpers end with 1 for that as for
// "no text": only their message tells the two apart.
bool CannotConnect(const HelperResult& result) {
  return result.exitCode > 0 &&
         (result.errors.find("Can't open display") != std::string::npos ||
          result.errors.find("Failed to connect to a Wayland server") != std::string::npos);
}

// Why a clipboard helper's run failed, for the user.
std::u16string HelperFailure(Language language, const std::string& tool,
                             const HelperResult& result) {
  const std::u16string name = DecodeUtf8(tool.substr(tool.rfind('/') + 1));
  if (CannotConnect(result)) {
    return Say(language, Message::kNoDisplay,
               {name, DecodeUtf8(result.errors.substr(0, result.errors.find('\n')))});
  }
  if (result.timedOut) return Say(language, Message::kToolSilent, {name});
  if (result.exitCode > 0) {
    return Say(language, Message::kToolExited, {name, DecodeUtf8(std::to_string(result.exitCode))});
  }
  return Say(language, Message::kToolEnded, {name});
}

}  // namespace

bool PosixPlatform::OpenClipboard() {
  failure_.clear();
  if (clipboardLost_) ClipboardFailed(Reason(Message::kClipboardLost));
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
    ClipboardFailed(Reason(!IsSet("WAYLAND_DISPLAY") && !IsSet("DISPLAY")
                               ? Message::kNoDesktopClipboard
                               : Message::kNoClipboardTool));
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
  // The helpers end with 1 when a type is not to be had; any other failure leaves text,
  // if there is any, unread.
  HelperRun run;
  run.captureOutput = true;
  run.captureErrors = true;
  run.outputLimit = kClipboardTextLimit;
  const HelperResult types =
      wayland_ ? RunClipboardHelper({paste_, "--list-types"}, run, clipboardLost_)
               : RunClipboardHelper({paste_, "-selection", "clipboard", "-o", "-t", "TARGETS"}, run,
                                    clipboardLost_);
  std::optional<std::pair<std::string, Charset>> type;
  // A clipboard that cannot be reached is unreadable, not empty.
  if (CannotConnect(types)) {
    clipboardUnreadable_ = true;
    ClipboardFailed(EncodeUtf8(HelperFailure(language_, paste_, types)));
    return nullptr;
  }
  // On X11 the owner itself answers TARGETS, and one that does not (or no owner, which
  // looks the same to xclip) is asked for text directly: it holds none only when it
  // refuses that too. xclip falls back to STRING where UTF8_STRING is refused, so the
  // answer is read as TEXT is.
  const bool asked = !wayland_ && types.exitCode == 1;
  if (types.exitCode == 0) {
    type = BestTextType(types.output);
    if (!type) return nullptr;  // none of the types on offer is text
  } else if (asked) {
    type.emplace("UTF8_STRING", Charset::kUtf8OrLatin1);
  } else {
    clipboardUnreadable_ = types.exitCode != 1;  // Wayland: 1 when nothing is copied
    if (clipboardUnreadable_) ClipboardFailed(EncodeUtf8(HelperFailure(language_, paste_, types)));
    return nullptr;
  }
  const HelperResult pasted =
      wayland_
          ? RunClipboardHelper({paste_, "--no-newline", "--type", type->first}, run, clipboardLost_)
          : RunClipboardHelper({paste_, "-selection", "clipboard", "-o", "-t", type->first}, run,
                               clipboardLost_);
  if (asked && pasted.exitCode == 1 && !CannotConnect(pasted)) return nullptr;  // no text at all
  if (pasted.exitCode != 0) {
    clipboardUnreadable_ = true;
    ClipboardFailed(EncodeUtf8(HelperFailure(language_, paste_, pasted)));
    return nullptr;
  }
  // Text holding a NUL would be cut there: it cannot be carried whole.
  if (pasted.output.find('\0') != std::string::npos) {
    clipboardUnreadable_ = true;
    ClipboardFailed(Reason(Message::kClipboardNul));
    return nullptr;
  }
  clipboardText_ = DecodeText(pasted.output, type->second);
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
    ClipboardFailed(Reason(Message::kClipboardLost));
    return false;
  }
  HelperRun run;
  run.input = text;
  run.captureErrors = true;
  HelperResult copied =
      wayland_
          ? RunClipboardHelper({copy_, "--type", "text/plain;charset=utf-8"}, run, clipboardLost_)
          : RunClipboardHelper({copy_, "-selection", "clipboard", "-i"}, run, clipboardLost_);
  if (copied.exitCode == 0) return true;
  ClipboardFailed(EncodeUtf8(HelperFailure(language_, copy_, copied)));
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
