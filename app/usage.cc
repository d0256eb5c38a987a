#include "app/usage.h"

#include <map>
#include <string_view>

#include "app/unsaved.h"
#include "settings/default_settings.h"
#include "settings/keys.h"
#include "text/messages.h"
#include "text/wide_stream.h"

namespace jotlog {

namespace {

// A name as a user may have meant it: without blanks, and in lower case.
std::u16string Loosely(std::u16string_view name) {
  std::u16string loose;
  for (char16_t c : name) {
    if (c == u' ' || c == u'\t' || c == u'\x3000') continue;
    loose += c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
  }
  return loose;
}

std::u16string Number(size_t n) {
  std::u16string digits;
  do digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
  while ((n /= 10) != 0);
  return digits;
}

// The lines of the settings file that a run passes over though they look meant for it:
// keys of section `setting` that are no setting (or are one but for case or blanks),
// later lines of a key, and sections that are `setting` but for case or blanks. Read by
// the same rules as the run reads the file.
std::u16string UnreadLines(Platform& platform, const std::u16string& path) {
  WideFileStream stream(platform, path, OpenMode::kRead);
  if (stream.failed()) return {};
  const std::u16string_view known[] = {keys::kFileName,   keys::kAddFrom,    keys::kShowDialog,
                                       keys::kMemoFormat, keys::kDateFormat, keys::kTimeFormat};
  std::map<std::u16string, size_t> seen;  // key: the line that set it
  std::u16string text;
  bool inSetting = false;
  for (size_t number = 1; !stream.eof(); ++number) {
    std::u16string line = stream.GetLine(SettingsFile::kLineCapacity);
    if (stream.failed() && !stream.eof()) stream.IgnoreRestOfLine();
    if (line.empty() || line[0] == u'#') continue;
    const std::u16string at = u"  line " + Number(number) + u": ";
    if (line[0] == u'[' && line.back() == u']') {
      const std::u16string_view name = std::u16string_view(line).substr(1, line.size() - 2);
      inSetting = name == keys::kSection;
      if (!inSetting && Loosely(name) == keys::kSection) {
        text += at + u"section " + line + u" is not read: only [setting] is\n";
      }
      continue;
    }
    if (!inSetting) continue;
    const std::u16string key = line.substr(0, line.find(u'='));
    bool setting = false;
    std::u16string meant;
    for (std::u16string_view name : known) {
      setting = setting || key == name;
      if (Loosely(key) == Loosely(name)) meant = name;
    }
    if (!setting) {
      text += at + u"\"" + key + u"\" is no setting" +
              (meant.empty() ? u"" : u" (nothing is trimmed and case counts: " + meant + u"?)") +
              u"\n";
    } else if (auto [first, added] = seen.emplace(key, number); !added) {
      text += at + key + u" is set on line " + Number(first->second) +
              u" already: this line is not read\n";
    }
  }
  return text;
}

}  // namespace

std::u16string UsageText(Platform& platform) {
  SettingsFile settings(platform, false);
  settings.SetPath(SettingsPathForRun(platform));
  std::u16string settingsFile;
  std::u16string unread;
  if (settings.path().empty()) {
    settingsFile = BuildSettingsPath(platform).empty()
                       ? u"none: the program's path cannot be had; the built-in settings apply"
                       : u"none: the program's folder takes no new file and the user's "
                         u"configuration folder cannot be made; the built-in settings apply";
  } else if (settings.Load() == 0) {
    settingsFile = settings.path() + u" (read)";
    unread = UnreadLines(platform, settings.path());
  } else if (!platform.Exists(settings.path())) {
    settingsFile = settings.path() + u" (not there yet: a run writes it with the defaults)";
  } else {
    settingsFile = settings.path() + u" (cannot be read: " + platform.LastErrorText() +
                   u"; the built-in settings apply)";
  }
  const std::u16string defaultFileName = keys::kDefaultFileName;
  const std::u16string& fileName =
      settings.GetWithDefault(keys::kSection, keys::kFileName, defaultFileName, false);
  std::u16string memoFile = u"(the clipboard)";
  if (fileName != keys::kClipboard) {
    memoFile = platform.ResolvedPath(fileName);
    if (memoFile.empty()) memoFile = u"(a name with no file)";
  }
  // The messages' language, named in English like the rest of this text, and why.
  std::u16string source;
  const std::u16string languages = platform.UserLanguages(source);
  const std::u16string messages =
      std::u16string(Text(ChooseLanguage(languages), Message::kLanguageName)) + u" (" +
      (source.empty()      ? u"no language is set"
       : languages.empty() ? source + u": no language"
                           : source) +
      u")";
  std::u16string program = platform.ModulePath();
  program = program.substr(program.find_last_of(u"/\\") + 1);
  if (program.empty()) program = u"jotlog";
  return u"Usage: " + program + u" [MEMO]...\n" +
         u"Appends MEMO (or the clipboard's text, as the settings say), stamped with the date\n"
         u"and time, to the memo file, shows whether it was saved, and ends. The exit status\n"
         u"is 0 when the memo was saved, 1 when it was not.\n"
         u"AddFrom=input asks for the memo in a box; a lone - takes it from standard input,\n"
         u"a lone --input asks for it and a lone --clipboard takes the clipboard's text.\n"
         u"  settings file: " +
         settingsFile + u"\n" + u"  memo file:     " + memoFile + u"\n" + u"  unsaved memos: " +
         UnsavedMemosState(platform) + u"\n" + u"  messages:      " + messages + u"\n" +
         (unread.empty() ? u"" : u"Lines of the settings file that no run reads:\n" + unread) +
         program + u" -h or --help prints this; " + program + u" --version prints the version.\n";
}

}  // namespace jotlog
