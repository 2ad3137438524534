#include "link/Clock.h"

#include <cerrno>
#include <ctime>

namespace lumivane {

Clock::TimePoint SteadyClock::Now() { return std::chrono::steady_clock::now(); }

void SteadyClock::SleepFor(std::chrono::milliseconds duration) {
  if (duration.count() <= 0) return;
  // An absolute deadline on the monotonic clock: a signal that interrupts
  // the sleep does not shorten or lengthen the pause.
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  const long long ms = duration.count();
  deadline.tv_sec += static_cast<time_t>(ms / 1000);
  deadline.tv_nsec += static_cast<long>((ms % 1000) * 1000000L);
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

}  // namespace lumivane
