#include "translator/EmulatorTable.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <new>

#include "common/SystemErrorText.h"

#include "translator/RegularFile.h"

namespace lumivane {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

EmulatorTable::EmulatorTable(const std::string& path) {
  // Only a regular file is opened; a FIFO or device would block or never end.
  const ReadableFile file = OpenRegularFile(path);
  if (file.outcome != OpenOutcome::Opened) {
    failure_ = EmulatorFailure::CannotOpen;
    failureReason_ = UnopenedReason(file);
    return;
  }
  if (static_cast<std::uint64_t>(file.info.st_size) > kMaximumFileSize) {
    failure_ = EmulatorFailure::TooLarge;
    failureReason_ = "larger than " + std::to_string(kMaximumFileSize / (1024 * 1024)) + " MiB";
    return;
  }
  const auto length = static_cast<std::size_t>(file.info.st_size);
  // An empty file cannot be mapped, so it ends here, not as too short. The
  // mapping outlives the descriptor, which the file closes.
  void* mapped = length == 0 ? MAP_FAILED : ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, file.fd(), 0);
  if (mapped == MAP_FAILED) {
    const int mapError = errno;
    failure_ = EmulatorFailure::CannotMap;
    failureReason_ = length == 0 ? std::string("the file is empty") : SystemErrorText(mapError);
    return;
  }
  mapping_ = mapped;
  mappingSize_ = length;
  Load(static_cast<const unsigned char*>(mapped), length);
}

EmulatorTable::EmulatorTable(InMemory layout) {
  if (layout.bytes.size() > kMaximumFileSize) {
    failure_ = EmulatorFailure::TooLarge;
    failureReason_ = "larger than " + std::to_string(kMaximumFileSize / (1024 * 1024)) + " MiB";
    return;
  }
  Load(reinterpret_cast<const unsigned char*>(layout.bytes.data()), layout.bytes.size());
}

void EmulatorTable::Load(const unsigned char* text, std::size_t length) {
  view_ = text;
  size_ = length;
  if (size_ < kMinimumFileSize) {
    failureReason_ = "holds only " + std::to_string(size_) + " bytes, too few for a layout";
    Release();
    failure_ = EmulatorFailure::TooShort;
    return;
  }
  if (!IndexLines()) {
    Release();
    failure_ = EmulatorFailure::NoMemory;
    failureReason_ = "not enough memory to index its entries";
    return;
  }
  loaded_ = true;
}

bool EmulatorTable::IndexLines() {
  const char* text = reinterpret_cast<const char*>(view_);
  try {
    // One pass over the lines, recording those with a '='. The last byte
    // never separates: a file ending with LF has no empty line after it.
    lineCount_ = 0;
    int named = 0;
    // Layout lines are short: this spares the growth steps, and stays small for a huge file.
    entries_.reserve(size_ / 8 < 4096 ? size_ / 8 + 1 : 4096);
    std::size_t start = 0;
    for (;;) {
      const void* lf = std::memchr(text + start, '\n', size_ - start);
      const std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - text) : size_;
      ++lineCount_;
      if (const void* equals = std::memchr(text + start, '=', end - start)) {
        const auto nameLength = static_cast<std::uint32_t>(static_cast<const char*>(equals) - (text + start));
        entries_.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start), nameLength});
        if (nameLength > 1) {
          ++named;
          namesStartWith_[static_cast<unsigned char>(text[start])] = true;
        }
      }
      if (end + 1 >= size_) break;  // no LF left, or the LF is the last byte
      start = end + 1;
    }
    entryCount_ = static_cast<int>(entries_.size());
    PrepareIndexes(named);
  } catch (const std::bad_alloc&) {
    // The lines and indexes are plain containers; running out of memory for
    // them is a failed load like any other, not a crash.
    return false;
  }
  return true;
}

EmulatorTable::~EmulatorTable() { Release(); }

void EmulatorTable::Release() {
  entries_.clear();
  entryCount_ = 0;
  nameIndex_.Clear();
  codeIndex_.Clear();
  if (mapping_) ::munmap(mapping_, mappingSize_);
  mapping_ = nullptr;
  view_ = nullptr;
  size_ = 0;
  loaded_ = false;
}

namespace {

// Room for every key of an index up front, as long as that stays small: a
// huge file of repeated names must not cost memory per line.
constexpr int kReservedKeys = 4096;

}  // namespace

void EmulatorTable::PrepareIndexes(int named) {
  singleCharLine_.fill(-1);
  smallCodeLine_.fill(-1);
  nameIndex_.Reserve(static_cast<std::size_t>(named < kReservedKeys ? named : kReservedKeys));
  for (int i = entryCount_ - 1; i >= 0 && lastSingleCharLine_ < 0; --i) {
    if (IsCodeLine(entries_[static_cast<std::size_t>(i)])) lastSingleCharLine_ = i;
  }
}

void EmulatorTable::IndexNextNameLine() {
  const int i = namesIndexed_;
  const EntryLine& entry = entries_[static_cast<std::size_t>(i)];
  if (entry.nameLength == 1) {
    int& single = singleCharLine_[view_[entry.begin]];
    if (single < 0) single = i;
  } else if (entry.nameLength > 1) {
    const std::string_view name = Name(i);
    nameIndex_.Add(LineIndex::HashOf(name), i, [&](int held) { return Name(held) == name; });
  } else if (equalsSignLine_ < 0 && IsCodeLine(entry)) {
    equalsSignLine_ = i;
  }
  ++namesIndexed_;  // only now: a line whose name found no room stays unindexed
}

int EmulatorTable::ScanFrom(int from, const std::function<bool(int line)>& matches) const {
  for (int i = from; i < entryCount_; ++i) {
    if (matches(i)) return i;
  }
  return -1;
}

int EmulatorTable::FirstLineWithCode(std::uint32_t code) {
  int found = code < smallCodeLine_.size() ? smallCodeLine_[code] : codeIndex_.Find(code, [](int) { return true; });
  // The lines not yet looked at come after every indexed one, so the first
  // of them with the code is the first line of the file with it.
  try {
    while (found < 0 && codeLinesIndexed_ < entryCount_) {
      const int line = codeLinesIndexed_;
      const EntryLine& entry = entries_[static_cast<std::size_t>(line)];
      if (IsCodeLine(entry)) {
        const unsigned lineCode = FirstNumber(entry);
        if (lineCode >= smallCodeLine_.size()) {
          codeIndex_.Add(lineCode, line, [](int) { return true; });
        } else if (smallCodeLine_[lineCode] < 0) {
          smallCodeLine_[lineCode] = line;
        }
        if (lineCode == code) found = line;
      }
      ++codeLinesIndexed_;  // only now: a line whose code found no room stays unindexed
    }
  } catch (const std::bad_alloc&) {
    // No memory to index further: the rest is scanned instead, same answer.
    found = ScanFrom(codeLinesIndexed_, [&](int line) {
      const EntryLine& entry = entries_[static_cast<std::size_t>(line)];
      return IsCodeLine(entry) && FirstNumber(entry) == code;
    });
  }
  return found;
}

unsigned EmulatorTable::FirstNumber(const EntryLine& entry) const {
  // As ReadNumberAtCursor reads it from behind the '=': at most 9 digits.
  const char* line = reinterpret_cast<const char*>(view_) + entry.begin;
  unsigned value = 0;
  for (std::uint32_t column = 2; column < entry.length && column < 11 && IsDigit(line[column]); ++column) {
    value = value * 10 + static_cast<unsigned>(line[column] - '0');
  }
  return value;
}

bool EmulatorTable::ScanForName(std::string_view name) {
  for (int i = 0; i < entryCount_; ++i) {
    const std::string_view line = Entry(i);
    if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 &&
        line[name.size()] == '=') {
      return FoundAt(i, name.size());
    }
  }
  return false;
}

bool EmulatorTable::FoundAt(int line, std::size_t nameLength) {
  if (line < 0) return false;
  currentLine_ = line;
  column_ = nameLength;
  moreNumbers_ = true;
  return true;
}

bool EmulatorTable::FindName(const char* name) {
  if (!loaded_ || !name || !*name) return false;
  moreNumbers_ = false;
  const std::string_view wanted(name);
  if (wanted.size() == 1) return FindChar(static_cast<unsigned char>(wanted[0]));
  if (wanted.find('=') != std::string_view::npos) return ScanForName(wanted);
  // No longer name starts with this byte (a key number of a tag, mostly).
  if (!namesStartWith_[static_cast<unsigned char>(wanted[0])]) return false;
  // Without '=' in the name, a line matches exactly when the text before its
  // first '=' equals the name.
  const std::uint32_t key = LineIndex::HashOf(wanted);
  int line = nameIndex_.Find(key, [&](int held) { return Name(held) == wanted; });
  try {
    // The lines not yet indexed come after every indexed one: the first of
    // them with the name is the first line of the file with it.
    while (line < 0 && namesIndexed_ < entryCount_) {
      const int next = namesIndexed_;
      IndexNextNameLine();
      if (Name(next) == wanted) line = next;
    }
  } catch (const std::bad_alloc&) {
    // No memory to index further: the rest is scanned instead, same answer.
    line = ScanFrom(namesIndexed_, [&](int i) { return Name(i) == wanted; });
  }
  return FoundAt(line, wanted.size());
}

bool EmulatorTable::FindChar(unsigned char c) {
  if (!loaded_ || c == 0) return false;
  moreNumbers_ = false;
  // "=" is the name of a line starting "==", which the first '=' rule misses.
  const int& indexed = c == '=' ? equalsSignLine_ : singleCharLine_[c];
  try {
    while (indexed < 0 && namesIndexed_ < entryCount_) IndexNextNameLine();
  } catch (const std::bad_alloc&) {
    // No memory to index further: the rest is scanned instead, same answer.
    return FoundAt(ScanFrom(namesIndexed_, [&](int i) {
                     const EntryLine& entry = entries_[static_cast<std::size_t>(i)];
                     return c == '=' ? entry.nameLength == 0 && IsCodeLine(entry)
                                     : entry.nameLength == 1 && view_[entry.begin] == c;
                   }),
                   1);
  }
  return FoundAt(indexed, 1);
}

unsigned EmulatorTable::ReadNumberAtCursor() {
  const EntryLine& entry = entries_[static_cast<std::size_t>(currentLine_)];
  const char* line = reinterpret_cast<const char*>(view_) + entry.begin;
  ++column_;  // over the '=' or the ','
  unsigned value = 0;
  for (int digits = 0; digits < 9 && column_ < entry.length && IsDigit(line[column_]); ++digits) {
    value = value * 10 + static_cast<unsigned>(line[column_] - '0');
    ++column_;
  }
  // A tenth digit, a blank, a CR or the line end all end the list.
  if (column_ >= entry.length || line[column_] != ',') moreNumbers_ = false;
  return value;
}

unsigned EmulatorTable::NextNumber() {
  if (!loaded_ || !moreNumbers_) return 0;
  return ReadNumberAtCursor();
}

unsigned char EmulatorTable::CharForCode(long code) {
  if (!loaded_) return 0;
  if (lastSingleCharLine_ < 0) return 0;
  int found = -1;
  if (code >= 0 && static_cast<unsigned long>(code) <= std::numeric_limits<std::uint32_t>::max()) {
    found = FirstLineWithCode(static_cast<std::uint32_t>(code));
  }
  const bool hit = found >= 0;
  // Leave the cursor where a scan in file order would: behind the first
  // number of the matching line, or of the last one-character line.
  currentLine_ = hit ? found : lastSingleCharLine_;
  column_ = 1;
  moreNumbers_ = true;
  ReadNumberAtCursor();
  return hit ? static_cast<unsigned char>(Entry(currentLine_)[0]) : 0;
}

std::vector<std::string_view> EmulatorTable::TagNames() const {
  std::vector<std::string_view> names;
  for (int i = 0; i < static_cast<int>(entries_.size()); ++i) {
    const std::string_view name = Name(i);
    if (name.size() < 2 || name.size() > 15) continue;
    bool reachable = true;
    for (const char c : name) reachable = reachable && !(c >= 'a' && c <= 'z') && c != ' ' && c != '>';
    if (reachable) names.push_back(name);
  }
  return names;
}

}  // namespace lumivane
