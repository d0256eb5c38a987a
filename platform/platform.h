// The layer over the operating system. The core receives a Platform and reaches the
// outside world only through it; each operating system implements it in its own file,
// and the tests drive a whole run through an in-memory fake.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace jotlog {

// Broken-down local time, laid out as the Win32 SYSTEMTIME.
struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 1;      // 1..12
  uint16_t dayOfWeek = 0;  // 0 = Sunday
  uint16_t day = 1;        // 1..31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

enum class MutexState { kTaken, kHeld, kNone };

// What a result box reports: the look of a success and of a failure differ where the
// system has such looks.
enum class BoxKind { kSaved, kFailed };

// What came of asking the user for a memo.
enum class MemoAsked {
  kGiven,      // OK: the memo is the text in the box
  kCancelled,  // Cancel, Escape, or the box closed
  kCannotAsk,  // no box can be shown here; LastErrorText says why
};

// The value a text file delivers at the end of its input or on a read error.
inline constexpr char16_t kWeof = 0xFFFF;

enum class OpenMode {
  kRead,       // existing file, from its start
  kWrite,      // created, or emptied when it exists
  kAppend,     // created when absent; every write goes to its end
  kCreateNew,  // created for writing; fails when anything exists at the name
};

// One open file of wide text. Implementations decide the bytes on disk.
class TextFile {
 public:
  virtual ~TextFile() = default;
  // The next UTF-16 code unit, or kWeof at the end of the input or on a read error.
  virtual char16_t Get() = 0;
  // Queues text for writing; it reaches the file at the latest on Flush or Close.
  // False when the text cannot be represented or an earlier write failed.
  virtual bool Write(std::u16string_view text) = 0;
  // Hands everything queued to the file in one write. False on failure.
  virtual bool Flush() = 0;
  // Flushes, commits the file to stable storage where the file kind allows it, and
  // closes it. True only when all of that succeeded. Called at most once.
  virtual bool Close() = 0;
};

// A block of memory for text that is to become the clipboard's. The block is freed with
// this object unless the clipboard has taken it.
class TransferBuffer {
 public:
  virtual ~TransferBuffer() = default;
  virtual char16_t* data() = 0;
  virtual size_t size() const = 0;  // in UTF-16 units
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Takes the named mutex, shared by the user's processes, waiting up to `waitMs` for
  // another process to let it go (one that ended holding it has let it go). kTaken: this
  // process holds it until ReleaseNamedMutex or its end; kHeld: another still held it
  // after the wait; kNone: it cannot be had at all (LastErrorText says why).
  virtual MutexState TakeNamedMutex(const std::u16string& name, uint32_t waitMs) = 0;
  // Lets a mutex taken by TakeNamedMutex go; nothing when it is not held.
  virtual void ReleaseNamedMutex(const std::u16string& name) = 0;

  // The full path of the running program; empty when it cannot be had.
  virtual std::u16string ModulePath() = 0;

  virtual SystemTime GetLocalTime() = 0;

  // Format `time` by `picture` into `buffer` (capacity `size` units, terminating null
  // included), in the manner of GetDateFormatW / GetTimeFormatW for the user's locale.
  // Return the units written including the null, or 0 on failure (then the buffer's
  // contents are unspecified).
  virtual int FormatDate(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                         int size) = 0;
  virtual int FormatTime(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                         int size) = 0;

  // Shows a message box with one OK button and returns once it is dismissed.
  virtual void ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                              BoxKind kind) = 0;

  // Asks the user for a memo in a small box of one line of text with OK and Cancel (Enter
  // is OK, Escape Cancel), titled `caption`, with `prompt` beside the text and `first` as
  // the text when it opens, selected. Waits as long as the user takes. On kGiven, `memo` is
  // the whole text, however long.
  virtual MemoAsked AskForMemo(const std::u16string& caption, const std::u16string& prompt,
                               const std::u16string& first, std::u16string& memo) = 0;

  // The languages the user declared for messages: ISO 639 codes in order of preference,
  // joined by ':' ("de:ja"), empty when none is declared; and in `source` where the system
  // says so, for the user to read ("LANG=en_US.UTF-8"), empty when nothing says anything.
  virtual std::u16string UserLanguages(std::u16string& source) = 0;

  // The system's words for why the last failed operation of this layer failed (a file
  // that could not be opened, written or committed; a clipboard that could not be read
  // or set), for the user to read. Asked right after the failure.
  virtual std::u16string LastErrorText() = 0;

  // The clipboard's Unicode text, in the manner of the Win32 clipboard functions. Every
  // call but OpenClipboard needs the clipboard open; OpenClipboard is false when it
  // cannot be opened.
  virtual bool OpenClipboard() = 0;
  virtual void CloseClipboard() = 0;
  // The clipboard's text up to a terminating null, valid until CloseClipboard; null when
  // the clipboard holds no Unicode text, or holds text that cannot be read (too much of
  // it, or a helper that failed): ClipboardUnreadable tells the two apart.
  virtual const char16_t* GetClipboardData() = 0;
  // Whether the last GetClipboardData found text it could not read. Such text is never to
  // be replaced: it is the user's, and only lost to this run.
  virtual bool ClipboardUnreadable() const = 0;
  // Empties the clipboard. Where the new text replaces the old in one step (the desktop
  // helpers on Linux), it does nothing: the old text stays until a new one is taken.
  virtual void EmptyClipboard() = 0;
  // A block of `units` UTF-16 units; null when it cannot be had.
  virtual std::unique_ptr<TransferBuffer> AllocTransferBuffer(size_t units) = 0;
  // Makes the buffer's text, up to its first null, the clipboard's Unicode text. True when
  // the clipboard took the buffer (`buffer` is then empty); false leaves it with the
  // caller.
  virtual bool SetClipboardData(std::unique_ptr<TransferBuffer>& buffer) = 0;

  // Opens a text file; null when it cannot be opened in that mode.
  virtual std::unique_ptr<TextFile> OpenTextFile(const std::u16string& name, OpenMode mode) = 0;

  // The full name under which the system opens the file `name`, as the user would type
  // it; empty when the name can name no file on this system.
  virtual std::u16string ResolvedPath(const std::u16string& name) = 0;

  // Makes the memo file's name as the settings give it the name to open: on Windows,
  // %NAME% is the environment variable's value. Other names, the settings file's among
  // them, are used as they stand. False, `name` unchanged, when it cannot be done
  // (LastErrorText says why).
  virtual bool ExpandFileName(std::u16string& name) {
    (void)name;  // elsewhere the name stands as it is
    return true;
  }

  // Whether anything (a file, a folder, a link) exists at `name`.
  virtual bool Exists(const std::u16string& name) = 0;

  // Whether nothing exists at `name` and no new file is to be made there: its folder
  // refuses one, for want of permission or on a read-only medium, or it is a folder where
  // programs are installed for everybody. False in every other case, and when that cannot
  // be told.
  virtual bool NewFileRefused(const std::u16string& name) = 0;
  // The settings file named `fileName` (a bare name, "jotlog.ini") in the user's own
  // configuration folder for this program. With `makeFolders`, the folders on the way are
  // made where missing, private to the user where the system knows of that. Empty when
  // the folder cannot be had or made (without `makeFolders`: could not be made).
  virtual std::u16string UserSettingsPath(const std::u16string& fileName, bool makeFolders) = 0;
  // The full name of the user's file of memos that could not be saved where the settings
  // say. With `makeFolders`, the folders on the way are made where missing, private to the
  // user where the system knows of that. Empty when it cannot be had (or made).
  virtual std::u16string UnsavedMemosPath(bool makeFolders) = 0;
};

}  // namespace jotlog
