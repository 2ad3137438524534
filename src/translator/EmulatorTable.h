#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace lumivane {

// Read-only view of one keyboard layout file (<Name>.emu).
//
// Each line "name=n1,n2,..." gives the key codes that type a character (a
// one-byte name) or a named key (longer names, reached through tags). A file
// is mapped read-only, bytes in memory are used where they are; either is
// indexed once at load, and every answer is the one a scan over the lines in
// file order gives, so the first line of a name wins.
// Only lines holding a '=' can answer a lookup, so only they are indexed:
// memory grows with the entries, never with blank or other lines.
class EmulatorTable {
 public:
  // Why a load failed (ErrorCode()).
  enum : int {
    kLoaded = 0,
    kCannotOpen = 1,
    kCannotMap = 2,
    kTooShort = 3,
    kNoMemory = 4,
    // 5 is the image builder's (a nibble key missing from the layout).
    kTooLarge = 6,
  };
  static constexpr std::size_t kMinimumFileSize = 10;
  // Far above any keyboard layout; a larger file is refused unread.
  static constexpr std::size_t kMaximumFileSize = 16 * 1024 * 1024;

  // A layout's bytes held by the caller, who keeps them alive as long as the table.
  struct InMemory {
    std::string_view bytes;
  };

  // Loads the file at `path`: only a regular file of at most
  // kMaximumFileSize bytes is opened (kCannotOpen, kTooLarge), and an empty
  // one cannot be mapped (kCannotMap).
  explicit EmulatorTable(const std::string& path);
  // Loads bytes as the file path loads a file's content: kTooLarge above
  // kMaximumFileSize, kTooShort below kMinimumFileSize (an empty text too).
  explicit EmulatorTable(InMemory layout);
  ~EmulatorTable();
  EmulatorTable(const EmulatorTable&) = delete;
  EmulatorTable& operator=(const EmulatorTable&) = delete;

  bool IsLoaded() const { return loaded; }
  int ErrorCode() const { return errorCode; }

  // True when a line of the form "<name>=..." exists; the lookup cursor is
  // then left on that line's '=' for NextNumber.
  bool FindName(const char* name);
  // Next number of the entry found last, or 0 when the list has ended.
  unsigned NextNumber();
  // Name of the first one-character entry whose first number is `code`, or 0.
  // Shares the lookup cursor with FindName/NextNumber.
  unsigned char CharForCode(long code);

  int LineCount() const { return lineCount; }
  int EntryCount() const { return entryCount; }

 private:
  // Where an entry line lies in the text (at most kMaximumFileSize bytes,
  // so 32 bits suffice).
  struct EntryLine {
    std::uint32_t begin;
    std::uint32_t length;
  };

  // Indexes the text (the mapped file or the caller's bytes) and sets the outcome.
  void Load(const unsigned char* text, std::size_t length);
  void Release();
  bool IndexLines();
  void BuildIndex();
  std::string_view Entry(int index) const {
    return {reinterpret_cast<const char*>(view) + entries[index].begin, entries[index].length};
  }
  bool ScanForName(std::string_view name);
  unsigned ReadNumberAtCursor();

  void* mapping = nullptr;  // the file's mapping, when the table made one
  std::size_t mappingSize = 0;
  const unsigned char* view = nullptr;
  std::size_t size = 0;
  bool loaded = false;
  int errorCode = kLoaded;
  int lineCount = 0;
  int entryCount = 0;
  // The lines holding a '=', in file order, without their LF.
  EntryLine* entries = nullptr;
  int currentLine = 0;  // an index into entries
  std::size_t column = 0;
  bool moreNumbers = false;

  // Text before the first '=' of a line -> first such line. Exact for every
  // name without '='; names holding '=' ("=" itself against "==85", or
  // "a=b" against "a=b=1") are rare and take the plain scan.
  std::unordered_map<std::string_view, int> nameIndex;
  // The same for one-byte names (the plain characters of a source): line or -1.
  std::array<int, 256> singleCharLine{};
  // First number of a one-character line -> first such line.
  std::unordered_map<unsigned, int> codeIndex;
  // Last one-character line; where a failed CharForCode leaves the cursor.
  int lastSingleCharLine = -1;
};

}  // namespace lumivane
