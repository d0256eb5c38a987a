// An in-memory platform: a fixed clock, files held as wide text, a scripted clipboard and
// recorded message boxes, so that a whole run can be driven in-process.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace jotlog {

class FakePlatform : public Platform {
 public:
  struct File {
    std::u16string content;
    bool refuseOpen = false;    // every open fails
    bool failFlush = false;     // writes never reach the file
    bool failClose = false;     // closing reports an error after the data arrived
    bool exhaustWrite = false;  // memory runs out with half of a write queued
  };

  std::u16string modulePath = u"\\Program Files\\Memo\\memo.exe";
  SystemTime now{2024, 3, 4, 7, 8, 5, 9, 0};  // Thursday 7 March 2024, 08:05:09
  bool exhaustFormat = false;                 // memory runs out formatting a date
  std::map<std::u16string, File> files;
  // Folders that refuse new files, and the user's configuration folder (empty: none).
  std::set<std::u16string> readOnlyFolders;
  std::u16string configFolder = u"\\Users\\me\\jotlog";

  int liveBuffers = 0;  // transfer buffers not yet freed
  struct Clipboard {
    std::optional<std::u16string> text;  // its Unicode text, which may hold nulls
    bool refuseOpen = false;
    bool unreadable = false;  // holds text that cannot be read
    bool failAlloc = false;
    int failSets = 0;  // how many sets fail from now on
    bool isOpen = false;
    int strayCloses = 0;                    // closes while it was not open
    std::unique_ptr<TransferBuffer> taken;  // the buffer it was last given
  } clipboard;

  std::vector<std::u16string> boxes;  // caption ": " text, as shown

  uint32_t CreateNamedMutex(const std::u16string&) override { return kErrorSuccess; }
  std::u16string ModulePath() override { return modulePath; }
  SystemTime GetLocalTime() override { return now; }
  int FormatDate(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                 int size) override;
  int FormatTime(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                 int size) override;
  void ShowMessageBox(const std::u16string& text, const std::u16string& caption) override {
    boxes.push_back(caption + u": " + text);
  }
  std::unique_ptr<TextFile> OpenTextFile(const std::u16string& name, OpenMode mode) override;
  bool NewFileRefused(const std::u16string& name) override {
    return !files.contains(name) && readOnlyFolders.contains(name.substr(0, name.rfind(u'\\')));
  }
  std::u16string UserSettingsPath(const std::u16string& fileName, bool) override {
    return configFolder.empty() ? u"" : configFolder + u"\\" + fileName;
  }
  bool OpenClipboard() override;
  void CloseClipboard() override;
  const char16_t* GetClipboardData() override;
  bool ClipboardUnreadable() const override { return clipboard.unreadable; }
  void EmptyClipboard() override;
  std::unique_ptr<TransferBuffer> AllocTransferBuffer(size_t units) override;
  bool SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) override;

 private:
  std::u16string served_;
};

}  // namespace jotlog
