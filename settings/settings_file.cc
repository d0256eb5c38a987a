#include "settings/settings_file.h"

namespace jotlog {

namespace {
constexpr char16_t kSectionMissing[] = u"セクション[%s]が見つかりません。";
constexpr char16_t kKeyMissing[] = u"キー[%s]が見つかりません。";
}  // namespace

NotFoundError::NotFoundError(std::u16string_view messageTemplate, const std::u16string& name) {
  size_t at = messageTemplate.find(u"%s");
  message_.assign(messageTemplate.substr(0, at));
  if (at != std::u16string_view::npos) {
    message_ += name;
    message_ += messageTemplate.substr(at + 2);
  }
  if (message_.size() > kMessageCapacity - 1) message_.resize(kMessageCapacity - 1);
}

void SettingsFile::Clear() {
  sectionIndex_.clear();
  sections_.clear();
  openFailed_ = 0;
}

SettingsFile::Sections::iterator SettingsFile::FindSection(const std::u16string& name) {
  auto found = sectionIndex_.find(name);
  if (found != sectionIndex_.end()) return found->second;
  throw NotFoundError(kSectionMissing, name);
}

SettingsFile::Entries::iterator SettingsFile::FindKey(Entries& entries, const std::u16string& key) {
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (it->key == key) return it;
  }
  throw NotFoundError(kKeyMissing, key);
}

SettingsFile::Entries& SettingsFile::FindOrAddSection(const std::u16string& name, bool create) {
  try {
    return FindSection(name)->entries;
  } catch (const NotFoundError&) {
    if (!create) throw;
  }
  // Build the section completely before linking it in.
  Sections added(1);
  added.front().name = name;
  auto& place = sectionIndex_[name];
  sections_.splice(sections_.end(), added);
  place = std::prev(sections_.end());
  return place->entries;
}

const std::u16string& SettingsFile::Get(const std::u16string& section, const std::u16string& key) {
  return FindKey(FindOrAddSection(section, false), key)->value;
}

int SettingsFile::Set(const std::u16string& section, const std::u16string& key,
                      const std::u16string& value, bool noOverwrite) {
  Entries& entries = FindOrAddSection(section, true);
  try {
    auto found = FindKey(entries, key);
    if (noOverwrite) return 0;
    found->value = value;
    return 1;
  } catch (const NotFoundError&) {
    entries.push_back(SettingsEntry{key, value});
    return 1;
  }
}

void SettingsFile::AddEntry(const std::u16string& section, const std::u16string& key,
                            const std::u16string& value) {
  FindOrAddSection(section, true).push_back(SettingsEntry{key, value});
}

const std::u16string& SettingsFile::GetWithDefault(const std::u16string& section,
                                                   const std::u16string& key,
                                                   const std::u16string& defaultValue,
                                                   bool addIfMissing) {
  try {
    return Get(section, key);
  } catch (const NotFoundError&) {
    if (addIfMissing) Set(section, key, defaultValue, false);
  }
  return defaultValue;
}

}  // namespace jotlog
