#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/Clock.h"
#include "link/EvdevRepeatControl.h"

namespace lumivane::sim {

// The PS/2 keyboard driver's tables, as the kernel has them, kept apart
// from the link's own copy so that a model built on them checks it.
inline constexpr unsigned kKernelPeriodsMs[32] = {33,  37,  42,  46,  50,  54,  58,  63,  67,  75,  83,
                                                 92,  100, 109, 116, 125, 133, 149, 167, 182, 200, 217,
                                                 232, 250, 270, 303, 333, 370, 400, 435, 470, 500};
inline constexpr unsigned kKernelDelaysMs[4] = {250, 500, 750, 1000};

// The driver's rounding: the index of the first entry not below the
// value, else of the last.
template <std::size_t N>
unsigned KernelIndex(const unsigned (&table)[N], unsigned value) {
  unsigned i = 0;
  while (i < N - 1 && table[i] < value) ++i;
  return i;
}

// A keyboard's evdev node and its driver, on the clock given, behind the
// calls that EvdevKeyboardLine makes.
//
// A PS/2 keyboard whose driver sends typematic settings (the default):
// - a request equal to the held value is dropped (no event);
// - an event schedules the driver's work, at once when the previous event
//   is more than 50 ms old, else 50 ms later; an already pending work
//   takes the new values with it (the settings merge);
// - the work rounds the held values to the driver's table entries and
//   sends the typematic parameter byte to the keyboard (`line`).
// In soft-repeat mode (a USB keyboard, or atkbd.softrepeat=1) the node
// holds whatever is asked for, and nothing reaches the keyboard. The work
// that is due runs lazily, at the node's next call.
class SimulatedKeyboardNode : public RepeatControl {
 public:
  explicit SimulatedKeyboardNode(Clock& clock) : clock_(clock) {}

  int openError = 0;
  int getError = 0;
  int setError = 0;
  bool softRepeat = false;
  NodeIdentity identity{0x11, 0x0001, 0x0001};  // BUS_I8042: a keyboard on the PS/2 controller
  RepeatSetting rep{250, 33};
  std::vector<std::uint8_t> line;                    // parameter bytes sent to the keyboard
  std::vector<Clock::TimePoint> requestTimes;        // every EVIOCSREP
  std::vector<int> eventsPerRequest;                 // events each EVIOCSREP caused
  bool open = false;

  int Open(const std::string& node) override;
  void Close() override { open = false; }
  int SetRepeat(const RepeatSetting& setting) override;
  int GetRepeat(RepeatSetting* setting) override;
  int GetIdentity(NodeIdentity* id) override;
  // Runs the driver's work when it is due by now.
  void RunDueWork();

 private:
  int Inject(unsigned& held, unsigned value);

  Clock& clock_;
  std::optional<Clock::TimePoint> lastEvent_;
  std::optional<Clock::TimePoint> workDue_;
};

}  // namespace lumivane::sim
