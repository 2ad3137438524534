#pragma once
#include <cstdio>
#include <string>

#include "link/Clock.h"
#include "station/StationStatus.h"
#include "station/StationView.h"

namespace lumivane {

// Shows the station on a stream: on a terminal the block of slots redrawn
// in place (for progress at most ten times a second), elsewhere one line
// per event.
class StationPrinter : public StationObserver {
 public:
  StationPrinter(std::FILE* out, bool terminal, Clock& clock) : out_(out), terminal_(terminal), clock_(clock) {}

  void OnEvent(const StationEvent& event, const StationSnapshot& snapshot) override;

 private:
  std::size_t Width() const;

  std::FILE* out_;
  bool terminal_;
  Clock& clock_;
  TerminalScreen screen_;
  bool drawn_ = false;
  Clock::TimePoint lastDraw_{};
};

}  // namespace lumivane
