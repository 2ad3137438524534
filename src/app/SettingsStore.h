#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "app/FileReplacement.h"

namespace lumivane {

// Whether a write may create the settings file's missing folders.
enum class SettingsFolder { MustExist, CreateOnWrite };

// The settings file in INI form ("[Section]" lines, then "Key=Value" lines;
// CR LF, LF or a bare CR ends a line). Section and key names compare without
// regard to letter case; the first match counts. Values are read trimmed, a
// pair of enclosing quotes removed, and cut to kMaxValueLength characters.
// A missing file, section or key gives the caller's default; so does a file
// that cannot be read, or a path that leads to no regular file (a FIFO or a
// device is never opened). Nothing is cached: every call reads the file.
class SettingsStore {
 public:
  static constexpr std::size_t kMaxValueLength = 259;
  // Far above any settings file; a larger one is neither read nor replaced.
  static constexpr std::size_t kMaxFileSize = 4 * 1024 * 1024;

  // With CreateOnWrite a write first creates the missing folders of the
  // path, each with mode 0700 as the XDG base directory rules ask; folders
  // that exist keep their mode.
  explicit SettingsStore(std::string path, SettingsFolder folder = SettingsFolder::MustExist);

  const std::string& path() const { return path_; }

  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue) const;
  // As Read, but enclosing quotes stay: for a value that is split into
  // words later, where "/opt/My Editor/edit" in quotes is one word.
  std::string ReadQuoted(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;

  // Replaces the key's value, or adds the key (and the section, and the
  // file). Every other byte of the file stays as it was; the file is
  // replaced atomically through its symbolic links, keeping its owner, group
  // and mode, serialised with other writers (see ReplaceFile). A file that
  // exists but cannot be read, or that the user may not write, is never
  // replaced. A value is cut at its first line break, so it cannot add lines.
  ReplaceResult Write(const std::string& section, const std::string& key, const std::string& value) const;

  // Every key of a section with its value (cut like Read); the first
  // occurrence of a key wins. Empty when the section is missing.
  std::map<std::string, std::string> ReadSection(const std::string& section) const;

  // The text layer of Read and Write, on a file's content held in memory.
  // ValueInText gives what Read gives for the key (nothing when it is missing);
  // TextWithValue the content Write stores (line breaks cut from the names
  // and the value).
  static std::optional<std::string> ValueInText(std::string_view text, std::string_view section,
                                                std::string_view key);
  static std::string TextWithValue(std::string_view text, std::string_view section,
                                   std::string_view key, std::string_view value);

 private:
  // The file's text; empty when it is missing or cannot be read.
  std::string Load() const;

  std::string path_;
  SettingsFolder folder_;
};

}  // namespace lumivane
