#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "translator/EmulatorFailure.h"
#include "translator/LineIndex.h"

namespace lumivane {

// Read-only view of one keyboard layout file (<Name>.emu).
//
// Each line "name=n1,n2,..." gives the key codes that type a character (a
// one-byte name) or a named key (longer names, reached through tags). A file
// is mapped read-only, bytes in memory are used where they are. The load
// records where the lines holding a '=' lie (only they can answer a lookup,
// so memory grows with the entries, never with blank or other lines); the
// lookups index them in file order as far as they need. Every answer is the
// one a scan over the lines in file order gives: the first line of a name wins.
class EmulatorTable {
 public:
  static constexpr std::size_t kMinimumFileSize = 10;
  // Far above any keyboard layout; a larger file is refused unread.
  static constexpr std::size_t kMaximumFileSize = 16 * 1024 * 1024;

  // A layout's bytes held by the caller, who keeps them alive as long as the table.
  struct InMemory {
    std::string_view bytes;
  };

  // Loads the file at `path`: only a regular file of at most
  // kMaximumFileSize bytes is opened (CannotOpen, TooLarge), and an empty
  // one cannot be mapped (CannotMap).
  explicit EmulatorTable(const std::string& path);
  // Loads bytes as the file path loads a file's content: TooLarge above
  // kMaximumFileSize, TooShort below kMinimumFileSize (an empty text too).
  explicit EmulatorTable(InMemory layout);
  ~EmulatorTable();
  EmulatorTable(const EmulatorTable&) = delete;
  EmulatorTable& operator=(const EmulatorTable&) = delete;

  bool IsLoaded() const { return loaded_; }
  // Why the load failed; None when it is loaded.
  EmulatorFailure Failure() const { return failure_; }
  // Why the load failed, as a status line puts it after the path ("No such
  // file or directory", "holds only 4 bytes"); empty when it is loaded.
  const std::string& FailureReason() const { return failureReason_; }

  // True when a line of the form "<name>=..." exists; the lookup cursor is
  // then left on that line's '=' for NextNumber.
  bool FindName(const char* name);
  // FindName for the one-character name `c` (a NUL finds nothing): the
  // plain characters of a source, without measuring a string each time.
  bool FindChar(unsigned char c);
  // Next number of the entry found last, or 0 when the list has ended.
  unsigned NextNumber();
  // Name of the first one-character entry whose first number is `code`, or 0.
  // Shares the lookup cursor with FindName/NextNumber.
  unsigned char CharForCode(long code);

  // The names of two bytes or more that a tag can reach (upper case, at
  // most 15 bytes, no blank or '>'), in file order, repeats included.
  std::vector<std::string_view> TagNames() const;

  int LineCount() const { return lineCount_; }
  int EntryCount() const { return entryCount_; }

 private:
  // Where an entry line lies in the text (at most kMaximumFileSize bytes,
  // so 32 bits suffice).
  struct EntryLine {
    std::uint32_t begin;
    std::uint32_t length;
    std::uint32_t nameLength;  // up to the first '='
  };

  // Indexes the text (the mapped file or the caller's bytes) and sets the outcome.
  void Load(const unsigned char* text, std::size_t length);
  void Release();
  bool IndexLines();
  // Readies the indexes; `named`: how many lines have a name of two bytes or more.
  void PrepareIndexes(int named);
  // Adds the next line to the name indexes, which are filled only as far
  // down the file as the lookups need: a source that fails early, or asks
  // only for names near the top, never pays for the rest.
  void IndexNextNameLine();
  std::string_view Entry(int index) const {
    const EntryLine& entry = entries_[static_cast<std::size_t>(index)];
    return {reinterpret_cast<const char*>(view_) + entry.begin, entry.length};
  }
  std::string_view Name(int index) const {
    const EntryLine& entry = entries_[static_cast<std::size_t>(index)];
    return {reinterpret_cast<const char*>(view_) + entry.begin, entry.nameLength};
  }
  // A one-character line: its second byte is the '=' ("a=28", and "==85" too).
  bool IsCodeLine(const EntryLine& entry) const { return entry.length >= 2 && view_[entry.begin + 1] == '='; }
  // The first one-character line whose first number is `code`, or -1.
  int FirstLineWithCode(std::uint32_t code);
  // The first line from `from` on that matches, or -1: the answer without
  // an index, when there is no memory to grow one.
  int ScanFrom(int from, const std::function<bool(int line)>& matches) const;
  // The first number of a one-character line.
  unsigned FirstNumber(const EntryLine& entry) const;
  bool ScanForName(std::string_view name);
  // Leaves the lookup cursor behind the name on `line`; false when it is -1.
  bool FoundAt(int line, std::size_t nameLength);
  unsigned ReadNumberAtCursor();

  void* mapping_ = nullptr;  // the file's mapping, when the table made one
  std::size_t mappingSize_ = 0;
  const unsigned char* view_ = nullptr;
  std::size_t size_ = 0;
  bool loaded_ = false;
  EmulatorFailure failure_ = EmulatorFailure::None;
  std::string failureReason_;
  int lineCount_ = 0;
  int entryCount_ = 0;
  // The lines holding a '=', in file order, without their LF.
  std::vector<EntryLine> entries_;
  int currentLine_ = 0;  // an index into entries_
  std::size_t column_ = 0;
  bool moreNumbers_ = false;

  // Name of two bytes or more (the text before a line's first '=') -> first
  // line of that name. Exact for every name without '='; names holding '='
  // ("=" itself against "==85", or "a=b" against "a=b=1") are rare and take
  // the plain scan.
  LineIndex nameIndex_;
  // The same for one-byte names (the plain characters of a source): line or -1.
  std::array<int, 256> singleCharLine_{};
  // First number of a one-character line -> first such line, directly for
  // the one-byte codes, hashed for the others. Filled by CharForCode, only
  // as far down the file as its answers need: only the PC/AT link asks, for
  // the 16 letter keys, which a layout lists early.
  std::array<int, 256> smallCodeLine_{};
  LineIndex codeIndex_;
  int codeLinesIndexed_ = 0;  // entries_ [0, codeLinesIndexed_) are in the code index
  // Last one-character line; where a failed CharForCode leaves the cursor.
  int lastSingleCharLine_ = -1;
  // First line of the name "=" ("==85"): the '=' of a source, which would
  // otherwise take the plain scan every time.
  int equalsSignLine_ = -1;
  int namesIndexed_ = 0;  // entries_ [0, namesIndexed_) are in the name indexes
  // The first bytes of the names of two bytes or more: a tag's "<01>" asks
  // for a name no line has, and is answered without indexing every name.
  std::array<bool, 256> namesStartWith_{};
};

}  // namespace lumivane
