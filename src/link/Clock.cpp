#include "link/Clock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

namespace lumivane {

Clock::TimePoint SteadyClock::Now() { return std::chrono::steady_clock::now(); }

void SteadyClock::SleepUntil(TimePoint deadline) {
  // The steady clock is CLOCK_MONOTONIC. An absolute deadline: a signal
  // that interrupts the sleep does not shorten or lengthen the pause.
  const auto sinceEpoch = deadline.time_since_epoch();
  if (sinceEpoch.count() <= 0) return;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
  timespec until{};
  until.tv_sec = static_cast<time_t>(seconds.count());
  until.tv_nsec = static_cast<long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds).count());
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

int SteadyClock::Poll(pollfd* fds, std::size_t count, std::optional<TimePoint> deadline) {
  for (;;) {
    int timeoutMs = -1;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Now());
      timeoutMs = static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
    }
    const int ready = ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
    if (ready > 0) return ready;
    if (ready == 0) {
      if (!deadline || Now() >= *deadline) return 0;
      continue;  // a limit beyond what one poll can wait
    }
    if (errno != EINTR) return -errno;
  }
}

}  // namespace lumivane
