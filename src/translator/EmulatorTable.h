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
// one-byte name) or a named key (longer names, reached through tags). The file
// is mapped read-only and indexed once at load; every answer is the one a
// scan over the lines in file order gives, so the first line of a name wins.
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

  explicit EmulatorTable(const std::string& path);
  ~EmulatorTable();
  EmulatorTable(const EmulatorTable&) = delete;
  EmulatorTable& operator=(const EmulatorTable&) = delete;

  bool IsLoaded() const { return loaded; }
  int ErrorCode() const { return errorCode; }
  // Why the load failed, as a status line puts it after the path ("No such
  // file or directory", "holds only 4 bytes"); empty when it is loaded.
  const std::string& FailureReason() const { return failureReason; }

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
  // Where an entry line lies in the mapped file (the file is at most
  // kMaximumFileSize bytes, so 32 bits suffice).
  struct EntryLine {
    std::uint32_t begin;
    std::uint32_t length;
  };

  void Release();
  bool IndexLines();
  void BuildIndex();
  std::string_view Entry(int index) const {
    return {reinterpret_cast<const char*>(view) + entries[index].begin, entries[index].length};
  }
  bool ScanForName(std::string_view name);
  unsigned ReadNumberAtCursor();

  int fileDescriptor = -1;
  const unsigned char* view = nullptr;
  std::size_t size = 0;
  bool loaded = false;
  int errorCode = kLoaded;
  std::string failureReason;
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
