#pragma once
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/Clock.h"
#include "station/DeviceMonitor.h"
#include "station/SlotRunner.h"
#include "station/SlotWorker.h"
#include "station/StationMailbox.h"
#include "station/StationStatus.h"

namespace lumivane {

struct StationSetup {
  enum class Link { Usb, Rs232 };
  Link link = Link::Usb;
  std::vector<std::string> ports;  // RS232: one slot each
  std::size_t passLimit = 0;       // stop once this many keypads have passed; 0: no limit
  std::chrono::milliseconds probeInterval{500};  // RS232: between two presence probes
};

// What the station works with. USB needs the monitor, RS232 the probe.
struct StationParts {
  SlotRunner& runner;
  Clock& clock;  // durations and the rate; the presence probes' pauses
  StationObserver& observer;
  OutcomeRecorder& recorder;
  DeviceMonitor* monitor = nullptr;
  PresenceProbe* probe = nullptr;
};

struct StationSummary {
  StationCounts counts;
  // The slots a stop left holding an incomplete image.
  std::vector<std::string> incompleteSlots;
  std::string logFailure;      // why an outcome could not be kept
  std::string monitorFailure;  // why the device monitor stopped
};

// The lines that close a station run: the counts and the rate, then one
// for each slot that a stop left with an incomplete image.
std::vector<std::string> ClosingLines(const StationSummary& summary);

// Serves keypads, each slot on its own thread, until stopped or until
// enough have passed. Its own thread (the one that calls Run) takes every
// decision and tells the observer; the slots' threads only run downloads
// and probes, so a slot that hangs, drops off or fails holds nothing but
// itself.
//
// A slot is re-armed only once its keypad has left: on USB when the device
// was unplugged and came back, on RS232 when the keypad stopped answering.
class StationEngine {
 public:
  StationEngine(StationSetup setup, StationParts parts);
  ~StationEngine();
  StationEngine(const StationEngine&) = delete;
  StationEngine& operator=(const StationEngine&) = delete;

  // Runs until the end: the stop, the pass limit, a log that cannot be
  // written or a monitor that failed; in each case the transfers under way
  // finish first, unless StopNow comes.
  StationSummary Run();

  // From any thread. The first arms no more keypads and cancels the
  // downloads still waiting for their keypad, letting the transfers under
  // way finish; the second is StopNow.
  void RequestStop();
  // From any thread: every download stops now, a transfer after its
  // current byte (its keypad then holds an incomplete image).
  void StopNow();

 private:
  struct Slot;

  void Handle(StationMessage& message);
  void OnArrived(const KeypadDevice& device);
  void OnLeft(const KeypadDevice& device);
  void OnPhase(Slot& slot, DownloadPhase phase);
  void OnRunEnded(Slot& slot, const SlotOutcome& outcome);
  void KeepOutcome(Slot& slot, const SlotOutcome& outcome);
  void AfterOutcome(Slot& slot);
  void OnKeypadGone(Slot& slot);
  void OnLineUnusable(Slot& slot, const std::string& why);
  Slot& AddSlot(const std::string& name, const std::string& device, const std::string& serialNumber);
  Slot* FindSlot(const std::string& name);
  void Arm(Slot& slot);
  void BeginDrain(const std::string& why);
  void StopAll();
  bool Finished() const;
  void SetState(Slot& slot, SlotState state, StationEvent::Kind event);
  void Tell(StationEvent::Kind kind, std::size_t slot, std::string text = {});
  void Notice(std::string line) { Tell(StationEvent::Kind::Notice, 0, std::move(line)); }

  StationSetup setup_;
  StationParts parts_;
  StationMailbox mailbox_;
  std::vector<std::unique_ptr<Slot>> slots_;
  StationSnapshot snapshot_;  // slots_[i]'s status is snapshot_.slotList[i]
  StationSummary summary_;
  Clock::TimePoint start_{};
  bool draining_ = false;
  bool stoppingNow_ = false;
  std::size_t running_ = 0;  // downloads under way
  std::jthread monitorThread_;
};

}  // namespace lumivane
