// SerialPort: Write, Read and WaitEvent, and the completion record that
// carries them. The port is non-blocking; every wait is a poll on the
// port's clock against a deadline.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "link/SerialPort.h"

namespace lumivane {

namespace {

// Event bits that termios cannot signal through poll: they are found by
// looking at the line counters every few milliseconds.
constexpr std::chrono::milliseconds kLineCounterPollInterval{10};

std::optional<Clock::TimePoint> DeadlineAfter(Clock& clock, std::uint32_t timeoutMs) {
  if (timeoutMs == SerialChannel::kInfinite) return std::nullopt;
  return clock.Now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

// ---- CompletionRecord ----

CompletionRecord::CompletionRecord() : eventFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CompletionRecord::CompletionRecord(int borrowedEventFd)
    : eventFd_(borrowedEventFd), ownsEventFd_(false) {}

CompletionRecord::~CompletionRecord() {
  Cancel();
  if (ownsEventFd_ && eventFd_ >= 0) ::close(eventFd_);
}

void CompletionRecord::Reset(SerialPort* port, Operation operation) {
  // The signal is manual-reset: clear it when a new operation starts.
  if (eventFd_ >= 0) {
    eventfd_t ignored = 0;
    ::eventfd_read(eventFd_, &ignored);
  }
  port_ = port;
  operation_ = operation;
  readBuffer_ = nullptr;
  writeBytes_ = nullptr;
  count_ = 0;
  transferred_ = 0;
  result_ = ChannelError();
  complete_ = false;
  pollLineCounts_ = false;
}

void CompletionRecord::Complete(ChannelError result) {
  if (port_) port_->Detach(*this);
  port_ = nullptr;
  result_ = std::move(result);
  complete_ = true;
  if (eventFd_ >= 0) ::eventfd_write(eventFd_, 1);
}

void CompletionRecord::Cancel() {
  if (IsPending()) port_->Abandon(*this);
}

ChannelError CompletionRecord::Wait(std::uint32_t timeoutMs) {
  if (complete_) return ChannelError();
  if (!port_) return ChannelError(ChannelErrorKind::NotOpen);
  Clock& clock = port_->clock_;
  const std::optional<Clock::TimePoint> deadline = DeadlineAfter(clock, timeoutMs);
  for (;;) {
    if (port_->Progress(*this)) return ChannelError();

    pollfd watch{};
    watch.fd = port_->portHandle_;
    if (operation_ == Operation::Write) {
      watch.events = POLLOUT;
    } else if (operation_ == Operation::Read ||
               (port_->eventMask_ & (SerialChannel::EV_RXCHAR | SerialChannel::EV_RXFLAG))) {
      watch.events = POLLIN;
    }
    std::optional<Clock::TimePoint> wakeUp = deadline;
    if (pollLineCounts_) {
      const Clock::TimePoint look = clock.Now() + kLineCounterPollInterval;
      if (!wakeUp || look < *wakeUp) wakeUp = look;
    }
    const int ready = clock.Poll(&watch, 1, wakeUp);
    if (ready < 0) {
      Complete(ErrorFromErrno(-ready));
      return ChannelError();
    }
    if (ready > 0 && (watch.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      // The line is gone (the other end of a pseudo-terminal closed, the
      // device was unplugged): take what is still there, then fail.
      if (port_->Progress(*this)) return ChannelError();
      Complete(ErrorFromErrno(watch.revents & POLLNVAL ? EBADF : EIO));
      return ChannelError();
    }
    if (ready == 0 && deadline && clock.Now() >= *deadline) {
      return ChannelError(ChannelErrorKind::Timeout);
    }
  }
}

// ---- SerialPort transfers ----

void SerialPort::Detach(CompletionRecord& record) {
  pending_.erase(std::remove(pending_.begin(), pending_.end(), &record), pending_.end());
}

void SerialPort::HoldBack(CompletionRecord& record) {
  if (record.operation_ == CompletionRecord::Operation::Read && record.transferred_ > 0) {
    // The caller does not get these bytes, but they are the other side's
    // data: the next read delivers them instead of losing them.
    heldInput_.insert(heldInput_.begin(), record.readBuffer_,
                      record.readBuffer_ + record.transferred_);
    record.transferred_ = 0;
  }
}

void SerialPort::Abandon(CompletionRecord& record) {
  HoldBack(record);
  record.Complete(ErrorFromErrno(ECANCELED));
}

bool SerialPort::Progress(CompletionRecord& record) {
  using Operation = CompletionRecord::Operation;
  if (record.operation_ == Operation::WaitEvent) {
    const EventBits events = EventBitsNow();
    if (events.lineCountsRead) record.pollLineCounts_ = true;
    if (events.bits == 0) return false;
    lastEvent_ = events.bits;
    record.Complete(ChannelError());
    return true;
  }
  if (record.operation_ == Operation::Write) {
    while (record.transferred_ < record.count_) {
      const ssize_t n = ::write(portHandle_, record.writeBytes_ + record.transferred_,
                                record.count_ - record.transferred_);
      if (n > 0) {
        record.transferred_ += static_cast<std::uint32_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) {
        record.Complete(ErrorFromErrno(errno));
        return true;
      }
      return false;
    }
    record.Complete(ChannelError());
    return true;
  }

  // Read: held bytes first, then whatever the port has.
  const std::uint32_t fromHeld =
      static_cast<std::uint32_t>(std::min<std::size_t>(heldInput_.size(),
                                                       record.count_ - record.transferred_));
  std::copy_n(heldInput_.begin(), fromHeld, record.readBuffer_ + record.transferred_);
  heldInput_.erase(heldInput_.begin(), heldInput_.begin() + fromHeld);
  record.transferred_ += fromHeld;
  while (record.transferred_ < record.count_) {
    const ssize_t n = ::read(portHandle_, record.readBuffer_ + record.transferred_,
                             record.count_ - record.transferred_);
    if (n > 0) {
      record.transferred_ += static_cast<std::uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      ChannelError error = ErrorFromErrno(errno);
      HoldBack(record);
      record.Complete(std::move(error));
      return true;
    }
    break;  // nothing more at the moment (a raw tty reads 0 then)
  }
  if (record.transferred_ == record.count_ || !record.blockingRead_) {
    record.Complete(ChannelError());
    return true;
  }
  return false;
}

SerialPort::EventBits SerialPort::EventBitsNow() {
  EventBits events;
  std::uint32_t& bits = events.bits;
  if (eventMask_ & EV_RXFLAG) {
    // Look at the bytes themselves: take them into the held input, where
    // the next read finds them.
    std::uint8_t chunk[256];
    ssize_t n;
    while (heldInput_.size() < 65536 && (n = ::read(portHandle_, chunk, sizeof chunk)) > 0) {
      heldInput_.insert(heldInput_.end(), chunk, chunk + n);
    }
    if (std::find(heldInput_.begin(), heldInput_.end(), eventChar_) != heldInput_.end()) {
      bits |= EV_RXFLAG;
    }
  }
  if (eventMask_ & EV_RXCHAR) {
    int queued = 0;
    if (!heldInput_.empty() || (::ioctl(portHandle_, FIONREAD, &queued) == 0 && queued > 0)) {
      bits |= EV_RXCHAR;
    }
  }
  if (eventMask_ & (EV_BREAK | EV_ERR)) {
    if (const std::optional<LineCounts> counted = ReadLineCounts()) {
      const LineCounts& now = *counted;
      events.lineCountsRead = true;
      if (now.breaks != eventBaseline_.breaks) bits |= EV_BREAK;
      if (now.frames != eventBaseline_.frames || now.overruns != eventBaseline_.overruns ||
          now.parities != eventBaseline_.parities ||
          now.bufferOverruns != eventBaseline_.bufferOverruns) {
        bits |= EV_ERR;
      }
      eventBaseline_ = now;  // each line event is delivered once
    }
  }
  bits &= eventMask_;
  return events;
}

ChannelError SerialPort::Transfer(CompletionRecord& record, bool callerRecord,
                                  std::uint32_t* countOut, std::uint32_t timeoutMs) {
  if (!Progress(record)) {
    pending_.push_back(&record);
    if (callerRecord) return ChannelError();  // the caller waits on its own record
    if (record.Wait(timeoutMs).kind() == ChannelErrorKind::Timeout) {
      Abandon(record);
      return Fail(ChannelErrorKind::Timeout);
    }
  }
  if (record.result_.failed()) return Fail(record.result_);
  if (countOut && record.operation_ != CompletionRecord::Operation::WaitEvent) {
    *countOut = record.transferred_;
  }
  return ChannelError();
}

ChannelError SerialPort::Write(const void* bytes, std::uint32_t count, std::uint32_t* countOut,
                               std::uint32_t timeoutMs) {
  return Write(bytes, count, countOut, nullptr, timeoutMs);
}

ChannelError SerialPort::Read(void* buffer, std::uint32_t count, std::uint32_t* countOut,
                              std::uint32_t timeoutMs) {
  return Read(buffer, count, countOut, nullptr, timeoutMs);
}

ChannelError SerialPort::Write(const char* text, std::uint32_t* countOut,
                               CompletionRecord* completion, std::uint32_t timeoutMs) {
  const std::size_t length = text ? std::strlen(text) : 0;
  return Write(text, static_cast<std::uint32_t>(length), countOut, completion, timeoutMs);
}

ChannelError SerialPort::Write(const void* bytes, std::uint32_t count, std::uint32_t* countOut,
                               CompletionRecord* completion, std::uint32_t timeoutMs) {
  return StartTransfer(false, bytes, nullptr, count, countOut, completion, timeoutMs);
}

ChannelError SerialPort::Read(void* buffer, std::uint32_t count, std::uint32_t* countOut,
                              CompletionRecord* completion, std::uint32_t timeoutMs) {
  return StartTransfer(true, nullptr, buffer, count, countOut, completion, timeoutMs);
}

// Common steps of Write and Read: the count out is 0 even when the port is
// closed; then the transfer starts on the caller's record or the internal one.
ChannelError SerialPort::StartTransfer(bool isRead, const void* writeBytes, void* readBuffer,
                                       std::uint32_t count, std::uint32_t* countOut,
                                       CompletionRecord* completion, std::uint32_t timeoutMs) {
  const auto kind = isRead ? CompletionRecord::Operation::Read : CompletionRecord::Operation::Write;
  Succeed();
  std::uint32_t internalCount = 0;
  if (!countOut) countOut = &internalCount;
  *countOut = 0;
  if (!RequireOpen()) return lastError_;
  const void* buffer = isRead ? readBuffer : writeBytes;
  if (!buffer && count > 0) return Fail(ChannelErrorKind::InvalidArgument);
  if (completion && completion->IsPending()) return Fail(ErrorFromErrno(EBUSY));
  CompletionRecord internal(ioEvent_);
  CompletionRecord& record = completion ? *completion : internal;
  record.Reset(this, kind);
  record.writeBytes_ = static_cast<const std::uint8_t*>(writeBytes);
  record.readBuffer_ = static_cast<std::uint8_t*>(readBuffer);
  record.count_ = count;
  // Non-blocking mode: a read completes at once with what has arrived.
  record.blockingRead_ = isRead && readMode_ == ReadBlocking;
  return Transfer(record, completion != nullptr, countOut, timeoutMs);
}

ChannelError SerialPort::WaitEvent(CompletionRecord* completion, std::uint32_t timeoutMs) {
  Succeed();
  if (!RequireOpen()) return lastError_;
  // Nothing could ever end the wait.
  if (eventMask_ == 0) return Fail(ChannelErrorKind::InvalidArgument);
  if (completion && completion->IsPending()) return Fail(ErrorFromErrno(EBUSY));
  CompletionRecord internal(ioEvent_);
  CompletionRecord& record = completion ? *completion : internal;
  record.Reset(this, CompletionRecord::Operation::WaitEvent);
  return Transfer(record, completion != nullptr, nullptr, timeoutMs);
}

}  // namespace lumivane
