#pragma once
#include <cstddef>
#include <stop_token>
#include <string>

#include "download/DownloadEvents.h"
#include "station/SlotOutcome.h"

namespace lumivane {

// The keypad one run is for.
struct SlotTarget {
  std::string slotName;  // as the station shows and logs it
  // USB: the hidraw node of the keypad's interface. RS232: the --port
  // value (a port name or a device).
  std::string device;
  std::string serialNumber;  // USB, when the device has one
};

// True for the phases of a download in which nothing has been written to
// the keypad yet: up to the wait for shift+load.
inline bool BeforeWriting(DownloadPhase phase) {
  return phase == DownloadPhase::Idle || phase == DownloadPhase::Translating ||
         phase == DownloadPhase::Preparing || phase == DownloadPhase::Waiting;
}

// Bytes done of a pass (the transfer's or the verify's).
struct PassProgress {
  std::size_t done = 0;
  std::size_t total = 0;
  bool operator==(const PassProgress&) const = default;
};

// Where a run reports, from the run's own thread; the station hands the
// reports to its one thread in order.
class SlotEvents {
 public:
  virtual ~SlotEvents() = default;
  virtual void OnPhase(DownloadPhase phase) = 0;
  virtual void OnProgress(const PassProgress& progress) = 0;
};

// The station's two ways of ending a run early. Both are asked from another
// thread; a runner polls them, or wakes on them with a std::stop_callback.
struct SlotStop {
  // Stop unless writing has begun: a run that has not yet written to the
  // keypad (it prepares the link or waits for shift+load) ends as
  // `download`'s Ctrl-C during the wait does, the keypad unchanged, and
  // never begins to write once this is asked; a run that writes goes on to
  // its end.
  std::stop_token beforeWriting;
  // Stop now, as `download`'s second Ctrl-C does: a transfer ends after the
  // current byte, without the end command (the keypad then holds an
  // incomplete image).
  std::stop_token now;
};

// Runs one download into one slot's keypad: the image the station
// translated, the identity wait, placement, transfer, verify when chosen,
// and the end command.
//
// Run is called on each slot's own thread, for several slots at once, and
// returns when that download has ended; whatever one run waits for or
// fails on must not hold another. It ends within a bounded time after
// either stop is asked.
class SlotRunner {
 public:
  virtual ~SlotRunner() = default;
  virtual SlotOutcome Run(const SlotTarget& target, SlotEvents& events, const SlotStop& stop) = 0;
};

// On RS232 a line cannot tell that its keypad was taken off: after an
// outcome the station asks the line now and then whether a keypad still
// answers the identity request there, and arms the slot again once none
// does.
enum class Presence {
  Answers,       // a keypad answered (its identity or another's)
  NoAnswer,      // the line works and nothing answered
  LineUnusable,  // the port cannot be opened or set up, or takes no byte: the slot is out of service
};

struct PresenceAnswer {
  Presence presence = Presence::NoAnswer;
  std::string reason;  // LineUnusable: the port and why ("/dev/ttyUSB0: No such file or directory")
};

class PresenceProbe {
 public:
  virtual ~PresenceProbe() = default;
  // One identity request on `port` and a bounded wait for its answer, on
  // the slot's own thread (several slots ask at once). Ends early, with
  // NoAnswer, once `stop` is asked. Must leave the keypad as it was.
  virtual PresenceAnswer Probe(const std::string& port, std::stop_token stop) = 0;
};

}  // namespace lumivane
