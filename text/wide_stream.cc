#include "text/wide_stream.h"

#include <new>

namespace jotlog {

WideFileStream::WideFileStream(Platform& platform, const std::u16string& name, OpenMode mode)
    : file_(platform.OpenTextFile(name, mode)) {
  if (!file_) state_ = kFailBit;
}

WideFileStream::~WideFileStream() {
  if (file_) file_->Close();
}

char16_t WideFileStream::Next() {
  if (pushback_) {
    char16_t c = *pushback_;
    pushback_.reset();
    return c;
  }
  return file_->Get();
}

std::u16string WideFileStream::GetLine(size_t capacity) {
  std::u16string line;
  if (!file_ || failed() || eof() || capacity == 0) {
    state_ |= kFailBit;
    return line;
  }
  bool delimited = false;
  while (true) {
    char16_t c = Next();
    if (c == kWeof) {
      state_ |= kEofBit;
      break;
    }
    if (c == u'\n') {
      delimited = true;
      break;
    }
    if (line.size() + 1 >= capacity) {
      Unget(c);
      state_ |= kFailBit;
      break;
    }
    line.push_back(c);
  }
  if (line.empty() && !delimited) state_ |= kFailBit;
  return line.substr(0, line.find(u'\0'));
}

void WideFileStream::IgnoreRestOfLine() {
  if (!file_) return;
  state_ &= ~kFailBit;
  while (true) {
    char16_t c = Next();
    if (c == kWeof) {
      state_ |= kEofBit;
      return;
    }
    if (c == u'\n') return;
  }
}

void WideFileStream::Write(std::u16string_view text) {
  if (!file_ || (state_ & kBadBit)) return;
  try {
    if (!file_->Write(text)) state_ |= kBadBit;
  } catch (const std::bad_alloc&) {
    // Part of the text may be queued: the file is dropped unflushed, so none of it lands.
    file_.reset();
    state_ |= kBadBit;
  }
}

void WideFileStream::EndLine() {
  Write(u"\n");
  if (!file_ || (state_ & kBadBit)) return;
  if (!file_->Flush()) state_ |= kBadBit;
}

bool WideFileStream::Close() {
  if (!file_) return false;
  bool closed = file_->Close();
  file_.reset();
  return closed && !(state_ & kBadBit);
}

}  // namespace jotlog
