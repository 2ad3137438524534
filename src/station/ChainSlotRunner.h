#pragma once
#include <chrono>

#include "station/SlotRunner.h"
#include "station/StationJob.h"

namespace lumivane {

// The download of one slot, as `lumivane-cli download` runs it: a
// DownloadChain on a ChainDriver on the slot's own thread, with its own
// port or HID handle, writing the station's shared image. The identity
// wait, placement, transfer, verify pass (when chosen) and end command are
// the chain's; the outcome is the chain's own.
//
// The stops: before writing, a run ends as `download`'s Ctrl-C during the
// wait does, and a transfer that has begun goes on; now, a transfer ends
// after its current byte, as after `download`'s second Ctrl-C. A run that
// a stop ended gives the exit status `download` gives after Ctrl-C (130).
//
// RS232: a keypad hears the identity request only while it is on the
// line, and the slot is armed before the next keypad is put there; so
// while it waits, the slot sends the request again every
// kIdentityRepeat, each time as a download that begins anew.
class ChainSlotRunner : public SlotRunner {
 public:
  static constexpr std::chrono::milliseconds kIdentityRepeat{2000};

  explicit ChainSlotRunner(const StationJob& job) : job_(job) {}

  SlotOutcome Run(const SlotTarget& target, SlotEvents& events, const SlotStop& stop) override;

 private:
  class Host;
  // One download from the port's opening to its outcome.
  void RunChain(const SlotTarget& target, Host& host, const SlotStop& stop);
  // After a run that wrote nothing: the keypad's node (USB) or line
  // (RS232) is gone, so the keypad left before it could be served.
  bool TargetGone(const SlotTarget& target) const;

  const StationJob& job_;
};

}  // namespace lumivane
