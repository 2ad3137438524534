#pragma once
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/DownloadHost.h"
#include "link/Clock.h"

namespace lumivane {

class DownloadChain;

// What a ChainDriver takes in besides the chain's own messages and timer.
struct ChainDriverInputs {
  using BackupWriter =
      std::function<BackupResult(const std::string& path, const std::vector<std::uint8_t>& image)>;

  // Descriptor of typed keys, -1 for none. A key arrives as one read;
  // 'Y' or a line end is the keypad's "&Yes" while it is awaited.
  int keyInput = -1;
  // A descriptor whose input may hold a stop (a signalfd), -1 for none:
  // the loop wakes for it and calls checkStops, as the chain's stop
  // checks do during its long steps.
  int stopInput = -1;
  std::function<void()> checkStops;
  // When the sink wants to redraw a line of its own (the seconds waited),
  // and the redraw; the loop wakes for it.
  std::function<std::optional<Clock::TimePoint>()> nextRedraw;
  std::function<void()> redraw;
  // Keeps a download's backup; without one, backups are refused.
  BackupWriter saveBackup;
};

// Runs one download chain to its end on the calling thread, without Qt:
// the chain's message queue, its ready timer on the given clock, stop
// requests (from any thread), and optionally the keypad's keys from a
// descriptor (the PC/AT link: "&Yes" and the nibble keys). The chain's
// events go to the given sink. lumivane-cli runs its downloads on one;
// several may run at once, one per thread, sharing nothing.
class ChainDriver : public DownloadHost {
 public:
  using BackupWriter = ChainDriverInputs::BackupWriter;
  using Inputs = ChainDriverInputs;

  ChainDriver(DownloadChoices choices, DownloadEvents& sink, Clock& clock, Inputs inputs = {});
  ~ChainDriver() override;
  ChainDriver(const ChainDriver&) = delete;
  ChainDriver& operator=(const ChainDriver&) = delete;

  // Starts the chain's download and runs its messages, timer ticks, keys
  // and stop requests until it has ended. The chain must use this driver
  // as its host.
  void Run(DownloadChain& chain);
  // From any thread: ends the download as DownloadChain::RequestStop does,
  // as soon as the running chain looks.
  void RequestStop(std::vector<std::string> lines);
  // On the driver's thread (from checkStops): the same, at once.
  void StopNow(std::vector<std::string> lines);
  // The chain being run, null outside Run.
  const DownloadChain* chain() const { return chain_; }

  // DownloadHost
  DownloadChoices ReadChoices() override { return choices_; }
  void Post(DownloadMessage message) override { queue_.push_back(message); }
  void StartReadyTimer(int periodMs) override;
  void StopReadyTimer() override { timerRunning_ = false; }
  void DeliverStopRequests() override;
  BackupResult SaveBackup(const std::string& path, const std::vector<std::uint8_t>& image) override;
  int WaitKeyPress(std::chrono::milliseconds timeout) override;
  std::vector<int> DiscardTypedKeys() override;
  // DownloadEvents, handed on to the sink.
  void OnPhase(const PhaseChange& change) override;
  void OnLine(const std::string& line, LineKind kind) override { sink_.OnLine(line, kind); }
  void OnLinesTranslated(int lines) override { sink_.OnLinesTranslated(lines); }
  void OnProgress(const DownloadProgress& progress) override { sink_.OnProgress(progress); }
  void OnActivity(DownloadActivity activity) override { sink_.OnActivity(activity); }
  void OnOutcome(const DownloadOutcome& outcome) override { sink_.OnOutcome(outcome); }

 private:
  using TimePoint = Clock::TimePoint;

  // Waits until the next timer tick is due, a stop or a key arrives.
  void WaitForEvent();
  void TakeStops();
  void Tick();
  bool KeysCanArrive() const;
  // The next typed key as an upper-case character code, a code above 0xFFFF
  // for an escape sequence, -1 when none is readable now.
  int ReadKey();
  // True when the descriptor has something to read now (or its end).
  bool Readable(int fd);

  DownloadChoices choices_;
  DownloadEvents& sink_;
  Clock& clock_;
  Inputs inputs_;
  DownloadChain* chain_ = nullptr;
  std::deque<DownloadMessage> queue_;
  bool timerRunning_ = false;
  std::chrono::milliseconds timerPeriod_{200};
  TimePoint nextTick_{};
  // The keypad confirms by typing "&Yes" now.
  bool yesAwaited_ = false;
  bool keyInputEnded_ = false;
  std::string pendingKeys_;  // bytes read with a key but not yet handed out
  // Stop requests from other threads; wake_ (an eventfd) wakes the loop.
  std::mutex stopMutex_;
  std::optional<std::vector<std::string>> requestedStop_;
  std::atomic<bool> stopWaiting_{false};
  int wake_ = -1;
};

}  // namespace lumivane
