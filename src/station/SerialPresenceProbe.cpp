#include "station/SerialPresenceProbe.h"

#include "link/Clock.h"
#include "link/LinkDetails.h"
#include "link/SerialLink.h"
#include "link/SerialPort.h"
#include "station/StopWait.h"

namespace lumivane {

PresenceAnswer SerialPresenceProbe::Probe(const std::string& port, std::stop_token stop) {
  SerialPort serialPort(clock_);
  SerialPortChoice choice;
  choice.device = resolvePortName_ ? resolvePortName_(port) : port;
  choice.label = PortLabel(port, choice.device);
  SerialLink link(clock_, &serialPort, choice);
  const LinkOpening opening = link.Prepare([](const std::string&) {});
  if (opening.end != LinkOpening::End::Ready) {
    link.Release();
    return {Presence::LineUnusable, opening.detail};
  }
  PresenceAnswer answer{Presence::NoAnswer, {}};
  const Clock::TimePoint deadline = clock_.Now() + kAnswerLimit;
  while (!stop.stop_requested()) {
    const IdentityPoll poll = link.PollIdentity();
    if (poll.answer == IdentityAnswer::LineLost || poll.answer == IdentityAnswer::DeviceGone) {
      answer = {Presence::LineUnusable, poll.detail};
      break;
    }
    if (poll.answer != IdentityAnswer::NotYet) {
      answer = {Presence::Answers, {}};
      break;
    }
    const Clock::TimePoint now = clock_.Now();
    if (now >= deadline) break;
    SleepUnlessStopped(clock_, std::min(deadline, now + kPollPeriod), stop);
  }
  link.Release();
  return answer;
}

}  // namespace lumivane
