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

// A download host that records every call, in order, and whose message
// queue and ready timer the test steps by hand.
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
  // Every call as a short text: "status:<line>", "lines:00012", "bytes:00470",
  // "range:470", "position:0", "label:Verify", "waiting:1", "controls:download", "controls:idle",
  // "cancel:0", "yes:1", "focus:cancel", "cursor:wait", "cursor:normal",
  // "beep", "post:translate", "timer:start:200", "timer:stop", "dispatch", "close".
  std::vector<std::string> calls;
  std::vector<std::string> statusLines;
  std::deque<DownloadMessage> queue;
  std::deque<ScriptedKey> keys;
  bool timerRunning = false;
  bool closeRequested = false;
  int dispatches = 0;
  // Runs inside DispatchOnePendingEvent, as a queued event would.
  std::function<void()> onDispatch;
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
  void AddStatusLine(const std::string& line) override;
  void SetLinesTranslated(const std::string& text) override { Record("lines:" + text); }
  void SetBytesTransferred(const std::string& text) override { Record("bytes:" + text); }
  void SetProgressRange(int maximum) override { Record("range:" + std::to_string(maximum)); }
  void SetProgressPosition(int position) override { Record("position:" + std::to_string(position)); }
  void SetProgressLabel(const std::string& label) override { Record("label:" + label); }
  void ShowWaitingForKeypad(bool waiting) override { Record(waiting ? "waiting:1" : "waiting:0"); }
  void ShowDownloadControls() override { Record("controls:download"); }
  void ShowIdleControls() override { Record("controls:idle"); }
  void SetCancelEnabled(bool enabled) override { Record(enabled ? "cancel:1" : "cancel:0"); }
  void SetYesEnabled(bool enabled) override { Record(enabled ? "yes:1" : "yes:0"); }
  void FocusCancel() override { Record("focus:cancel"); }
  void SetWaitCursor(bool on) override { Record(on ? "cursor:wait" : "cursor:normal"); }
  void Beep() override { Record("beep"); }
  void Post(DownloadMessage message) override;
  void StartReadyTimer(int periodMs) override;
  void StopReadyTimer() override;
  void DispatchOnePendingEvent() override;
  void DeliverStopRequests() override;
  void RequestClose() override;
  int WaitKeyPress(std::chrono::milliseconds timeout) override;
  BackupResult SaveBackup(const std::string& path, const std::vector<std::uint8_t>& image) override;
  std::vector<int> DiscardTypedKeys() override {
    std::vector<int> dropped(typedKeys.begin(), typedKeys.end());
    typedKeys.clear();
    return dropped;
  }

 private:
  void Record(std::string call) { calls.push_back(std::move(call)); }

  ManualClock* clock_;
};

const char* MessageName(DownloadMessage message);

}  // namespace lumivane::test
