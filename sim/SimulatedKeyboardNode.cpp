#include "sim/SimulatedKeyboardNode.h"

#include <chrono>

namespace lumivane::sim {

namespace {

using namespace std::chrono_literals;

// The PS/2 keyboard driver's tables, as the kernel has them.
constexpr unsigned kPeriods[32] = {33,  37,  42,  46,  50,  54,  58,  63,  67,  75,  83,
                                   92,  100, 109, 116, 125, 133, 149, 167, 182, 200, 217,
                                   232, 250, 270, 303, 333, 370, 400, 435, 470, 500};
constexpr unsigned kDelays[4] = {250, 500, 750, 1000};

// The driver's rounding: the first entry not below the value, else the last.
template <std::size_t N>
unsigned KernelIndex(const unsigned (&table)[N], unsigned value) {
  unsigned i = 0;
  while (i < N - 1 && table[i] < value) ++i;
  return i;
}

}  // namespace

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
  const unsigned i = KernelIndex(kPeriods, rep.periodMs);
  const unsigned j = KernelIndex(kDelays, rep.delayMs);
  rep = {kDelays[j], kPeriods[i]};
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
