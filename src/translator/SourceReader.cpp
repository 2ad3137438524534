#include "translator/SourceReader.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "translator/RegularFile.h"

namespace lumivane {

SourceReader::~SourceReader() {
  Close();
  delete[] buffer;
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
  if (!buffer) buffer = new (std::nothrow) unsigned char[kBufferSize];
  if (!buffer) {
    openFailure_ = "not enough memory to read it";
    return false;
  }
  fileDescriptor = file.Release();
  cursor = end = blockBegin_ = buffer;
  return true;
}

void SourceReader::OpenBytes(const unsigned char* bytes, std::size_t length) {
  Close();
  ResetCounts();
  fromMemory = true;
  memoryNext = bytes;
  memoryEnd = bytes + length;
}

void SourceReader::Close() {
  if (fileDescriptor >= 0) ::close(fileDescriptor);
  fileDescriptor = -1;
  fromMemory = false;
  cursor = end = blockBegin_ = memoryNext = memoryEnd = nullptr;
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
  if (cursor == end) {
    if ((!fromMemory && fileDescriptor < 0) || stopped_) return false;
    if (stopCheck && stopCheck()) {
      stopped_ = true;
      return false;
    }
    if (!NextBlock()) return false;
  }
  byte = *cursor++;
  return true;
}

bool SourceReader::NextBlock() {
  blockOffset_ += static_cast<std::uint64_t>(end - blockBegin_);
  blockBegin_ = end;
  if (fromMemory) {
    const auto left = static_cast<std::size_t>(memoryEnd - memoryNext);
    if (left == 0) return false;
    cursor = blockBegin_ = memoryNext;
    end = memoryNext += left < kBufferSize ? left : kBufferSize;
    return true;
  }
  ssize_t got;
  do {
    got = ::read(fileDescriptor, buffer, kBufferSize);
  } while (got < 0 && errno == EINTR);
  // A read error ends the source just as the end of the file does.
  if (got <= 0) return false;
  cursor = blockBegin_ = buffer;
  end = buffer + got;
  return true;
}

void SourceReader::CountLine() {
  ++lineNumber_;
  ++lineCount_;
  lineStart_ = consumed();
  if (lineNumber_ % 4 == 0 && lineCounter) {
    char text[8];
    std::snprintf(text, sizeof text, "%05d", static_cast<int>(lineNumber_));
    lineCounter(text);
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
