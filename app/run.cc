#include "app/run.h"

#include <new>
#include <optional>
#include <string_view>

#include "app/clipboard.h"
#include "app/memo_entry.h"
#include "app/unsaved.h"
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

namespace {

// The full name of the memo file `fileName`, as a failure names it.
std::u16string MemoFileName(Platform& platform, Language language, const std::u16string& fileName) {
  if (fileName.empty()) return std::u16string(Text(language, Message::kNoFileName));
  std::u16string full = platform.ResolvedPath(fileName);
  return full.empty() ? fileName : full;
}

}  // namespace

Outcome RecordMemo(Platform& platform, SettingsFile& settings, Language language,
                   const std::u16string& commandLine, bool memoGiven, bool fromClipboard,
                   const std::u16string& unguarded) {
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

  if (outcome.where.empty()) outcome.entry = FormatMemoEntry(platform, std::move(memo), settings);

  const std::u16string defaultFileName = keys::kDefaultFileName;
  const std::u16string& fileName =
      settings.GetWithDefault(section, keys::kFileName, defaultFileName, true);
  if (fileName == keys::kClipboard) {
    outcome.toClipboard = true;
    outcome.destination = Text(language, Message::kTheClipboard);
    if (!outcome.where.empty()) return outcome;
    outcome.saved = unguarded.empty() && AppendToClipboard(platform, *outcome.entry);
    if (!outcome.saved) {
      outcome.where = outcome.destination;
      outcome.reason = unguarded.empty() ? platform.LastErrorText() : unguarded;
    }
  } else {
    // %NAME% and the like, where the system has them, in this name alone.
    std::u16string name = fileName;
    const bool expanded = platform.ExpandFileName(name);
    const std::u16string whyNot = expanded ? u"" : platform.LastErrorText();
    outcome.destination = MemoFileName(platform, language, expanded ? name : fileName);
    if (!outcome.where.empty()) return outcome;
    if (fileName.empty()) {
      outcome.reason = Text(language, Message::kEmptyFileName);
    } else if (!expanded) {
      outcome.reason = whyNot;
    } else {
      outcome.saved = AppendToMemoFile(platform, name, *outcome.entry, outcome.reason);
    }
    if (!outcome.saved) outcome.where = outcome.destination;
  }
  if (outcome.saved) {
    const std::u16string defaultShowDialog = keys::kDefaultShowDialog;
    outcome.showSuccess =
        settings.GetWithDefault(section, keys::kShowDialog, defaultShowDialog, true) == keys::kShow;
  }
  return outcome;
}

std::u16string BoxMutexName(const std::u16string& destination) {
  // A name of fixed length whatever the destination's: FNV-1a over its units.
  uint64_t hash = 14695981039346656037u;
  for (char16_t unit : destination) hash = (hash ^ unit) * 1099511628211u;
  std::u16string name = std::u16string(kBoxMutexName) + u"-";
  for (int shift = 60; shift >= 0; shift -= 4) name += u"0123456789abcdef"[hash >> shift & 15];
  return name;
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
    bool fromClipboard = source == keys::kClipboard;
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
          // The command line, the box's first text, is the memo in hand.
          if (source.empty() && !commandLine.empty())
            outcome.entry = FormatMemoEntry(platform, commandLine, settings);
          break;
        case MemoAsked::kGiven:
          memo = &typed;
          memoGiven = true;
          break;
      }
    } else if (source.empty()) {
      fromClipboard = settings.GetWithDefault(keys::kSection, keys::kAddFrom, defaultAddFrom,
                                              false) == keys::kClipboard;
    }
    if (outcome.where.empty()) {
      guard.emplace(platform, kMutexName, kGuardWaitMs);
      const MutexState state = guard->state();
      if (state != MutexState::kHeld) {
        outcome = RecordMemo(platform, settings, language, *memo, memoGiven,
                             !memoGiven && source == keys::kClipboard,
                             state == MutexState::kNone ? platform.LastErrorText() : u"");
      } else {
        // Given up on the run at work: the destination it could not reach, the wait as the
        // reason, and the memo, when in hand, kept.
        const std::u16string& fileName =
            settings.GetWithDefault(keys::kSection, keys::kFileName, defaultFileName, false);
        outcome.where = toClipboard ? std::u16string(Text(language, Message::kTheClipboard))
                                    : MemoFileName(platform, language, fileName);
        outcome.destination = outcome.where;
        outcome.reason = Say(language, Message::kBusy);
        if (memoGiven || !fromClipboard) outcome.entry = FormatMemoEntry(platform, *memo, settings);
      }
    }
  } catch (const std::bad_alloc&) {
    guard.reset();
    platform.ShowMessageBox(toClipboard ? clipboardFailure : memoFileFailure, caption,
                            BoxKind::kFailed);
    return 1;
  }
  guard.reset();

  if (!outcome.saved) {
    std::u16string text = std::u16string(ResultText(language, outcome.toClipboard, false)) + u"\n" +
                          outcome.where + u": " + outcome.reason;
    // A memo in hand that could not be saved is kept, unless the file of unsaved memos is
    // the destination that failed.
    if (outcome.entry) {
      const std::u16string kept = KeepUnsaved(platform, *outcome.entry, outcome.destination);
      if (!kept.empty()) text += u"\n" + Say(language, Message::kMemoKept, {kept});
    }
    platform.ShowMessageBox(text, caption, BoxKind::kFailed);
    return 1;
  }
  if (outcome.showSuccess) {
    // While one success box is open, it speaks for every run that saves to the same
    // destination meanwhile.
    HeldMutex box(platform, BoxMutexName(outcome.destination), 0);
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
