#include "tests/fake_platform.h"

namespace jotlog {

namespace {

class FakeTextFile : public TextFile {
 public:
  FakeTextFile(FakePlatform& platform, FakePlatform::File& file)
      : platform_(platform), file_(file) {}

  char16_t Get() override { return next_ < file_.content.size() ? file_.content[next_++] : kWeof; }
  bool Write(std::u16string_view text) override {
    pending_ += text;
    return true;
  }
  bool Flush() override {
    platform_.calls.push_back("flush");
    if (file_.failFlush) return false;
    file_.content += pending_;
    pending_.clear();
    return true;
  }
  bool Close() override {
    platform_.calls.push_back("close");
    bool flushed = pending_.empty() || Flush();
    return flushed && !file_.failClose;
  }

 private:
  FakePlatform& platform_;
  FakePlatform::File& file_;
  std::u16string pending_;
  size_t next_ = 0;
};

}  // namespace

uint32_t FakePlatform::CreateNamedMutex(const std::u16string& name) {
  calls.push_back("mutex");
  mutexNames.push_back(name);
  return mutexResult;
}

SystemTime FakePlatform::GetLocalTime() {
  calls.push_back("clock");
  return now;
}

int FakePlatform::GetDateFormat(const SystemTime& time, const std::u16string& picture,
                                char16_t* buffer, int size) {
  calls.push_back("date");
  return FormatPicture(PictureKind::kDate, time, picture, LocaleNames::English(), buffer, size);
}

int FakePlatform::GetTimeFormat(const SystemTime& time, const std::u16string& picture,
                                char16_t* buffer, int size) {
  calls.push_back("time");
  return FormatPicture(PictureKind::kTime, time, picture, LocaleNames::English(), buffer, size);
}

void FakePlatform::ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
  calls.push_back("box");
  boxes.push_back(Box{caption, text});
}

std::unique_ptr<TextFile> FakePlatform::OpenTextFile(const std::u16string& name, OpenMode mode) {
  calls.push_back(mode == OpenMode::kRead    ? "open r"
                  : mode == OpenMode::kWrite ? "open w"
                                             : "open a");
  if (name.empty()) return nullptr;  // no file has the empty name
  auto found = files.find(name);
  if (found == files.end()) {
    if (mode == OpenMode::kRead || !canCreate) return nullptr;
    found = files.emplace(name, File{}).first;
  }
  File& file = found->second;
  if (file.refuseOpen) return nullptr;
  if (mode == OpenMode::kWrite) file.content.clear();
  return std::make_unique<FakeTextFile>(*this, file);
}

}  // namespace jotlog
