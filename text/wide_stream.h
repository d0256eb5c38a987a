// A file stream of wide characters over the platform's text files: one character at a
// time in, whole strings out, with the end-of-file, fail and bad state bits of a
// standard stream. No operation raises an error; callers test the state.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace jotlog {

class WideFileStream {
 public:
  static constexpr int kEofBit = 1;
  static constexpr int kFailBit = 2;
  static constexpr int kBadBit = 4;

  // Opens `name` in `mode`; a file that cannot be opened leaves the fail bit set.
  WideFileStream(Platform& platform, const std::u16string& name, OpenMode mode);
  // Closes the file when still open, without looking at the result.
  ~WideFileStream();

  WideFileStream(const WideFileStream&) = delete;
  WideFileStream& operator=(const WideFileStream&) = delete;

  bool eof() const { return (state_ & kEofBit) != 0; }
  // The fail or bad bit: what callers test right after opening.
  bool failed() const { return (state_ & (kFailBit | kBadBit)) != 0; }

  // Reads one line into a buffer of `capacity` units (terminator included), with line
  // feed as delimiter, as a standard stream's getline does:
  // - the end of the input ends the line and sets the end-of-file bit;
  // - the line feed ends the line and is consumed but not stored;
  // - when capacity - 1 units are stored and the next one is neither, reading stops with
  //   the fail bit set and that unit left unread;
  // - a read that stores nothing and meets no line feed sets the fail bit.
  // Returns the stored text up to its first NUL. Does nothing while failed.
  std::u16string GetLine(size_t capacity);

  // Skips the rest of the current line, its line feed included, after GetLine stopped on
  // a full buffer. Clears the fail bit; sets the end-of-file bit when the input ends.
  void IgnoreRestOfLine();

  // Writes the text; a failed write sets the bad bit, after which writes do nothing.
  // Memory running out while the text is queued drops the file with nothing written.
  void Write(std::u16string_view text);
  // Writes one line feed and flushes.
  void EndLine();

  // Flushes, commits and closes. True only when the stream was open and not bad and
  // every step succeeded.
  bool Close();

 private:
  char16_t Next();
  void Unget(char16_t c) { pushback_ = c; }

  std::unique_ptr<TextFile> file_;
  int state_ = 0;
  std::optional<char16_t> pushback_;
};

}  // namespace jotlog
