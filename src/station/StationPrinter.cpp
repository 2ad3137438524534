#include "station/StationPrinter.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>

namespace lumivane {

namespace {
constexpr std::chrono::milliseconds kProgressPeriod{100};
}

std::size_t StationPrinter::Width() const {
  winsize size{};
  if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void StationPrinter::OnEvent(const StationEvent& event, const StationSnapshot& snapshot) {
  if (!terminal_) {
    if (const std::optional<std::string> line = EventLine(event, snapshot)) {
      std::fprintf(out_, "%s\n", line->c_str());
      std::fflush(out_);
    }
    return;
  }
  const Clock::TimePoint now = clock_.Now();
  if (event.kind == StationEvent::Kind::Progress && drawn_ && now - lastDraw_ < kProgressPeriod) return;
  const std::string bytes = event.kind == StationEvent::Kind::Notice
                                ? screen_.PrintAbove(event.text, snapshot, Width())
                                : screen_.Redraw(snapshot, Width());
  std::fputs(bytes.c_str(), out_);
  std::fflush(out_);
  drawn_ = true;
  lastDraw_ = now;
}

}  // namespace lumivane
