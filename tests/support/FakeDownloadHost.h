#pragma once
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ManualClock.h"
#include "download/DownloadHost.h"

namespace lumivane {
class DownloadChain;
}

namespace lumivane::test {

// A key source for FakeDownloadHost::keySource: takes the keys the keypad
// typed into `typed`, oldest first, and when none waits lets the whole
// timeout pass on `clock`.
inline std::function<int(std::chrono::milliseconds)> QueuedKeySource(std::deque<int>& typed,
                                                                     ManualClock& clock) {
  return [&typed, &clock](std::chrono::milliseconds timeout) {
    if (typed.empty()) {
      clock.Advance(timeout);
      return -1;
    }
    const int key = typed.front();
    typed.pop_front();
    return key;
  };
}

// A download host that records the chain's events and requests, and whose
// message queue and ready timer the test steps by hand.
class FakeDownloadHost : public DownloadHost {
 public:
  // A key the keypad types after `after` has passed (PC/AT answers).
  struct ScriptedKey {
    int key;
    std::chrono::milliseconds after{0};
  };

  // clock: moved forward by WaitKeyPress as time passes; may be null.
  explicit FakeDownloadHost(ManualClock* clock = nullptr) : clock_(clock) {}

  DownloadChoices choices;
  // Every event and request as a short text, in order: "phase:waiting"
  // ("phase:waiting:yes" when "&Yes" is awaited), "activity:busy",
  // "status:<line>", "detail:<line>", "lines:00012", "label:Verify" and
  // "range:609" (a pass begins), "bytes:00470" and "position:470" (a step),
  // "outcome", "post:translate", "timer:start:200", "timer:stop",
  // "backup:<path>".
  std::vector<std::string> calls;
  // Status and detail lines, in order.
  std::vector<std::string> statusLines;
  std::vector<DownloadPhase> phases;
  std::vector<DownloadOutcome> outcomes;
  std::deque<DownloadMessage> queue;
  std::deque<ScriptedKey> keys;
  bool timerRunning = false;
  // Progress steps after the first byte (where the window lets one pending event through).
  int steps = 0;
  // Runs at each of those steps, as a queued event would.
  std::function<void()> onStep;
  // Runs inside DeliverStopRequests (during the translation, after every
  // byte of the transfer).
  std::function<void()> onStopCheck;
  int stopChecks = 0;
  // Keys already typed and waiting for WaitKeyPress, ahead of `keys`.
  std::deque<int> typedKeys;
  // When set, WaitKeyPress asks it instead of taking from `keys`.
  std::function<int(std::chrono::milliseconds timeout)> keySource;
  // Backups kept by SaveBackup (path, image); a failure line makes it fail.
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> backups;
  std::string backupFailure;

  // Delivers the oldest queued message; false when the queue is empty.
  bool DeliverNext(DownloadChain& chain);
  // Delivers messages and, while none is queued, timer ticks, until neither
  // is left or `maxTicks` ticks have passed. Returns the ticks delivered.
  int Run(DownloadChain& chain, int maxTicks = 50);
  // The calls whose text starts with `prefix`, in order.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
  bool Called(const std::string& call) const;

  // DownloadHost
  DownloadChoices ReadChoices() override { return choices; }
  void Post(DownloadMessage message) override;
  void StartReadyTimer(int periodMs) override;
  void StopReadyTimer() override;
  void DeliverStopRequests() override;
  int WaitKeyPress(std::chrono::milliseconds timeout) override;
  BackupResult SaveBackup(const std::string& path, const std::vector<std::uint8_t>& image) override;
  std::vector<int> DiscardTypedKeys() override {
    std::vector<int> dropped(typedKeys.begin(), typedKeys.end());
    typedKeys.clear();
    return dropped;
  }
  // DownloadEvents
  void OnPhase(const PhaseChange& change) override;
  void OnLine(const std::string& line, LineKind kind) override;
  void OnLinesTranslated(int lines) override;
  void OnProgress(const DownloadProgress& progress) override;
  void OnActivity(DownloadActivity activity) override;
  void OnOutcome(const DownloadOutcome& outcome) override;

 private:
  void Record(std::string call) { calls.push_back(std::move(call)); }

  ManualClock* clock_;
};

const char* MessageName(DownloadMessage message);
// "00470"
std::string FiveDigits(unsigned value);

}  // namespace lumivane::test
