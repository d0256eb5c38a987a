// The platform layer on Linux and other POSIX hosts.
#pragma once

#include <optional>
#include <string>

#include "platform/picture.h"
#include "platform/platform.h"

namespace jotlog {

class PosixPlatform : public Platform {
 public:
  PosixPlatform() = default;
  ~PosixPlatform() override;

  uint32_t CreateNamedMutex(const std::u16string& name) override;
  std::u16string ModulePath() override;
  SystemTime GetLocalTime() override;
  int FormatDate(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                 int size) override;
  int FormatTime(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                 int size) override;
  void ShowMessageBox(const std::u16string& text, const std::u16string& caption) override;
  std::unique_ptr<TextFile> OpenTextFile(const std::u16string& name, OpenMode mode) override;

 private:
  const LocaleNames& Names();

  int mutexFd_ = -1;
  std::optional<LocaleNames> names_;
};

// The host path for a file name. A name that starts with a single backslash is a device
// path: backslashes become slashes, the device root is the home folder, and the device
// folder "My Documents" is the user's documents folder. Any other name is used as it
// stands. Empty when the name has no byte form.
std::optional<std::string> HostPathFor(const std::u16string& name);

}  // namespace jotlog
