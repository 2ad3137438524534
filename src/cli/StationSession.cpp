#include "cli/StationSession.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "app/SignalChannel.h"
#include "common/ExitStatus.h"

namespace lumivane {

StationSummary ServeWithSignals(StationEngine& engine, int signalFd) {
  const int wake = ::eventfd(0, EFD_CLOEXEC);
  std::thread signals;
  if (wake >= 0 && signalFd >= 0) {
    signals = std::thread([&engine, signalFd, wake] {
      for (;;) {
        pollfd watch[2] = {{wake, POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (::poll(watch, 2, -1) < 0 && errno != EINTR) return;
        if (watch[0].revents != 0) return;
        const int number = SignalChannel::TakeFrom(signalFd);
        if (number == SIGINT) engine.RequestStop();
        if (number != 0 && number != SIGINT) engine.StopNow();
      }
    });
  }
  StationSummary summary = engine.Run();
  if (signals.joinable()) {
    ::eventfd_write(wake, 1);
    signals.join();
  }
  if (wake >= 0) ::close(wake);
  return summary;
}

void PrintStationSummary(std::FILE* out, const StationSummary& summary) {
  for (const std::string& line : ClosingLines(summary)) std::fprintf(out, "%s\n", line.c_str());
  std::fflush(out);
}

int StationExitStatus(const StationSummary& summary) {
  if (summary.counts.failed > 0) return exit_status::kKeypadFailed;
  if (!summary.logFailure.empty()) return exit_status::kOutputUnwritable;
  if (!summary.monitorFailure.empty()) return exit_status::kLinkNotPrepared;
  return exit_status::kSuccess;
}

}  // namespace lumivane
