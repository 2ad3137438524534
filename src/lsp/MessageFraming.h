#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace lumivane::lsp {

// The largest message body read whole; a longer one is read through and
// answered from its first and last bytes.
inline constexpr std::size_t kMaxMessageBytes = 16 * 1024 * 1024;
// A declared length beyond this is no message a client sends: the header
// is taken as broken and the bytes after it are read as headers again.
inline constexpr std::uint64_t kMaxSkippedBytes = 1024ull * 1024 * 1024;
// How much of each end of a message that is too long is kept to answer it.
inline constexpr std::size_t kTooLargeEndBytes = 64 * 1024;

// Where the bytes of the message stream come from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `size` bytes into `buffer`; 0 at the end of the stream (or when
  // reading should end), never negative.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// One item of the stream.
struct Frame {
  enum class Kind {
    Message,    // body: the whole body
    TooLarge,   // body and tail: its first and last kTooLargeEndBytes; declaredLength: its length
    BadHeader,  // problem: what was wrong; no body was taken
    End,        // the stream ended
  };
  Kind kind = Kind::End;
  std::string body;
  std::string tail;
  std::uint64_t declaredLength = 0;
  std::string problem;
};

// Splits the stream into messages framed as "Content-Length: N" header
// lines, an empty line, then N bytes. Other headers are ignored. Bytes that
// are no header line are skipped up to the next "Content-Length:" (also
// within a line), so that the stream recovers after a message without
// header or with a wrong length; the skip is reported once, as a BadHeader.
// A JSON text where a header should begin is skipped whole and reported
// at once, so that a client that forgot the header gets its answer.
class FrameReader {
 public:
  explicit FrameReader(ByteSource& source) : source_(source) {}
  Frame Next();

 private:
  // One header line without its line end; false at the end of the stream.
  // A line longer than kMaxHeaderLine is cut there (`cut` set) and the
  // rest of it skipped.
  bool ReadLine(std::string& line, bool& cut);
  bool Fill();
  // Reads `count` bytes, keeping the last `kept` of them in `out`; false
  // when the stream ended first.
  bool Take(std::uint64_t count, std::string& out, std::size_t kept);
  // The first byte of the next header block after blank lines, or -1 at the end.
  int PeekBlockStart();
  // Skips a JSON text (balanced brackets, strings respected), at most
  // kMaxMessageBytes of it.
  void SkipJsonText();

  static constexpr std::size_t kMaxHeaderLine = 8192;
  static constexpr std::size_t kChunk = 64 * 1024;

  ByteSource& source_;
  std::unique_ptr<char[]> chunk_;  // what one read takes, before it joins buffer_
  std::string buffer_;
  std::size_t position_ = 0;
  bool ended_ = false;
  // A message found right after skipped bytes, handed out after their report.
  bool haveQueued_ = false;
  Frame queued_;
};

// The bytes that frame `body` on the wire.
std::string FrameMessage(std::string_view body);

}  // namespace lumivane::lsp
