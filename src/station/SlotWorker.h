#pragma once
#include <chrono>
#include <cstddef>
#include <stop_token>
#include <string>
#include <thread>

#include "link/Clock.h"
#include "station/SlotRunner.h"
#include "station/StationMailbox.h"

namespace lumivane {

// The thread of one slot: one download at a time, or on RS232 the watch
// for its keypad to leave the line. Whatever that thread waits for, only
// this slot waits: the station's thread hears of it through the mailbox.
class SlotWorker : private SlotEvents {
 public:
  // An RS232 keypad counts as gone after this many probes in a row that
  // nobody answered, so that one lost answer does not arm a slot whose
  // keypad is still there.
  static constexpr int kSilentProbesForGone = 2;

  SlotWorker(StationMailbox& mailbox, std::size_t slot) : mailbox_(mailbox), slot_(slot) {}
  ~SlotWorker() override;  // asks both stops and joins
  SlotWorker(const SlotWorker&) = delete;
  SlotWorker& operator=(const SlotWorker&) = delete;

  // Runs one download on a new thread; its last message is RunEnded.
  void StartRun(SlotRunner& runner, SlotTarget target);
  // Probes `port` every `interval` on a new thread until its keypad is
  // gone (KeypadGone) or the stop. A line that cannot be used is told once
  // (LineUnusable) and watched on: once it can be used again, its keypad
  // counts as gone, for it was taken off the line.
  void StartWatch(PresenceProbe& probe, std::string port, Clock& clock, std::chrono::milliseconds interval);

  void StopBeforeWriting() { beforeWriting_.request_stop(); }
  void StopNow();
  // Waits for the thread, which has ended or is ending (after its last message, or a stop).
  void Join();

 private:
  void OnPhase(DownloadPhase phase) override;
  void OnProgress(const PassProgress& progress) override;
  void Watch(PresenceProbe& probe, const std::string& port, Clock& clock, std::chrono::milliseconds interval,
             std::stop_token stop);

  StationMailbox& mailbox_;
  std::size_t slot_;
  std::stop_source beforeWriting_;
  std::stop_source now_;
  std::thread thread_;
};

}  // namespace lumivane
