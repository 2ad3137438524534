#pragma once
#include <chrono>
#include <functional>
#include <string>

#include "station/SlotRunner.h"

namespace lumivane {

class Clock;

// Asks an RS232 line whether a keypad is there, as a download begins: the
// port opened and set up as the RS232 link does, one identity request,
// and up to kAnswerLimit for the answer. Nothing else is sent: no read,
// no write and no end command, so the keypad's memory and its load mode
// stay as they were. (A keypad in load mode takes a lone request as the
// start of a download once the line falls idle, and answers it again
// when shift+load has been pressed.)
class SerialPresenceProbe : public PresenceProbe {
 public:
  // A keypad in load mode answers within this; it exceeds a keypad's
  // longest answer time, as a read's limit does.
  static constexpr std::chrono::milliseconds kAnswerLimit{2000};
  static constexpr std::chrono::milliseconds kPollPeriod{100};

  SerialPresenceProbe(Clock& clock, std::function<std::string(const std::string& name)> resolvePortName)
      : clock_(clock), resolvePortName_(std::move(resolvePortName)) {}

  PresenceAnswer Probe(const std::string& port, std::stop_token stop) override;

 private:
  Clock& clock_;
  std::function<std::string(const std::string& name)> resolvePortName_;
};

}  // namespace lumivane
