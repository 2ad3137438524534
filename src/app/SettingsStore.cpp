#include "app/SettingsStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/TextCase.h"

namespace lumivane {
namespace {

// One line of the file, kept exactly as it was so that a write can put every
// line it does not change back unchanged.
struct Line {
  std::string text;    // without its line break
  std::string ending;  // "\n", "\r\n" or "" (last line without a break)
};

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    Line line;
    if (end == std::string::npos) {
      line.text = content.substr(start);
      start = content.size();
    } else {
      line.text = content.substr(start, end - start);
      line.ending = "\n";
      start = end + 1;
    }
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.pop_back();
      line.ending = line.ending.empty() ? "\r" : "\r\n";
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool ParseSectionHeader(const std::string& text, std::string* name) {
  std::string trimmed = Trim(text);
  if (trimmed.empty() || trimmed.front() != '[') return false;
  std::size_t close = trimmed.find(']');
  *name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool ParseKeyLine(const std::string& text, std::string* key, std::string* value) {
  std::string trimmed = Trim(text);
  if (trimmed.empty() || trimmed.front() == ';') return false;
  std::size_t equals = trimmed.find('=');
  if (equals == std::string::npos) return false;
  *key = Trim(trimmed.substr(0, equals));
  *value = Trim(trimmed.substr(equals + 1));
  return true;
}

std::string CleanValue(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > SettingsStore::kMaxValueLength) value.resize(SettingsStore::kMaxValueLength);
  return value;
}

bool LoadLines(const std::string& path, std::vector<Line>* lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  *lines = SplitLines(content.str());
  return true;
}

// The section's lines: [first, end) after its header, or first == -1 when missing.
struct SectionRange {
  int first = -1;
  int end = -1;
};

SectionRange FindSection(const std::vector<Line>& lines, const std::string& section) {
  SectionRange range;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    std::string name;
    if (!ParseSectionHeader(lines[i].text, &name)) continue;
    if (range.first >= 0) {
      range.end = i;
      return range;
    }
    if (EqualsIgnoringCase(name, section)) range.first = i + 1;
  }
  if (range.first >= 0) range.end = static_cast<int>(lines.size());
  return range;
}

int FindKey(const std::vector<Line>& lines, SectionRange range, const std::string& key) {
  for (int i = range.first; i >= 0 && i < range.end; ++i) {
    std::string name, value;
    if (ParseKeyLine(lines[i].text, &name, &value) && EqualsIgnoringCase(name, key)) return i;
  }
  return -1;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A settings file reached through a symbolic link is updated at its target,
// so that the rename does not replace the link with a plain file.
std::string WriteTarget(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  }
  return path;
}

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& content) {
  std::string target = WriteTarget(path);
  std::string dir = DirectoryOf(target);
  std::string base = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
  std::string tempPath = dir + "/." + base + ".XXXXXX";
  int fd = mkstemp(tempPath.data());
  if (fd < 0) return false;

  struct stat existing {};
  mode_t mode = stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : NewFileMode();
  bool ok = fchmod(fd, mode) == 0;
  std::size_t written = 0;
  while (ok && written < content.size()) {
    ssize_t n = write(fd, content.data() + written, content.size() - written);
    if (n < 0) {
      ok = false;
    } else {
      written += static_cast<std::size_t>(n);
    }
  }
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(tempPath.c_str(), target.c_str()) == 0;
  if (!ok) unlink(tempPath.c_str());
  return ok;
}

}  // namespace

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {}

std::string SettingsStore::Read(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  std::vector<Line> lines;
  if (!LoadLines(path_, &lines)) return defaultValue;
  int index = FindKey(lines, FindSection(lines, section), key);
  if (index < 0) return defaultValue;
  std::string name, value;
  ParseKeyLine(lines[index].text, &name, &value);
  return CleanValue(value);
}

std::map<std::string, std::string> SettingsStore::ReadSection(const std::string& section) const {
  std::map<std::string, std::string> entries;
  std::vector<Line> lines;
  if (!LoadLines(path_, &lines)) return entries;
  SectionRange range = FindSection(lines, section);
  for (int i = range.first; i >= 0 && i < range.end; ++i) {
    std::string name, value;
    if (ParseKeyLine(lines[i].text, &name, &value)) entries.emplace(name, CleanValue(value));
  }
  return entries;
}

bool SettingsStore::Write(const std::string& section, const std::string& key,
                          const std::string& value) const {
  std::string cleanValue = value.substr(0, value.find_first_of("\r\n"));
  std::vector<Line> lines;
  LoadLines(path_, &lines);
  std::string ending = (!lines.empty() && lines.front().ending == "\r\n") ? "\r\n" : "\n";
  Line keyLine{key + "=" + cleanValue, ending};

  SectionRange range = FindSection(lines, section);
  int index = FindKey(lines, range, key);
  if (index >= 0) {
    lines[index].text = keyLine.text;
  } else if (range.first >= 0) {
    // After the section's last non-blank line, so blank separators stay below it.
    int insertAt = range.first;
    for (int i = range.first; i < range.end; ++i) {
      if (!Trim(lines[i].text).empty()) insertAt = i + 1;
    }
    if (insertAt > 0 && lines[insertAt - 1].ending.empty()) lines[insertAt - 1].ending = ending;
    lines.insert(lines.begin() + insertAt, keyLine);
  } else {
    if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = ending;
    lines.push_back(Line{"[" + section + "]", ending});
    lines.push_back(keyLine);
  }

  std::string content;
  for (const Line& line : lines) content += line.text + line.ending;
  return ReplaceFileAtomically(path_, content);
}

}  // namespace lumivane
