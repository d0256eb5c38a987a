// The in-memory settings: an ordered list of named sections, each an ordered list of
// key/value pairs. Lookups are exact (case-sensitive, nothing trimmed) and take the
// first match. Nothing is ever written back to disk.
#pragma once

#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace jotlog {

struct SettingsEntry {
  std::u16string key;
  std::u16string value;
};

struct SettingsSection {
  std::u16string name;
  std::list<SettingsEntry> entries;
};

// A failed section or key lookup. Raised and caught inside the store only.
class NotFoundError {
 public:
  // Capacity of the message buffer in UTF-16 units, terminating null included.
  static constexpr size_t kMessageCapacity = 512;

  // `messageTemplate` holds one "%s", replaced by `name`; the result is cut to fit the
  // buffer.
  NotFoundError(std::u16string_view messageTemplate, const std::u16string& name);

  const std::u16string& message() const { return message_; }

 private:
  std::u16string message_;
};

class SettingsFile {
 public:
  using Sections = std::list<SettingsSection>;
  using Entries = std::list<SettingsEntry>;

  // Capacity of the line buffer in UTF-16 units, terminator included.
  static constexpr size_t kLineCapacity = 1024;

  // Takes its path from the program's own (`moduleHandle` stands for the running
  // program) and, with `loadNow`, loads the file at once.
  SettingsFile(Platform& moduleHandle, bool loadNow);
  ~SettingsFile() { Clear(); }

  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  const std::u16string& path() const { return path_; }
  // Points the store at another file, for the next Load.
  void SetPath(std::u16string path) { path_ = std::move(path); }
  int openFailed() const { return openFailed_; }
  const Sections& sections() const { return sections_; }

  // Drops every section and resets openFailed; the path stays.
  void Clear();

  // Clears the store and fills it from the file at path(), line by line: a line over
  // 1023 units keeps its first 1023 (a high surrogate cut from its pair becoming U+FFFD),
  // the rest of it is skipped. Only section `setting` and the first entry of each key
  // in it are kept, as nothing else is ever looked up. Returns openFailed: 1 when the
  // file cannot be opened (the store stays empty), else 0.
  int Load();

  Platform& platform() { return platform_; }

  // Appends (key, value) to the section, which is appended first when missing. Never
  // merges, replaces or drops an entry.
  void AddEntry(const std::u16string& section, const std::u16string& key,
                const std::u16string& value);

  // The stored value, or `defaultValue` itself when the section or key is missing; with
  // `addIfMissing` a miss also stores the default. The reference is to the store's value
  // on a hit and to the caller's object on a miss.
  const std::u16string& GetWithDefault(const std::u16string& section, const std::u16string& key,
                                       const std::u16string& defaultValue, bool addIfMissing);

  // The lookups underneath. Each raises NotFoundError on a miss.
  Sections::iterator FindSection(const std::u16string& name);
  static Entries::iterator FindKey(Entries& entries, const std::u16string& key);
  Entries& FindOrAddSection(const std::u16string& name, bool create);
  const std::u16string& Get(const std::u16string& section, const std::u16string& key);
  // Stores the value in the first entry of that key, or appends the entry when the key
  // is missing. Returns 1 when the value was stored, 0 when `noOverwrite` left it alone.
  int Set(const std::u16string& section, const std::u16string& key, const std::u16string& value,
          bool noOverwrite);

 private:
  Platform& platform_;
  std::u16string path_;
  Sections sections_;
  // Where each section stands in `sections_`, so that a file naming very many sections
  // still loads in linear time. Names are unique, so this finds what a walk would.
  std::unordered_map<std::u16string, Sections::iterator> sectionIndex_;
  int openFailed_ = 0;
};

// The settings file for the running program: its path with an extension of three
// characters replaced by "ini" (memo.EXE -> memo.ini), or with ".ini" appended when its
// file name has no such extension (jotlog -> jotlog.ini). Empty when the program's path
// cannot be had.
std::u16string BuildSettingsPath(Platform& moduleHandle);

}  // namespace jotlog
