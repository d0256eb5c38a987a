// An in-memory platform: a fixed clock, files held as wide text, recorded message boxes
// and a log of the calls the core made, so that a whole run can be driven in-process.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/picture.h"
#include "platform/platform.h"

namespace jotlog {

class FakePlatform : public Platform {
 public:
  struct File {
    std::u16string content;
    bool refuseOpen = false;  // every open fails
    bool failFlush = false;   // writes never reach the file
    bool failClose = false;   // closing reports an error after the data arrived
  };
  struct Box {
    std::u16string caption;
    std::u16string text;
  };

  // Thursday 7 March 2024, 08:05:09 local time.
  SystemTime now{2024, 3, 4, 7, 8, 5, 9, 0};
  uint32_t mutexResult = kErrorSuccess;
  std::map<std::u16string, File> files;
  // Whether opening a missing file for writing or appending creates it.
  bool canCreate = true;

  std::vector<Box> boxes;
  std::vector<std::string> calls;
  std::vector<std::u16string> mutexNames;

  uint32_t CreateNamedMutex(const std::u16string& name) override;
  SystemTime GetLocalTime() override;
  int GetDateFormat(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                    int size) override;
  int GetTimeFormat(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                    int size) override;
  void ShowMessageBox(const std::u16string& text, const std::u16string& caption) override;
  std::unique_ptr<TextFile> OpenTextFile(const std::u16string& name, OpenMode mode) override;
};

}  // namespace jotlog
