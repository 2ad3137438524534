#include "app/SettingsStore.h"

#include <sys/stat.h>

#include <cerrno>

#include "app/IniText.h"
#include "translator/RegularFile.h"

namespace lumivane {
namespace {

bool IsQuoted(std::string_view value) {
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
         value.back() == value.front();
}

std::string Unquoted(std::string_view value) {
  if (IsQuoted(value)) value = value.substr(1, value.size() - 2);
  return std::string(value.substr(0, SettingsStore::kMaxValueLength));
}

// The quotes stay around the value, which is cut inside them.
std::string Quoted(std::string_view value) {
  if (!IsQuoted(value)) return std::string(value.substr(0, SettingsStore::kMaxValueLength));
  return value.front() + Unquoted(value) + value.back();
}

std::string_view WithoutLineBreaks(std::string_view text) { return text.substr(0, text.find_first_of("\r\n")); }

// Creates every missing folder on the way to the file at `path`. A failure
// shows when the file is written.
void CreateFoldersOf(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
}

}  // namespace

SettingsStore::SettingsStore(std::string path, SettingsFolder folder)
    : path_(std::move(path)), folder_(folder) {}

std::string SettingsStore::Load() const {
  ReadableFile file = OpenRegularFile(path_);
  if (file.outcome != OpenOutcome::Opened) return {};
  FileContent content = ReadWhole(file.fd(), kMaxFileSize);
  return content.error == 0 ? std::move(content.bytes) : std::string();
}

std::optional<std::string> SettingsStore::ValueInText(std::string_view text, std::string_view section,
                                                      std::string_view key) {
  const auto value = ini::FindValue(text, section, key);
  if (!value) return std::nullopt;
  return Unquoted(*value);
}

std::string SettingsStore::TextWithValue(std::string_view text, std::string_view section,
                                         std::string_view key, std::string_view value) {
  return ini::WithValue(text, WithoutLineBreaks(section), WithoutLineBreaks(key), WithoutLineBreaks(value));
}

std::string SettingsStore::Read(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  return ValueInText(Load(), section, key).value_or(defaultValue);
}

std::string SettingsStore::ReadQuoted(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const {
  const std::string text = Load();
  const auto value = ini::FindValue(text, section, key);
  return value ? Quoted(*value) : defaultValue;
}

std::map<std::string, std::string> SettingsStore::ReadSection(const std::string& section) const {
  std::map<std::string, std::string> entries;
  const std::string text = Load();
  ini::ForEachEntry(text, section, [&entries](std::string_view key, std::string_view value) {
    entries.emplace(std::string(key), Unquoted(value));
  });
  return entries;
}

ReplaceResult SettingsStore::Write(const std::string& section, const std::string& key,
                                   const std::string& value) const {
  ReplaceOptions options;
  options.maxCurrentSize = kMaxFileSize;
  if (folder_ == SettingsFolder::CreateOnWrite) CreateFoldersOf(path_);
  return ReplaceFile(path_, options, [&](const CurrentFile& current) -> std::optional<std::string> {
    std::string content = TextWithValue(current.content, section, key, value);
    // An unchanged file is left alone: no rewrite, no new inode.
    if (current.exists && content == current.content) return std::nullopt;
    return content;
  });
}

}  // namespace lumivane
