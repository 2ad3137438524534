#include "sim/SimulatedKeyboardNode.h"

#include <chrono>

namespace lumivane::sim {

using namespace std::chrono_literals;

int SimulatedKeyboardNode::Open(const std::string&) {
  open = openError == 0;
  return openError;
}

int SimulatedKeyboardNode::SetRepeat(const RepeatSetting& s) {
  RunDueWork();
  if (setError != 0) return setError;
  requestTimes.push_back(clock_.Now());
  const int events = Inject(rep.delayMs, s.delayMs) + Inject(rep.periodMs, s.periodMs);
  eventsPerRequest.push_back(events);
  return 0;
}

int SimulatedKeyboardNode::GetRepeat(RepeatSetting* s) {
  RunDueWork();
  if (getError != 0) return getError;
  *s = rep;
  return 0;
}

int SimulatedKeyboardNode::GetIdentity(NodeIdentity* id) {
  *id = identity;
  return 0;
}

void SimulatedKeyboardNode::RunDueWork() {
  if (!workDue_ || clock_.Now() < *workDue_) return;
  workDue_.reset();
  const unsigned i = KernelIndex(kKernelPeriodsMs, rep.periodMs);
  const unsigned j = KernelIndex(kKernelDelaysMs, rep.delayMs);
  rep = {kKernelDelaysMs[j], kKernelPeriodsMs[i]};
  line.push_back(static_cast<std::uint8_t>(j << 5 | i));
}

int SimulatedKeyboardNode::Inject(unsigned& held, unsigned value) {
  if (held == value) return 0;
  held = value;
  if (softRepeat) return 1;
  const Clock::TimePoint now = clock_.Now();
  const bool recent = lastEvent_ && now <= *lastEvent_ + 50ms;
  lastEvent_ = now;
  if (!workDue_) workDue_ = now + (recent ? 50ms : 0ms);
  return 1;
}

}  // namespace lumivane::sim
