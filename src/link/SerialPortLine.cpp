// SerialPort: the state of the line around the transfers: discarding
// input, waiting for output to leave, and noticing a hang-up. Every wait
// is a poll on the port's clock against a deadline.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "link/SerialPort.h"

namespace lumivane {

namespace {

using std::chrono::milliseconds;

// How often the output queue is looked at while it drains.
constexpr milliseconds kDrainPollInterval{2};

bool LineGone(const pollfd& watch) { return (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

// What a poll that saw the line go says about it.
ChannelError GoneLine(const pollfd& watch) {
  return ErrorFromErrno(watch.revents & POLLNVAL ? EBADF : EIO);
}

}  // namespace

ChannelError SerialPort::DiscardInput(std::uint32_t firstQuietMs, std::uint32_t quietMs,
                                      std::uint32_t limitMs, bool* dropped) {
  bool ignored = false;
  if (dropped == nullptr) dropped = &ignored;
  *dropped = false;
  Succeed();
  if (!RequireOpen()) return lastError_;
  *dropped = !heldInput_.empty();
  heldInput_.clear();
  const Clock::TimePoint limit = clock_.Now() + milliseconds(limitMs);
  milliseconds quiet(firstQuietMs);
  for (;;) {
    int queued = 0;
    if (::ioctl(portHandle_, FIONREAD, &queued) == 0 && queued > 0) *dropped = true;
    if (::tcflush(portHandle_, TCIFLUSH) != 0) return FailErrno();
    const Clock::TimePoint quietEnd = clock_.Now() + quiet;
    pollfd watch{portHandle_, POLLIN, 0};
    const int ready = clock_.Poll(&watch, 1, std::min(quietEnd, limit));
    if (ready < 0) return Fail(ErrorFromErrno(-ready));
    if (ready == 0) return quietEnd <= limit ? ChannelError() : Fail(ChannelErrorKind::Timeout);
    if (LineGone(watch)) return Fail(GoneLine(watch));
    quiet = milliseconds(quietMs);  // a byte came: drop it
  }
}

ChannelError SerialPort::WaitUntilSent(std::uint32_t timeoutMs) {
  Succeed();
  if (!RequireOpen()) return lastError_;
  const Clock::TimePoint deadline = clock_.Now() + milliseconds(timeoutMs);
  for (;;) {
    int queued = 0;
    if (::ioctl(portHandle_, TIOCOUTQ, &queued) != 0) return FailErrno();
    if (queued <= 0) return ChannelError();
    const Clock::TimePoint now = clock_.Now();
    if (now >= deadline) return Fail(ChannelErrorKind::Timeout);
    pollfd watch{portHandle_, 0, 0};  // a hang-up ends the wait
    if (clock_.Poll(&watch, 1, std::min(deadline, now + kDrainPollInterval)) > 0 && LineGone(watch))
      return Fail(GoneLine(watch));
  }
}

ChannelError SerialPort::CheckLine(std::uint32_t watchMs) {
  Succeed();
  if (!RequireOpen()) return lastError_;
  pollfd watch{portHandle_, 0, 0};  // only a hang-up or an error wakes it
  const int ready = clock_.Poll(&watch, 1, clock_.Now() + milliseconds(watchMs));
  if (ready > 0) return Fail(GoneLine(watch));
  if (ready < 0) return Fail(ErrorFromErrno(-ready));
  // A hung-up descriptor also fails its requests.
  int queued = 0;
  if (::ioctl(portHandle_, TIOCOUTQ, &queued) != 0) return FailErrno();
  return ChannelError();
}

}  // namespace lumivane
