#include "translator/SourceReader.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "translator/RegularFile.h"

namespace lumivane {

SourceReader::~SourceReader() {
  Close();
  delete[] buffer_;
}

bool SourceReader::Open(const std::string& path) {
  Close();
  ResetCounts();
  openFailure_.clear();
  ReadableFile file = OpenRegularFile(path);
  if (file.outcome != OpenOutcome::Opened) {
    openFailure_ = UnopenedReason(file);
    return false;
  }
  if (!buffer_) buffer_ = new (std::nothrow) unsigned char[kBufferSize];
  if (!buffer_) {
    openFailure_ = "not enough memory to read it";
    return false;
  }
  fileDescriptor_ = file.Release();
  cursor_ = end_ = blockBegin_ = buffer_;
  return true;
}

void SourceReader::OpenBytes(const unsigned char* bytes, std::size_t length) {
  Close();
  ResetCounts();
  fromMemory_ = true;
  memoryNext_ = bytes;
  memoryEnd_ = bytes + length;
}

void SourceReader::Close() {
  if (fileDescriptor_ >= 0) ::close(fileDescriptor_);
  fileDescriptor_ = -1;
  fromMemory_ = false;
  cursor_ = end_ = blockBegin_ = memoryNext_ = memoryEnd_ = nullptr;
}

void SourceReader::ResetCounts() {
  lineNumber_ = 1;
  lineCount_ = 1;
  eofCount_ = 0;
  stopped_ = false;
  blockOffset_ = 0;
  lineStart_ = 0;
}

bool SourceReader::NextByte(unsigned char& byte) {
  if (cursor_ == end_) {
    if ((!fromMemory_ && fileDescriptor_ < 0) || stopped_) return false;
    if (stopCheck_ && stopCheck_()) {
      stopped_ = true;
      return false;
    }
    if (!NextBlock()) return false;
  }
  byte = *cursor_++;
  return true;
}

bool SourceReader::NextBlock() {
  blockOffset_ += static_cast<std::uint64_t>(end_ - blockBegin_);
  blockBegin_ = end_;
  if (fromMemory_) {
    const auto left = static_cast<std::size_t>(memoryEnd_ - memoryNext_);
    if (left == 0) return false;
    cursor_ = blockBegin_ = memoryNext_;
    end_ = memoryNext_ += left < kBufferSize ? left : kBufferSize;
    return true;
  }
  ssize_t got;
  do {
    got = ::read(fileDescriptor_, buffer_, kBufferSize);
  } while (got < 0 && errno == EINTR);
  // A read error ends the source just as the end of the file does.
  if (got <= 0) return false;
  cursor_ = blockBegin_ = buffer_;
  end_ = buffer_ + got;
  return true;
}

void SourceReader::CountLine() {
  ++lineNumber_;
  ++lineCount_;
  lineStart_ = consumed();
  if (lineNumber_ % 4 == 0 && lineCounter_) {
    char text[8];
    std::snprintf(text, sizeof text, "%05d", static_cast<int>(lineNumber_));
    lineCounter_(text);
  }
}

std::uint8_t SourceReader::ReadCharSlowly() {
  unsigned char byte;
  for (;;) {
    if (!NextByte(byte)) {
      ++eofCount_;
      // An 8-bit count that wrapped to 0 would read as "not ended": keep it ended.
      if (eofCount_ == 0) eofCount_ = 1;
      return eofCount_;
    }
    currentChar_ = byte;
    if (byte == '\n') {
      CountLine();
      continue;
    }
    if (byte == '\r') continue;
    return eofCount_;
  }
}

}  // namespace lumivane
