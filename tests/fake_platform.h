// An in-memory platform for whole runs: a fixed clock, byte files, a clipboard, the boxes shown.
#pragma once

#include <algorithm>
#include <map>
#include <new>
#include <optional>

#include "platform/platform.h"
#include "text/picture.h"
#include "text/text_file.h"

namespace jotlog {

class FakePlatform : public Platform {
 public:
  // A file's close (data written) or a write (half queued); a date; the clipboard's buffer or set.
  enum Fault { kNone, kClose, kWrite, kFormat, kAlloc, kSet };
  struct File {
    std::string content;  // the bytes, read and written as the hosts' text files do
    Fault fault = kNone;
    size_t piece = 65535;  // bytes per read; an even count reads as a host with a code page
  };
  std::map<std::u16string, File> files;
  Fault fault = kNone;  // of the date or the clipboard
  std::u16string modulePath = u"\\Program Files\\Memo\\memo.exe";
  std::optional<std::u16string> clipboard;
  int opened = 0;        // clipboard opens not yet closed; below 0 after a stray close
  std::u16string boxes;  // each box shown, as "|caption: text"

  std::map<std::u16string, MutexState> mutexes;  // as each take finds it; else taken
  MutexState TakeNamedMutex(const std::u16string& name, uint32_t) override {
    return mutexes.emplace(name, MutexState::kTaken).first->second;
  }
  void ReleaseNamedMutex(const std::u16string& name) override { mutexes.erase(name); }
  std::u16string ModulePath() override { return modulePath; }
  SystemTime GetLocalTime() override { return {2024, 3, 4, 7, 8, 5, 9, 0}; }
  int FormatDate(const SystemTime& t, const std::u16string& p, char16_t* b, int n) override {
    if (fault == kFormat) throw std::bad_alloc();
    return FormatPicture(PictureKind::kDate, t, p, LocaleNames::English(), b, n);
  }
  int FormatTime(const SystemTime& t, const std::u16string& p, char16_t* b, int n) override {
    return FormatPicture(PictureKind::kTime, t, p, LocaleNames::English(), b, n);
  }
  void ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                      BoxKind kind) override {
    boxes += (kind == BoxKind::kFailed ? u"|!" : u"|") + caption + u": " + text;
  }
  // The input box's answer (OK gives "typed"); each box asked shows as "|?caption: prompt [first]".
  MemoAsked answer = MemoAsked::kGiven;
  MemoAsked AskForMemo(const std::u16string& caption, const std::u16string& prompt,
                       const std::u16string& first, std::u16string& memo) override {
    boxes += u"|?" + caption + u": " + prompt + u" [" + first + u"]";
    if (answer == MemoAsked::kGiven) memo = u"typed";
    return answer;
  }
  std::u16string languages;  // as the user declared them ("de:ja")
  std::u16string UserLanguages(std::u16string& source) override {
    source = u"FAKE=" + languages;
    return languages;
  }
  std::u16string LastErrorText() override { return u"why"; }
  std::unique_ptr<TextFile> OpenTextFile(const std::u16string& name, OpenMode) override {
    return std::make_unique<Text>(files[name]);
  }
  std::u16string ResolvedPath(const std::u16string& name) override { return name; }
  bool Exists(const std::u16string& name) override { return files.count(name) != 0; }
  bool NewFileRefused(const std::u16string&) override { return false; }
  std::u16string UserSettingsPath(const std::u16string&, bool) override { return u""; }
  std::u16string unsavedPath = u"unsaved";  // empty: none can be had
  std::u16string UnsavedMemosPath(bool) override { return unsavedPath; }
  bool OpenClipboard() override { return opened == 0 && ++opened; }
  void CloseClipboard() override { --opened; }
  const char16_t* GetClipboardData() override {
    return opened == 1 && clipboard && !unreadable ? clipboard->c_str() : nullptr;
  }
  bool unreadable = false;  // the clipboard's text cannot be read
  bool ClipboardUnreadable() const override { return unreadable; }
  void EmptyClipboard() override { clipboard.reset(); }
  std::unique_ptr<TransferBuffer> AllocTransferBuffer(size_t units) override {
    return fault == kAlloc ? nullptr : std::make_unique<Buffer>(units);
  }
  bool SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) override {
    if (opened != 1) return false;
    if (fault == kSet) return fault = kNone, false;  // only the next set fails
    clipboard = buffer->data();                      // up to its first null
    buffer.reset();
    return true;
  }

 private:
  struct Text : ByteTextFile {  // the hosts' text file over a fake file's bytes
    explicit Text(File& file) : ByteTextFile(Encoding::kUtf8, file.piece % 2 == 0), file_(file) {}
    bool Write(std::u16string_view text) override {
      if (file_.fault != kWrite) return ByteTextFile::Write(text);
      ByteTextFile::Write(text.substr(0, text.size() / 2));
      throw std::bad_alloc();
    }
    bool Close() override { return Flush() && file_.fault != kClose; }
    ptrdiff_t ReadBytes(char* buffer, size_t size) override {
      const size_t n = file_.content.copy(buffer, std::min(size, file_.piece), read_);
      read_ += n;
      return static_cast<ptrdiff_t>(n);
    }
    bool WriteBytes(std::string_view bytes) override {
      file_.content += bytes;
      return true;
    }
    File& file_;
    size_t read_ = 0;
  };
  struct Buffer : TransferBuffer {
    explicit Buffer(size_t units) : units(units, u'?') {}
    char16_t* data() override { return units.data(); }
    size_t size() const override { return units.size(); }
    std::u16string units;
  };
};

}  // namespace jotlog
