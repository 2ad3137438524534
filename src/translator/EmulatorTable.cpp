#include "translator/EmulatorTable.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "translator/RegularFile.h"

namespace lumivane {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

EmulatorTable::EmulatorTable(const std::string& path) {
  // Only a regular file is opened; a FIFO or device would block or never end.
  ReadableFile file = OpenRegularFile(path);
  if (file.outcome != OpenOutcome::Opened) {
    errorCode = kCannotOpen;
    failureReason = UnopenedReason(file);
    return;
  }
  if (static_cast<std::uint64_t>(file.info.st_size) > kMaximumFileSize) {
    errorCode = kTooLarge;
    failureReason = "larger than " + std::to_string(kMaximumFileSize / (1024 * 1024)) + " MiB";
    return;
  }
  fileDescriptor = file.Release();
  size = static_cast<std::size_t>(file.info.st_size);
  void* mapped = size == 0 ? MAP_FAILED
                           : ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fileDescriptor, 0);
  if (mapped == MAP_FAILED) {
    // An empty file cannot be mapped either, so it ends here, not as too short.
    const int mapError = errno;
    Release();
    errorCode = kCannotMap;
    failureReason = size == 0 ? std::string("the file is empty") : ErrnoText(mapError);
    return;
  }
  view = static_cast<const unsigned char*>(mapped);
  if (size < kMinimumFileSize) {
    Release();
    errorCode = kTooShort;
    failureReason = "holds only " + std::to_string(size) + " bytes, too few for a layout";
    return;
  }
  if (!IndexLines()) {
    Release();
    errorCode = kNoMemory;
    failureReason = "not enough memory to index its entries";
    return;
  }
  loaded = true;
}

bool EmulatorTable::IndexLines() {
  const char* text = reinterpret_cast<const char*>(view);
  // Two passes over the lines: count, then record the entry lines. The last
  // byte never separates: a file ending with LF has no empty line after it.
  auto forEachLine = [&](auto&& visit) {
    std::size_t start = 0;
    for (;;) {
      const void* lf = std::memchr(text + start, '\n', size - start);
      const std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - text) : size;
      visit(start, end - start);
      if (end + 1 >= size) return;  // no LF left, or the LF is the last byte
      start = end + 1;
    }
  };
  lineCount = 0;
  entryCount = 0;
  forEachLine([&](std::size_t start, std::size_t length) {
    ++lineCount;
    if (std::memchr(text + start, '=', length) != nullptr) ++entryCount;
  });
  entries = new (std::nothrow) EntryLine[static_cast<std::size_t>(entryCount)];
  if (!entries) return false;
  int next = 0;
  forEachLine([&](std::size_t start, std::size_t length) {
    if (std::memchr(text + start, '=', length) == nullptr) return;
    entries[next++] = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(length)};
  });
  try {
    BuildIndex();
  } catch (const std::bad_alloc&) {
    // The indexes are plain containers; running out of memory for them is a
    // failed load like any other, not a crash.
    return false;
  }
  return true;
}

EmulatorTable::~EmulatorTable() { Release(); }

void EmulatorTable::Release() {
  delete[] entries;
  entries = nullptr;
  nameIndex.clear();
  codeIndex.clear();
  if (view) ::munmap(const_cast<unsigned char*>(view), size);
  view = nullptr;
  if (fileDescriptor >= 0) ::close(fileDescriptor);
  fileDescriptor = -1;
  loaded = false;
}

void EmulatorTable::BuildIndex() {
  for (int& line : singleCharLine) line = -1;
  for (int i = 0; i < entryCount; ++i) {
    const std::string_view line = Entry(i);
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && equals > 0) {
      nameIndex.emplace(line.substr(0, equals), i);  // keeps the first line
      int& single = singleCharLine[static_cast<unsigned char>(line[0])];
      if (equals == 1 && single < 0) single = i;
    }
    if (line.size() >= 2 && line[1] == '=') {
      currentLine = i;
      column = 1;
      moreNumbers = true;
      codeIndex.emplace(ReadNumberAtCursor(), i);
      lastSingleCharLine = i;
    }
  }
  currentLine = 0;
  column = 0;
  moreNumbers = false;
}

bool EmulatorTable::ScanForName(std::string_view name) {
  for (int i = 0; i < entryCount; ++i) {
    const std::string_view line = Entry(i);
    if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 &&
        line[name.size()] == '=') {
      currentLine = i;
      column = name.size();
      moreNumbers = true;
      return true;
    }
  }
  return false;
}

bool EmulatorTable::FindName(const char* name) {
  if (!loaded || !name || !*name) return false;
  moreNumbers = false;
  const std::string_view wanted(name);
  if (wanted.find('=') != std::string_view::npos) return ScanForName(wanted);
  // Without '=' in the name, a line matches exactly when the text before its
  // first '=' equals the name.
  int line = -1;
  if (wanted.size() == 1) {
    line = singleCharLine[static_cast<unsigned char>(wanted[0])];
  } else if (const auto found = nameIndex.find(wanted); found != nameIndex.end()) {
    line = found->second;
  }
  if (line < 0) return false;
  currentLine = line;
  column = wanted.size();
  moreNumbers = true;
  return true;
}

unsigned EmulatorTable::ReadNumberAtCursor() {
  const std::string_view line = Entry(currentLine);
  ++column;  // over the '=' or the ','
  unsigned value = 0;
  for (int digits = 0; digits < 9 && column < line.size() && IsDigit(line[column]); ++digits) {
    value = value * 10 + static_cast<unsigned>(line[column] - '0');
    ++column;
  }
  // A tenth digit, a blank, a CR or the line end all end the list.
  if (column >= line.size() || line[column] != ',') moreNumbers = false;
  return value;
}

unsigned EmulatorTable::NextNumber() {
  if (!loaded || !moreNumbers) return 0;
  return ReadNumberAtCursor();
}

unsigned char EmulatorTable::CharForCode(long code) {
  if (!loaded) return 0;
  if (lastSingleCharLine < 0) return 0;
  const auto found = code >= 0 ? codeIndex.find(static_cast<unsigned>(code)) : codeIndex.end();
  const bool hit = found != codeIndex.end() && static_cast<long>(found->first) == code;
  // Leave the cursor where a scan in file order would: behind the first
  // number of the matching line, or of the last one-character line.
  currentLine = hit ? found->second : lastSingleCharLine;
  column = 1;
  moreNumbers = true;
  ReadNumberAtCursor();
  return hit ? static_cast<unsigned char>(Entry(currentLine)[0]) : 0;
}

}  // namespace lumivane
