// libFuzzer target: the settings file's text layer. Writing a value into
// any text changes one key line (or adds it, with its section), keeps every
// other line byte for byte, and reading the key back gives the value as the
// reader returns it.
//
// Input: the section, the key and the value, each ended by a NUL byte, then
// the file's text. Missing names are taken from the program's own settings.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/SettingsStore.h"

namespace {

struct Line {
  std::string_view text;
  std::string_view lineBreak;  // CR LF, LF, CR, or empty on a last line without one
  bool operator==(const Line&) const = default;
};

// Splits at CR LF, LF and a bare CR, as the settings reader does.
std::vector<Line> Lines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t brk = text.find_first_of("\r\n", begin);
    if (brk == std::string_view::npos) {
      lines.push_back({text.substr(begin), {}});
      break;
    }
    const std::size_t length = text.compare(brk, 2, "\r\n") == 0 ? 2 : 1;
    lines.push_back({text.substr(begin, brk - begin), text.substr(brk, length)});
    begin = brk + length;
  }
  return lines;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "settings invariant broken: %s\n", what);
    std::abort();
  }
}

std::string_view UpToLineBreak(std::string_view text) { return text.substr(0, text.find_first_of("\r\n")); }

bool HasOuterBlank(std::string_view name) {
  return !name.empty() && (name.front() == ' ' || name.front() == '\t' || name.back() == ' ' ||
                           name.back() == '\t');
}

// Names a line of the file can carry back: a section without ']', a key that
// does not read as a header or a comment and holds no '='; neither with
// blanks around it, which the reader trims.
bool NamesReadBack(std::string_view section, std::string_view key) {
  if (section.find(']') != std::string_view::npos || HasOuterBlank(section)) return false;
  if (key.find('=') != std::string_view::npos || HasOuterBlank(key)) return false;
  return key.empty() || (key.front() != '[' && key.front() != ';');
}

// The value as the reader returns it: cut at the first line break, trimmed of
// blanks and tabs, one pair of enclosing quotes removed, at most 259 characters.
std::string ValueAsRead(std::string_view value) {
  value = UpToLineBreak(value);
  const std::size_t first = value.find_first_not_of(" \t");
  value = first == std::string_view::npos ? std::string_view() : value.substr(first);
  value = value.substr(0, value.find_last_not_of(" \t") + 1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, lumivane::SettingsStore::kMaxValueLength));
}

// The lines between the common head and tail of before and after may differ
// only by the written key line replacing one line, or by added lines (the
// key line, and its section's header when the section was missing), and by a
// last line that gained a line break before them.
void CheckOtherLinesKept(std::string_view before, std::string_view after, std::string_view section,
                         std::string_view key, std::string_view value) {
  const std::vector<Line> in = Lines(before);
  const std::vector<Line> out = Lines(after);
  std::size_t head = 0;
  while (head < in.size() && head < out.size() && in[head] == out[head]) ++head;
  std::size_t tail = 0;
  while (head + tail < in.size() && head + tail < out.size() &&
         in[in.size() - 1 - tail] == out[out.size() - 1 - tail]) {
    ++tail;
  }
  const std::vector<Line> removed(in.begin() + static_cast<std::ptrdiff_t>(head),
                                  in.end() - static_cast<std::ptrdiff_t>(tail));
  std::vector<Line> added(out.begin() + static_cast<std::ptrdiff_t>(head),
                          out.end() - static_cast<std::ptrdiff_t>(tail));
  Check(removed.size() <= 1, "at most one line changes");

  const std::string keyLine = std::string(UpToLineBreak(key)) + "=" + std::string(UpToLineBreak(value));
  const std::string header = "[" + std::string(UpToLineBreak(section)) + "]";
  if (removed.size() == 1 && added.size() == 1 && added[0].text == keyLine &&
      added[0].lineBreak == removed[0].lineBreak) {
    return;  // the key's line rewritten in place, its line break kept
  }
  const std::string_view newBreak = !in.empty() && !in[0].lineBreak.empty() ? in[0].lineBreak : "\n";
  if (removed.size() == 1) {
    Check(removed[0].lineBreak.empty(), "only a last line without a break changes when lines are added");
    Check(!added.empty() && added[0].text == removed[0].text && added[0].lineBreak == newBreak,
          "the last line only gains a line break");
    added.erase(added.begin());
  }
  int keyLines = 0;
  int headers = 0;
  for (const Line& line : added) {
    // A bare CR becomes CR LF where it would join the LF of an empty line below.
    Check(line.lineBreak == newBreak || (newBreak == "\r" && line.lineBreak == "\r\n"),
          "added lines end with the file's first line break");
    if (line.text == keyLine) {
      ++keyLines;
    } else {
      Check(line.text == header, "only the key line and its section's header are added");
      ++headers;
    }
  }
  Check(added.empty() || (keyLines == 1 && headers <= 1), "one key line, at most one header");
}

std::string_view TakeField(std::string_view& rest, std::string_view fallback) {
  const std::size_t end = rest.find('\0');
  if (end == std::string_view::npos) return fallback;
  const std::string_view field = rest.substr(0, end);
  rest.remove_prefix(end + 1);
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view section = TakeField(rest, "Quintrel");
  const std::string_view key = TakeField(rest, "FileToDownload");
  const std::string_view value = TakeField(rest, "/home/user/Kasse 1.pos");
  const std::string_view text = rest;

  using lumivane::SettingsStore;
  const std::string written = SettingsStore::TextWithValue(text, section, key, value);
  CheckOtherLinesKept(text, written, section, key, value);
  const std::string_view readSection = UpToLineBreak(section);
  const std::string_view readKey = UpToLineBreak(key);
  if (NamesReadBack(readSection, readKey)) {
    const std::optional<std::string> read = SettingsStore::ValueInText(written, readSection, readKey);
    Check(read.has_value(), "the written key is found");
    Check(*read == ValueAsRead(value), "the value reads back as written");
    Check(SettingsStore::TextWithValue(written, section, key, value) == written,
          "writing the same value again changes nothing");
  }
  return 0;
}
