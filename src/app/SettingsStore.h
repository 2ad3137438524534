#pragma once
#include <map>
#include <string>

namespace lumivane {

// The settings file in INI form ("[Section]" lines, then "Key=Value" lines).
// Section and key names compare without regard to letter case; the first
// match counts. Values are read trimmed, a pair of enclosing quotes removed,
// and cut to kMaxValueLength characters. A missing file, section or key
// gives the caller's default. Nothing is cached: every call reads the file.
class SettingsStore {
 public:
  static constexpr std::size_t kMaxValueLength = 259;

  explicit SettingsStore(std::string path);

  const std::string& path() const { return path_; }

  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue) const;

  // Replaces the key's value, or adds the key (and the section, and the file).
  // Every other line of the file stays as it was. The file is replaced
  // atomically: a temporary file in the same directory, then a rename.
  // A value is cut at its first line break, so it cannot add lines.
  // Returns false when the file could not be written.
  bool Write(const std::string& section, const std::string& key, const std::string& value) const;

  // Every key of a section with its value (cut like Read); the first
  // occurrence of a key wins. Empty when the section is missing.
  std::map<std::string, std::string> ReadSection(const std::string& section) const;

 private:
  std::string path_;
};

}  // namespace lumivane
