#include "app/run.h"

#include <new>
#include <optional>
#include <string_view>

#include "app/clipboard.h"
#include "app/memo_entry.h"
#include "settings/default_settings.h"
#include "settings/keys.h"
#include "text/wide_stream.h"

namespace jotlog {

namespace {

// Holds a named mutex from a successful take until it is let go or the object goes.
class HeldMutex {
 public:
  HeldMutex(Platform& platform, const std::u16string& name, uint32_t waitMs)
      : platform_(platform), name_(name), state_(platform.TakeNamedMutex(name, waitMs)) {}
  ~HeldMutex() { Release(); }
  HeldMutex(const HeldMutex&) = delete;
  HeldMutex& operator=(const HeldMutex&) = delete;

  MutexState state() const { return state_; }
  void Release() {
    if (state_ == MutexState::kTaken) platform_.ReleaseNamedMutex(name_);
    state_ = MutexState::kNone;
  }

 private:
  Platform& platform_;
  std::u16string name_;
  MutexState state_;
};

}  // namespace

Language UserLanguage(Platform& platform) {
  try {
    std::u16string source;
    return ChooseLanguage(platform.UserLanguages(source));
  } catch (const std::bad_alloc&) {
    return Language::kJapanese;
  }
}

std::u16string_view ResultText(Language language, bool toClipboard, bool saved) {
  if (toClipboard) {
    return Text(language, saved ? Message::kSavedToClipboard : Message::kNotSavedToClipboard);
  }
  return Text(language, saved ? Message::kSavedToFile : Message::kNotSavedToFile);
}

bool AppendToMemoFile(Platform& platform, const std::u16string& fileName,
                      const std::u16string& entry, std::u16string& reason) {
  WideFileStream stream(platform, fileName, OpenMode::kAppend);
  if (stream.failed()) {
    reason = platform.LastErrorText();
    return false;
  }
  stream.Write(entry);
  if (stream.Close()) return true;
  reason = platform.LastErrorText();
  return false;
}

Outcome RecordMemo(Platform& platform, SettingsFile& settings, Language language,
                   const std::u16string& commandLine, bool memoGiven, bool fromClipboard) {
  const std::u16string section = keys::kSection;
  Outcome outcome;

  const std::u16string defaultAddFrom = keys::kDefaultAddFrom;
  std::u16string memo;
  if (fromClipboard ||
      (!memoGiven && settings.GetWithDefault(section, keys::kAddFrom, defaultAddFrom, true) ==
                         keys::kClipboard)) {
    // Text that cannot be read is no empty memo: the run fails and writes nothing. No text
    // at all is an empty memo.
    if (ReadClipboard(platform, memo) == ClipboardRead::kUnreadable) {
      outcome.where = Text(language, Message::kTheClipboard);
      outcome.reason = platform.LastErrorText();
    }
  } else {
    memo = commandLine;
  }

  if (outcome.where.empty()) memo = FormatMemoEntry(platform, std::move(memo), settings);

  const std::u16string defaultFileName = keys::kDefaultFileName;
  const std::u16string& fileName =
      settings.GetWithDefault(section, keys::kFileName, defaultFileName, true);
  if (fileName == keys::kClipboard) {
    outcome.toClipboard = true;
    if (!outcome.where.empty()) return outcome;
    outcome.saved = AppendToClipboard(platform, memo);
    if (!outcome.saved) {
      outcome.where = Text(language, Message::kTheClipboard);
      outcome.reason = platform.LastErrorText();
    }
  } else {
    if (!outcome.where.empty()) return outcome;
    outcome.saved = AppendToMemoFile(platform, fileName, memo, outcome.reason);
    if (!outcome.saved) {
      outcome.where = platform.ResolvedPath(fileName);
      if (outcome.where.empty()) {
        outcome.where = fileName.empty() ? Text(language, Message::kNoFileName) : fileName;
      }
    }
  }
  if (outcome.saved) {
    const std::u16string defaultShowDialog = keys::kDefaultShowDialog;
    outcome.showSuccess =
        settings.GetWithDefault(section, keys::kShowDialog, defaultShowDialog, true) == keys::kShow;
  }
  return outcome;
}

namespace {

// The run, with the memo on the command line or, with `taken`, taken by start-up.
int Run(Platform& platform, const std::u16string& commandLine, const TakenMemo* taken) {
  const Language language = UserLanguage(platform);
  // Running out of memory ends the run like any other failure: with the box of its
  // destination, whose texts are made before anything can run out.
  const std::u16string caption(Text(language, Message::kCaption));
  const std::u16string program(Text(language, Message::kProgram));
  const std::u16string outOfMemory =
      u"\n" + program + u": " + std::u16string(Text(language, Message::kOutOfMemory));
  const std::u16string memoFileFailure =
      std::u16string(ResultText(language, false, false)) + outOfMemory;
  const std::u16string clipboardFailure =
      std::u16string(ResultText(language, true, false)) + outOfMemory;

  // The guard covers the run's work, not the user's reading or typing in a box: a start
  // that finds another run at work waits for it to finish.
  std::optional<HeldMutex> guard;
  Outcome outcome;
  bool toClipboard = false;
  try {
    // Read before the guard, to know whether the user is to be asked first. A default
    // file is made whole or not at all, and only where none exists, so two starts at once
    // each read one whole file.
    SettingsFile settings(platform, true);
    if (settings.openFailed()) LoadFallbackSettings(settings, language);
    // A look that adds nothing, so the run's own lookups stay in their order.
    const std::u16string defaultFileName = keys::kDefaultFileName;
    toClipboard = settings.GetWithDefault(keys::kSection, keys::kFileName, defaultFileName,
                                          false) == keys::kClipboard;
    outcome.toClipboard = toClipboard;
    const std::u16string* memo = &commandLine;
    bool memoGiven = taken != nullptr;
    // Exactly "--input" or "--clipboard" as the whole command line names the memo's source,
    // whatever AddFrom says: what shortcuts and key bindings start.
    const std::u16string_view source = commandLine == u"--input"       ? keys::kInput
                                       : commandLine == u"--clipboard" ? keys::kClipboard
                                                                       : u"";
    std::u16string typed;
    const std::u16string defaultAddFrom = keys::kDefaultAddFrom;
    if (taken != nullptr) {
      memo = &taken->text;
      outcome.where = taken->where;
      outcome.reason = taken->reason;
    } else if ((source.empty() ? std::u16string_view(settings.GetWithDefault(
                                     keys::kSection, keys::kAddFrom, defaultAddFrom, true))
                               : source) == keys::kInput) {
      // Asked with no guard held, so other starts are not held up meanwhile. The entry's
      // time is sampled after the box, when OK was pressed.
      switch (platform.AskForMemo(std::u16string(Text(language, Message::kInputCaption)),
                                  std::u16string(Text(language, Message::kInputPrompt)),
                                  source.empty() ? commandLine : u"", typed)) {
        case MemoAsked::kCancelled:
          return 1;
        case MemoAsked::kCannotAsk:
          outcome.where = program;
          outcome.reason = platform.LastErrorText();
          break;
        case MemoAsked::kGiven:
          memo = &typed;
          memoGiven = true;
          break;
      }
    }
    if (outcome.where.empty()) {
      guard.emplace(platform, kMutexName, kGuardWaitMs);
      if (guard->state() != MutexState::kHeld) {
        outcome = RecordMemo(platform, settings, language, *memo, memoGiven,
                             !memoGiven && source == keys::kClipboard);
      }
    }
  } catch (const std::bad_alloc&) {
    guard.reset();
    platform.ShowMessageBox(toClipboard ? clipboardFailure : memoFileFailure, caption,
                            BoxKind::kFailed);
    return 1;
  }
  if (guard && guard->state() == MutexState::kHeld) {
    platform.ShowMessageBox(std::u16string(ResultText(language, outcome.toClipboard, false)) +
                                u"\n" + program + u": " + Say(language, Message::kBusy),
                            caption, BoxKind::kFailed);
    return 1;
  }
  guard.reset();

  if (!outcome.saved) {
    platform.ShowMessageBox(std::u16string(ResultText(language, outcome.toClipboard, false)) +
                                u"\n" + outcome.where + u": " + outcome.reason,
                            caption, BoxKind::kFailed);
    return 1;
  }
  if (outcome.showSuccess) {
    // While one success box is open, it speaks for every run that saves meanwhile.
    HeldMutex box(platform, kBoxMutexName, 0);
    if (box.state() != MutexState::kHeld) {
      platform.ShowMessageBox(std::u16string(ResultText(language, outcome.toClipboard, true)),
                              caption, BoxKind::kSaved);
    }
  }
  return 0;
}

}  // namespace

int WinMain(Platform& platform, const std::u16string& commandLine) {
  return Run(platform, commandLine, nullptr);
}

int WinMain(Platform& platform, const TakenMemo& memo) { return Run(platform, u"", &memo); }

}  // namespace jotlog
