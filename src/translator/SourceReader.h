#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace lumivane {

// Delivers a configuration source one byte at a time. Line ends (LF, CR) are
// dropped and counted; every other byte, NUL and TAB included, is delivered.
class SourceReader {
 public:
  // Receives the line counter as "%05d" text whenever it is refreshed.
  using LineCounterCallback = std::function<void(const std::string& text)>;
  // Asked before each block of the file is read; true ends the source there.
  using StopCheck = std::function<bool()>;

  SourceReader() = default;
  ~SourceReader();
  SourceReader(const SourceReader&) = delete;
  SourceReader& operator=(const SourceReader&) = delete;

  // Opens the source for reading bytes as they are; false when it cannot be
  // opened or is not a regular file (a FIFO, device or directory is never
  // read). Resets the line count, the end marker and the stop.
  bool Open(const std::string& path);
  // After Open failed: why, as a status line puts it after the path.
  const std::string& openFailure() const { return openFailure_; }
  void Close();
  // Reads from an in-memory text instead of a file (the bytes must outlive
  // the reader), in blocks of the same size, with the same stop checks.
  void OpenBytes(const unsigned char* bytes, std::size_t length);

  void SetLineCounterCallback(LineCounterCallback callback) { lineCounter_ = std::move(callback); }
  // Asked before each block is taken, and at every read once the text has ended.
  void SetStopCheck(StopCheck check) { stopCheck_ = std::move(check); }
  // True when the stop check ended the source before its end.
  bool stopped() const { return stopped_; }

  // 0 when a character was delivered into currentChar(); otherwise the
  // number of reads that have hit the end so far (never 0 again once hit).
  std::uint8_t ReadChar() {
    // Inline for the common case, a plain byte within the current block.
    if (cursor_ != end_ && *cursor_ != '\n' && *cursor_ != '\r') {
      currentChar_ = *cursor_++;
      return eofCount_;
    }
    return ReadCharSlowly();
  }

  unsigned char currentChar() const { return currentChar_; }
  std::uint16_t lineNumber() const { return lineNumber_; }
  std::uint8_t eofCount() const { return eofCount_; }
  // The line count without the 16-bit wrap of lineNumber().
  std::uint64_t fullLineNumber() const { return lineCount_; }
  // 1-based byte column of currentChar() on its line; once the source has
  // ended, one past the last byte of the last line. CR is a byte of its line.
  std::uint64_t column() const { return consumed() - lineStart_ + (eofCount_ != 0 ? 1 : 0); }

 private:
  std::uint8_t ReadCharSlowly();
  bool NextByte(unsigned char& byte);
  // Makes the next block current; false at the end of the text or on a read error.
  bool NextBlock();
  void CountLine();
  // Bytes taken from the text so far.
  std::uint64_t consumed() const { return blockOffset_ + static_cast<std::uint64_t>(cursor_ - blockBegin_); }
  void ResetCounts();

  static constexpr std::size_t kBufferSize = 64 * 1024;

  int fileDescriptor_ = -1;
  unsigned char* buffer_ = nullptr;  // owned, kBufferSize bytes, for file reads
  const unsigned char* cursor_ = nullptr;  // the current block
  const unsigned char* end_ = nullptr;
  // Where the current block begins, and its offset in the text: the column
  // is worked out from them only when asked, so reading a byte costs nothing more.
  const unsigned char* blockBegin_ = nullptr;
  std::uint64_t blockOffset_ = 0;
  std::uint64_t lineStart_ = 0;  // offset of the current line's first byte
  std::uint64_t lineCount_ = 1;
  bool fromMemory_ = false;
  const unsigned char* memoryNext_ = nullptr;  // the in-memory text not yet taken
  const unsigned char* memoryEnd_ = nullptr;

  unsigned char currentChar_ = 0;
  std::uint16_t lineNumber_ = 1;  // wraps after 65535, as a 16-bit counter does
  std::uint8_t eofCount_ = 0;
  bool stopped_ = false;
  std::string openFailure_;
  LineCounterCallback lineCounter_;
  StopCheck stopCheck_;
};

}  // namespace lumivane
