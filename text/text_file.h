// The on-disk form of text files, the same on every host: UTF-8 without a signature when
// written; on reading, a UTF-8 signature is dropped, a UTF-16 one (either byte order) is
// followed, and CR LF is delivered as LF. UTF-16 read or written holds no lone surrogate:
// each becomes U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace jotlog {

enum class Encoding { kUtf8, kUtf16Le, kUtf16Be };

// The encoding a file's first bytes announce, and the length of that signature.
std::pair<Encoding, size_t> Signature(std::string_view start);

// The bytes for `text` in `encoding`; never fails. In UTF-16 a lone surrogate becomes
// U+FFFD; for UTF-8 see EncodeUtf8.
std::string EncodeText(std::u16string_view text, Encoding encoding);
// The same, appended to `out`.
void EncodeText(std::u16string_view text, Encoding encoding, std::string& out);

// A text file over a host's byte file. Reading decodes as above; writing encodes as the
// file's encoding, with no translation, and holds everything until Flush, which hands it
// to the file in one write. Hosts supply the byte transfers and Close.
//
// With `legacyCodePage`, for hosts whose text is UTF-16 and whose older editors save text
// in a code page of the system's (Windows): a file read that has no signature and whose
// first 64 KiB are not valid UTF-8 is handed to DecodeLegacy piece by piece, as it is
// read; in UTF-8 read there, a byte that is not UTF-8 becomes U+FFFD. Without, such bytes
// are kept as they are (see utf.h).
class ByteTextFile : public TextFile {
 public:
  explicit ByteTextFile(Encoding encoding, bool legacyCodePage = false)
      : encoding_(encoding), legacyCodePage_(legacyCodePage) {}

  char16_t Get() override;
  bool Write(std::u16string_view text) override;
  bool Flush() override;

 protected:
  // Reads up to `size` bytes: the count read, 0 at the end of the file, negative on error.
  virtual ptrdiff_t ReadBytes(char* buffer, size_t size) = 0;
  // Hands all of `bytes` to the file; false on failure.
  virtual bool WriteBytes(std::string_view bytes) = 0;
  // The text of `bytes` (whole characters: the piece ends after a byte below 0x40, or at
  // the end of the file) in the legacy code page, in place of `out`; false when it cannot
  // be had.
  virtual bool DecodeLegacy(std::string_view /*bytes*/, std::u16string& /*out*/) { return false; }

 private:
  // Makes sure an undelivered unit is there; false at the end of the input or on error.
  bool Ensure();
  // Reads the next chunk of bytes into the undecoded ones; marks the end of the input.
  void ReadChunk();
  void Decode();

  // How bytes without a signature are read: UTF-8 (kAsIs, also for the rest), not yet
  // known, or in the legacy code page.
  enum class Mode { kAsIs, kUndecided, kLegacy };

  Encoding encoding_;
  bool legacyCodePage_;
  bool failed_ = false;
  bool ended_ = false;
  bool signatureRead_ = false;
  Mode mode_ = Mode::kAsIs;
  std::string pending_;
  std::string undecoded_;
  std::u16string decoded_;
  size_t next_ = 0;
};

}  // namespace jotlog
