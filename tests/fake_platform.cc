#include "tests/fake_platform.h"

#include <new>

#include "platform/picture.h"

namespace jotlog {

namespace {

class FakeTextFile : public TextFile {
 public:
  explicit FakeTextFile(FakePlatform::File& file) : file_(file) {}

  char16_t Get() override { return next_ < file_.content.size() ? file_.content[next_++] : kWeof; }
  bool Write(std::u16string_view text) override {
    if (file_.exhaustWrite) {
      pending_ += text.substr(0, text.size() / 2);
      throw std::bad_alloc();
    }
    pending_ += text;
    return true;
  }
  bool Flush() override {
    if (file_.failFlush) return false;
    file_.content += pending_;
    pending_.clear();
    return true;
  }
  bool Close() override { return Flush() && !file_.failClose; }

 private:
  FakePlatform::File& file_;
  std::u16string pending_;
  size_t next_ = 0;
};

class FakeTransferBuffer : public TransferBuffer {
 public:
  FakeTransferBuffer(int& live, size_t units) : live_(live), units_(units, u'?') { ++live_; }
  ~FakeTransferBuffer() override { --live_; }
  char16_t* data() override { return units_.data(); }
  size_t size() const override { return units_.size(); }

 private:
  int& live_;
  std::u16string units_;
};

}  // namespace

bool FakePlatform::OpenClipboard() {
  if (clipboard.refuseOpen || clipboard.isOpen) return false;
  clipboard.isOpen = true;
  return true;
}

void FakePlatform::CloseClipboard() {
  clipboard.strayCloses += !clipboard.isOpen;
  clipboard.isOpen = false;
}

const char16_t* FakePlatform::GetClipboardData() {
  if (!clipboard.isOpen || !clipboard.text || clipboard.unreadable) return nullptr;
  served_ = *clipboard.text;
  return served_.c_str();
}

void FakePlatform::EmptyClipboard() {
  if (clipboard.isOpen) clipboard.text.reset();
}

std::unique_ptr<TransferBuffer> FakePlatform::AllocTransferBuffer(size_t units) {
  if (clipboard.failAlloc) return nullptr;
  return std::make_unique<FakeTransferBuffer>(liveBuffers, units);
}

bool FakePlatform::SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) {
  if (!clipboard.isOpen) return false;
  if (clipboard.failSets > 0) {
    --clipboard.failSets;
    return false;
  }
  clipboard.text = std::u16string(buffer->data());
  clipboard.taken = std::move(buffer);
  return true;
}

int FakePlatform::FormatDate(const SystemTime& time, const std::u16string& picture,
                             char16_t* buffer, int size) {
  if (exhaustFormat) throw std::bad_alloc();
  return FormatPicture(PictureKind::kDate, time, picture, LocaleNames::English(), buffer, size);
}

int FakePlatform::FormatTime(const SystemTime& time, const std::u16string& picture,
                             char16_t* buffer, int size) {
  return FormatPicture(PictureKind::kTime, time, picture, LocaleNames::English(), buffer, size);
}

std::unique_ptr<TextFile> FakePlatform::OpenTextFile(const std::u16string& name, OpenMode mode) {
  auto found = files.find(name);
  if (mode == OpenMode::kCreateNew && found != files.end()) return nullptr;
  if (found == files.end()) {
    if (mode == OpenMode::kRead || name.empty() || NewFileRefused(name)) return nullptr;
    found = files.emplace(name, File{}).first;
  }
  if (found->second.refuseOpen) return nullptr;
  if (mode == OpenMode::kWrite) found->second.content.clear();
  return std::make_unique<FakeTextFile>(found->second);
}

}  // namespace jotlog
