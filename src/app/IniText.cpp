#include "app/IniText.h"

namespace lumivane::ini {
namespace {

// One line: its text [begin, textEnd) and its break [textEnd, end).
struct Line {
  std::size_t begin = 0;
  std::size_t textEnd = 0;
  std::size_t end = 0;
  bool hasBreak() const { return end > textEnd; }
};

class LineScanner {
 public:
  explicit LineScanner(std::string_view text) : text_(text) {}

  // The next line; nothing at the end of the text.
  std::optional<Line> Next() {
    if (position_ >= text_.size()) return std::nullopt;
    // A UTF-8 byte order mark (an editor's, on Windows) belongs to no line,
    // so the first header is still found; writes keep it where it is.
    if (position_ == 0 && text_.substr(0, 3) == "\xEF\xBB\xBF") position_ = 3;
    Line line;
    line.begin = position_;
    const std::size_t brk = text_.find_first_of("\r\n", position_);
    if (brk == std::string_view::npos) {
      line.textEnd = line.end = text_.size();
    } else {
      line.textEnd = brk;
      const bool crlf = text_[brk] == '\r' && brk + 1 < text_.size() && text_[brk + 1] == '\n';
      line.end = brk + (crlf ? 2 : 1);
    }
    position_ = line.end;
    return line;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNames(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// The section's name when the line is a section header.
std::optional<std::string_view> ParseSectionHeader(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
  const std::size_t close = trimmed.find(']');
  return Trim(trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

// The key and value when the line is a key line.
std::optional<KeyLine> ParseKeyLine(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyLine{Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))};
}

std::string_view TextOf(std::string_view text, const Line& line) {
  return text.substr(line.begin, line.textEnd - line.begin);
}

// Walks the lines of the first section called `section`: visit(line, key,
// value) for each key line, until it returns true. Returns what the walk
// found, for WithValue to place a new key.
struct SectionWalk {
  bool sectionFound = false;
  bool stoppedAtKey = false;
  Line stopLine;         // the key line the visit stopped at
  Line lastNonBlank;     // the header, or the section's last non-blank line
  Line lastLine;         // the file's last line (known when the section is missing)
  bool fileEmpty = true;
};

template <typename Visit>
SectionWalk WalkSection(std::string_view text, std::string_view section, Visit&& visit) {
  SectionWalk walk;
  LineScanner scanner(text);
  bool inSection = false;
  while (const std::optional<Line> next = scanner.Next()) {
    const Line& line = *next;
    walk.fileEmpty = false;
    walk.lastLine = line;
    const std::string_view lineText = TextOf(text, line);
    if (const std::optional<std::string_view> name = ParseSectionHeader(lineText)) {
      // The first section of the name has ended; nothing after it counts.
      if (inSection) return walk;
      if (!walk.sectionFound && EqualNames(*name, section)) {
        inSection = walk.sectionFound = true;
        walk.lastNonBlank = line;
      }
      continue;
    }
    if (!inSection) continue;
    if (!Trim(lineText).empty()) walk.lastNonBlank = line;
    const std::optional<KeyLine> entry = ParseKeyLine(lineText);
    if (entry && visit(entry->key, entry->value)) {
      walk.stoppedAtKey = true;
      walk.stopLine = line;
      return walk;
    }
  }
  return walk;
}

std::string FirstLineBreak(std::string_view text) {
  const std::optional<Line> first = LineScanner(text).Next();
  if (!first || !first->hasBreak()) return "\n";
  return std::string(text.substr(first->textEnd, first->end - first->textEnd));
}

}  // namespace

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
  std::optional<std::string_view> found;
  WalkSection(text, section, [&](std::string_view name, std::string_view value) {
    if (!EqualNames(name, key)) return false;
    found = value;
    return true;
  });
  return found;
}

void ForEachEntry(std::string_view text, std::string_view section,
                  const std::function<void(std::string_view key, std::string_view value)>& visit) {
  WalkSection(text, section, [&](std::string_view key, std::string_view value) {
    visit(key, value);
    return false;
  });
}

std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value) {
  const SectionWalk walk = WalkSection(
      text, section, [&](std::string_view name, std::string_view) { return EqualNames(name, key); });
  const std::string keyLine = std::string(key) + "=" + std::string(value);
  std::string result;
  result.reserve(text.size() + keyLine.size() + section.size() + 8);
  if (walk.stoppedAtKey) {
    result.append(text.substr(0, walk.stopLine.begin));
    result.append(keyLine);
    result.append(text.substr(walk.stopLine.textEnd));
    return result;
  }
  const std::string lineBreak = FirstLineBreak(text);
  if (walk.sectionFound) {
    // After the section's last non-blank line, so blank separators stay below it.
    const Line& after = walk.lastNonBlank;
    const std::string_view rest = text.substr(after.end);
    result.append(text.substr(0, after.end));
    if (!after.hasBreak()) result.append(lineBreak);
    // A bare CR before an empty LF line would join it into one CR LF break,
    // and the empty line would be gone.
    result.append(keyLine + (lineBreak == "\r" && rest.starts_with('\n') ? "\r\n" : lineBreak));
    result.append(rest);
    return result;
  }
  result.append(text);
  if (!walk.fileEmpty && !walk.lastLine.hasBreak()) result.append(lineBreak);
  result.append("[" + std::string(section) + "]" + lineBreak + keyLine + lineBreak);
  return result;
}

}  // namespace lumivane::ini
