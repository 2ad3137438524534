#include "lsp/MessageFraming.h"

#include <algorithm>
#include <cctype>

namespace lumivane::lsp {

namespace {

constexpr std::string_view kLengthName = "content-length:";

// Where "Content-Length:" begins in `line`, ignoring letter case; npos when it does not.
std::size_t FindLengthHeader(std::string_view line) {
  const auto at = std::search(line.begin(), line.end(), kLengthName.begin(), kLengthName.end(),
                              [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  return at == line.end() ? std::string_view::npos : static_cast<std::size_t>(at - line.begin());
}

// "Name: value" with a name of letters, digits and '-'.
bool IsHeaderLine(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  return std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
  });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The header block read so far.
struct HeaderBlock {
  bool anyLine = false;
  bool skippedBytes = false;  // bytes that were no header line
  bool haveLength = false;
  std::string lengthText;
};

void AddLine(HeaderBlock& block, std::string_view line, bool cut) {
  block.anyLine = true;
  const std::size_t at = FindLengthHeader(line);
  if (at == std::string_view::npos) {
    if (cut || !IsHeaderLine(line)) block.skippedBytes = true;
    return;
  }
  if (at > 0) block.skippedBytes = true;
  if (block.haveLength) return;  // the first one counts
  block.haveLength = true;
  block.lengthText = std::string(Trimmed(line.substr(at + kLengthName.size())));
}

Frame BadHeader(std::string problem) {
  Frame frame;
  frame.kind = Frame::Kind::BadHeader;
  frame.problem = std::move(problem);
  return frame;
}

// The declared length, or a problem.
bool ParseLength(const std::string& text, std::uint64_t& length, std::string& problem) {
  length = 0;
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    problem = "Content-Length \"" + text.substr(0, 40) + "\" is not a number of bytes";
    return false;
  }
  for (const char c : text) {
    length = length * 10 + static_cast<unsigned>(c - '0');
    if (length > kMaxSkippedBytes) {
      problem = "Content-Length " + text.substr(0, 40) + " is larger than any message the server reads";
      return false;
    }
  }
  return true;
}

}  // namespace

bool FrameReader::Fill() {
  if (ended_) return false;
  buffer_.erase(0, position_);
  position_ = 0;
  if (!chunk_) chunk_ = std::make_unique<char[]>(kChunk);
  const std::size_t got = source_.Read(chunk_.get(), kChunk);
  buffer_.append(chunk_.get(), got);
  if (got == 0) ended_ = true;
  return got > 0;
}

bool FrameReader::ReadLine(std::string& line, bool& cut) {
  line.clear();
  cut = false;
  for (;;) {
    if (position_ == buffer_.size() && !Fill()) return false;
    const std::size_t newline = buffer_.find('\n', position_);
    const std::size_t end = newline == std::string::npos ? buffer_.size() : newline;
    if (!cut) {
      const std::size_t room = kMaxHeaderLine - line.size();
      line.append(buffer_, position_, std::min(room, end - position_));
      cut = end - position_ > room;
    }
    position_ = newline == std::string::npos ? end : end + 1;
    if (newline != std::string::npos) break;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool FrameReader::Take(std::uint64_t count, std::string& out, std::size_t kept) {
  // Grown as the bytes come: a declared length alone reserves nothing.
  out.reserve(std::min(kept, buffer_.size() - position_));
  while (count > 0) {
    if (position_ == buffer_.size() && !Fill()) return false;
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer_.size() - position_));
    const std::size_t skipped = step > kept ? step - kept : 0;
    out.append(buffer_, position_ + skipped, step - skipped);
    if (out.size() > kept) out.erase(0, out.size() - kept);
    position_ += step;
    count -= step;
  }
  return true;
}

int FrameReader::PeekBlockStart() {
  for (;;) {
    if (position_ == buffer_.size() && !Fill()) return -1;
    const char c = buffer_[position_];
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') return static_cast<unsigned char>(c);
    ++position_;
  }
}

void FrameReader::SkipJsonText() {
  std::size_t depth = 0, skipped = 0;
  bool inString = false, escaped = false;
  while (skipped < kMaxMessageBytes) {
    if (position_ == buffer_.size() && !Fill()) return;
    const char c = buffer_[position_++];
    ++skipped;
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if ((c == '}' || c == ']') && --depth == 0) {
      return;
    }
  }
}

Frame FrameReader::Next() {
  if (haveQueued_) {
    haveQueued_ = false;
    return std::move(queued_);
  }
  const int start = PeekBlockStart();
  if (start < 0) return Frame{};
  if (start == '{' || start == '[') {
    SkipJsonText();
    return BadHeader("a message needs a Content-Length header");
  }
  HeaderBlock block;
  std::string line;
  bool cut = false;
  for (;;) {
    if (!ReadLine(line, cut)) return Frame{};
    if (line.empty() && !cut) {
      if (block.anyLine) break;
      continue;  // blank lines between messages
    }
    AddLine(block, line, cut);
  }
  if (!block.haveLength) {
    return BadHeader(block.skippedBytes ? "bytes that are no message header were skipped"
                                        : "the message header has no Content-Length");
  }
  std::uint64_t length = 0;
  std::string problem;
  if (!ParseLength(block.lengthText, length, problem)) return BadHeader(problem);

  Frame frame;
  frame.declaredLength = length;
  if (length <= kMaxMessageBytes) {
    frame.kind = Frame::Kind::Message;
    if (!Take(length, frame.body, kMaxMessageBytes)) return Frame{};
  } else {
    frame.kind = Frame::Kind::TooLarge;
    if (!Take(kTooLargeEndBytes, frame.body, kTooLargeEndBytes) ||
        !Take(length - kTooLargeEndBytes, frame.tail, kTooLargeEndBytes)) {
      return Frame{};
    }
  }
  if (!block.skippedBytes) return frame;
  queued_ = std::move(frame);
  haveQueued_ = true;
  return BadHeader("bytes that are no message header were skipped");
}

std::string FrameMessage(std::string_view body) {
  std::string framed = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  framed.append(body);
  return framed;
}

}  // namespace lumivane::lsp
