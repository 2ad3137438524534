#include "station/StopWait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace lumivane {

void SleepUnlessStopped(Clock& clock, Clock::TimePoint deadline, std::stop_token stop) {
  if (stop.stop_requested()) return;
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    clock.SleepUntil(deadline);  // bounded all the same
    return;
  }
  {
    const std::stop_callback wakeOnStop(stop, [wake] { ::eventfd_write(wake, 1); });
    pollfd watch{wake, POLLIN, 0};
    clock.Poll(&watch, 1, deadline);
  }
  ::close(wake);
}

}  // namespace lumivane
