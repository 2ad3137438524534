// SerialPort: the state of the line around the transfers: discarding
// input, waiting for output to leave, and noticing a hang-up. Every wait
// is a poll against a monotonic deadline.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

#include "link/SerialPort.h"

namespace lumivane {

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

// How often the output queue is looked at while it drains.
constexpr int kDrainPollMs = 2;

SteadyTime After(std::uint32_t ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

int MillisecondsLeft(SteadyTime deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
}

bool LineGone(const pollfd& watch) { return (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

}  // namespace

std::uint32_t SerialPort::DiscardInput(std::uint32_t firstQuietMs, std::uint32_t quietMs,
                                       std::uint32_t limitMs, bool* dropped) {
  bool ignored = false;
  if (dropped == nullptr) dropped = &ignored;
  *dropped = false;
  lastError = 0;
  if (!RequireOpen()) return lastError;
  *dropped = !heldInput_.empty();
  heldInput_.clear();
  const SteadyTime deadline = After(limitMs);
  int quiet = static_cast<int>(std::min<std::uint32_t>(firstQuietMs, INT_MAX));
  for (;;) {
    int queued = 0;
    if (::ioctl(portHandle, FIONREAD, &queued) == 0 && queued > 0) *dropped = true;
    if (::tcflush(portHandle, TCIFLUSH) != 0) return FailErrno();
    const int wait = std::min(quiet, MillisecondsLeft(deadline));
    pollfd watch{portHandle, POLLIN, 0};
    const int ready = ::poll(&watch, 1, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return FailErrno();
    }
    if (ready == 0) return wait == quiet ? 0 : Fail(kTimeout);
    if (LineGone(watch)) return Fail(EIO);
    quiet = static_cast<int>(std::min<std::uint32_t>(quietMs, INT_MAX));  // a byte came: drop it
  }
}

std::uint32_t SerialPort::WaitUntilSent(std::uint32_t timeoutMs) {
  lastError = 0;
  if (!RequireOpen()) return lastError;
  const SteadyTime deadline = After(timeoutMs);
  for (;;) {
    int queued = 0;
    if (::ioctl(portHandle, TIOCOUTQ, &queued) != 0) return FailErrno();
    if (queued <= 0) return 0;
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return Fail(kTimeout);
    pollfd watch{portHandle, 0, 0};  // a hang-up ends the wait
    if (::poll(&watch, 1, std::min(left, kDrainPollMs)) > 0 && LineGone(watch)) return Fail(EIO);
  }
}

std::uint32_t SerialPort::CheckLine(std::uint32_t watchMs) {
  lastError = 0;
  if (!RequireOpen()) return lastError;
  const SteadyTime deadline = After(watchMs);
  for (;;) {
    pollfd watch{portHandle, 0, 0};  // only a hang-up or an error wakes it
    const int ready = ::poll(&watch, 1, MillisecondsLeft(deadline));
    if (ready > 0) return Fail(watch.revents & POLLNVAL ? EBADF : EIO);
    if (ready == 0) break;
    if (errno != EINTR) return FailErrno();
  }
  // A hung-up descriptor also fails its requests.
  int queued = 0;
  if (::ioctl(portHandle, TIOCOUTQ, &queued) != 0) return FailErrno();
  return 0;
}

}  // namespace lumivane
