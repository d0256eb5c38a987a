#include "app/run.h"

#include <new>
#include <optional>

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

Outcome RecordMemo(Platform& platform, SettingsFile& settings, const std::u16string& commandLine,
                   bool memoGiven) {
  const std::u16string section = keys::kSection;
  Outcome outcome;

  const std::u16string defaultAddFrom = keys::kDefaultAddFrom;
  std::u16string memo;
  if (!memoGiven &&
      settings.GetWithDefault(section, keys::kAddFrom, defaultAddFrom, true) == keys::kClipboard) {
    // Text that cannot be read is no empty memo: the run fails and writes nothing. No text
    // at all is an empty memo.
    if (ReadClipboard(platform, memo) == ClipboardRead::kUnreadable) {
      outcome.where = kClipboardName;
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
    outcome.label = kClipboardLabel;
    if (!outcome.where.empty()) return outcome;
    outcome.saved = AppendToClipboard(platform, memo);
    if (!outcome.saved) {
      outcome.where = kClipboardName;
      outcome.reason = platform.LastErrorText();
    }
  } else {
    if (!outcome.where.empty()) return outcome;
    std::u16string name = fileName;
    const bool expanded = platform.ExpandFileName(name);
    if (expanded) {
      outcome.saved = AppendToMemoFile(platform, name, memo, outcome.reason);
    } else {
      outcome.reason = platform.LastErrorText();
    }
    if (!outcome.saved) {
      if (expanded) outcome.where = platform.ResolvedPath(name);
      if (outcome.where.empty()) outcome.where = fileName.empty() ? u"(no file name)" : fileName;
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
  // Running out of memory ends the run like any other failure: with the box of its
  // destination, whose texts are made before anything can run out.
  const std::u16string caption = kBoxCaption;
  const std::u16string memoFileFailure =
      std::u16string(kMemoFileLabel) + kNotSavedWords + u"\n" + kOutOfMemory;
  const std::u16string clipboardFailure =
      std::u16string(kClipboardLabel) + kNotSavedWords + u"\n" + kOutOfMemory;

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
    if (settings.openFailed()) LoadFallbackSettings(settings);
    // A look that adds nothing, so the run's own lookups stay in their order.
    const std::u16string defaultFileName = keys::kDefaultFileName;
    toClipboard = settings.GetWithDefault(keys::kSection, keys::kFileName, defaultFileName,
                                          false) == keys::kClipboard;
    outcome.label = toClipboard ? kClipboardLabel : kMemoFileLabel;
    const std::u16string* memo = &commandLine;
    bool memoGiven = taken != nullptr;
    std::u16string typed;
    const std::u16string defaultAddFrom = keys::kDefaultAddFrom;
    if (taken != nullptr) {
      memo = &taken->text;
      outcome.where = taken->where;
      outcome.reason = taken->reason;
    } else if (settings.GetWithDefault(keys::kSection, keys::kAddFrom, defaultAddFrom, true) ==
               keys::kInput) {
      // Asked with no guard held, so other starts are not held up meanwhile. The entry's
      // time is sampled after the box, when OK was pressed.
      switch (platform.AskForMemo(kInputCaption, kInputPrompt, commandLine, typed)) {
        case MemoAsked::kCancelled:
          return 1;
        case MemoAsked::kCannotAsk:
          outcome.where = kInputName;
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
        outcome = RecordMemo(platform, settings, *memo, memoGiven);
      }
    }
  } catch (const std::bad_alloc&) {
    guard.reset();
    platform.ShowMessageBox(toClipboard ? clipboardFailure : memoFileFailure, caption,
                            BoxKind::kFailed);
    return 1;
  }
  if (guard && guard->state() == MutexState::kHeld) {
    platform.ShowMessageBox(outcome.label + kNotSavedWords + u"\n" + kBusy, caption,
                            BoxKind::kFailed);
    return 1;
  }
  guard.reset();

  if (!outcome.saved) {
    platform.ShowMessageBox(
        outcome.label + kNotSavedWords + u"\n" + outcome.where + u": " + outcome.reason, caption,
        BoxKind::kFailed);
    return 1;
  }
  if (outcome.showSuccess) {
    // While one success box is open, it speaks for every run that saves meanwhile.
    HeldMutex box(platform, kBoxMutexName, 0);
    if (box.state() != MutexState::kHeld) {
      platform.ShowMessageBox(outcome.label + kSavedWords, caption, BoxKind::kSaved);
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
