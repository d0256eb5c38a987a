// The platform layer on Linux and other POSIX hosts. Its methods live by concern in the
// *_posix.cc files beside this header: guard, paths, files, locale, dialog, input,
// clipboard.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "text/messages.h"
#include "text/picture.h"

namespace jotlog {

class PosixPlatform : public Platform {
 public:
  // Speaks the user's language (UserLanguages) in its own reasons for a failure.
  // `startedAs`: the name the program was started by (argv[0]).
  explicit PosixPlatform(const char* startedAs = nullptr);
  ~PosixPlatform() override;
  PosixPlatform(const PosixPlatform&) = delete;
  PosixPlatform& operator=(const PosixPlatform&) = delete;

  MutexState TakeNamedMutex(const std::u16string& name, uint32_t waitMs) override;
  void ReleaseNamedMutex(const std::u16string& name) override;
  std::u16string ModulePath() override;
  SystemTime GetLocalTime() override;
  int FormatDate(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                 int size) override;
  int FormatTime(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                 int size) override;
  void ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                      BoxKind kind) override;
  MemoAsked AskForMemo(const std::u16string& caption, const std::u16string& prompt,
                       const std::u16string& first, std::u16string& memo) override;
  std::u16string UserLanguages(std::u16string& source) override;
  std::u16string LastErrorText() override;
  std::unique_ptr<TextFile> OpenTextFile(const std::u16string& name, OpenMode mode) override;
  std::u16string ResolvedPath(const std::u16string& name) override;
  bool Exists(const std::u16string& name) override;
  bool NewFileRefused(const std::u16string& name) override;
  std::u16string UserSettingsPath(const std::u16string& fileName, bool makeFolders) override;
  std::u16string UnsavedMemosPath(bool makeFolders) override;
  bool OpenClipboard() override;
  void CloseClipboard() override;
  const char16_t* GetClipboardData() override;
  bool ClipboardUnreadable() const override { return clipboardUnreadable_; }
  void EmptyClipboard() override;
  std::unique_ptr<TransferBuffer> AllocTransferBuffer(size_t units) override;
  bool SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) override;

 private:
  // Hands `text` to the clipboard helper; true when it took it.
  bool CopyToClipboard(const std::string& text);

  // The names of the user's LC_TIME locale, loaded once: months as they stand after a
  // day's number (`dayShown`) or alone.
  const LocaleNames& Names(bool dayShown);
  void LoadNames();

  // Why the clipboard last failed, when errno cannot say.
  void ClipboardFailed(std::string reason) { failure_ = std::move(reason); }
  // The reason `message` in the user's language, as failure_ holds it.
  std::string Reason(Message message, std::initializer_list<std::u16string_view> args = {}) const;

  Language language_;

  // Whether the program was started by a name in a folder where programs are installed
  // for everybody (a link there to a program elsewhere, say).
  bool StartedFromSystemFolder() const;

  std::string startedAs_;
  // The lock file held for each named mutex taken.
  std::map<std::u16string, int> mutexes_;
  std::string failure_;
  std::optional<LocaleNames> names_, namesWithoutDay_;

  // The open clipboard: the helpers that serve it (Wayland's wl-paste and wl-copy, or
  // X11's xclip), the text last read from it and whether the last read found text it
  // could not read.
  bool clipboardOpen_ = false;
  bool wayland_ = false;
  std::string paste_, copy_;
  std::u16string clipboardText_;
  bool clipboardUnreadable_ = false;
  // Set once a helper has hung: the clipboard then stays unavailable for the run.
  bool clipboardLost_ = false;
};

// The host path for a file name. A name that starts with a single backslash is a device
// path: backslashes become slashes, the device root is the home folder, and the device
// folder "My Documents" is the user's documents folder. Any other name is used as it
// stands. Empty when the name has no byte form.
std::optional<std::string> HostPathFor(const std::u16string& name);

// The user's home folder: $HOME when it is an absolute path, else the user's entry in
// /etc/passwd, else "/".
std::string HomeDirectory();

// The user's folder for what the program keeps between runs ($XDG_STATE_HOME/jotlog, or
// ~/.local/state/jotlog). With `make`, it is made where missing and checked to be a
// folder of the user's own that only the user may enter (made so when it is the user's);
// without, it is only checked that it could be made. Nothing when it cannot be had.
std::optional<std::string> PrivateStateFolder(bool make);

}  // namespace jotlog
