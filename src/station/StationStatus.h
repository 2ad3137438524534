#pragma once
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "station/SlotOutcome.h"
#include "station/SlotRunner.h"

namespace lumivane {

// Where a slot is in its round: found, armed, running, outcome, then
// waiting for its keypad to leave (and, on USB, for one to come) before it
// is armed again.
enum class SlotState {
  Armed,            // a download was started for it; no phase reported yet
  Running,          // `phase` tells where the download is
  AwaitingRemoval,  // the outcome is in; the keypad is still there (plugged in, or answering)
  Empty,            // USB: its keypad left; the next one plugged in is armed
  Idle,             // not armed again: the station is stopping
  OutOfService,     // RS232: the line cannot be used (`detail` says why); armed once it can
};

// What the station shows of one slot.
struct SlotStatus {
  std::size_t id = 0;        // the slot's place, from 0 in the order found
  std::string name;          // the physical USB port, or the RS232 port
  std::string serialNumber;  // of the keypad now or last there
  SlotState state = SlotState::Armed;
  std::optional<DownloadPhase> phase;  // while running
  PassProgress progress;               // of the current (or last) pass
  std::optional<OutcomeResult> result;  // of the last download
  std::string statusLine;  // the last outcome's
  std::string detail;      // the last outcome's detail line, or why the slot is out of service
};

// The slot's name with its keypad's serial number, as the station names it
// to people: "pci-0000:00:14.0-usb-0:2:1.0 (SN0042)".
std::string SlotTitle(const SlotStatus& slot);

struct StationCounts {
  std::size_t passed = 0;
  std::size_t failed = 0;
  std::chrono::milliseconds elapsed{0};  // since the station began
};

struct StationSnapshot {
  std::vector<SlotStatus> slotList;
  StationCounts counts;
};

// What changed; `slot` names the slot for all but notices.
struct StationEvent {
  enum class Kind { SlotFound, Armed, Phase, Progress, Outcome, AwaitingRemoval, Left, Idle, OutOfService, Notice };
  Kind kind = Kind::Notice;
  std::size_t slot = 0;
  std::string text;  // a notice's line
};

// Told of every change, on the station's own thread only, one at a time.
class StationObserver {
 public:
  virtual ~StationObserver() = default;
  virtual void OnEvent(const StationEvent& event, const StationSnapshot& snapshot) = 0;
};

// One outcome, for the log.
struct StationOutcome {
  const SlotStatus& slot;
  const SlotOutcome& outcome;
  OutcomeResult result;
  std::chrono::milliseconds duration;  // from the download's start to its end
};

// Keeps every outcome before the station counts it.
class OutcomeRecorder {
 public:
  virtual ~OutcomeRecorder() = default;
  // False with why when it could not be kept: the station then arms no more keypads.
  virtual bool Record(const StationOutcome& outcome, std::string* failure) = 0;
};

}  // namespace lumivane
