#pragma once
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>

#include "download/DownloadHost.h"
#include "link/Clock.h"

namespace lumivane {

class DownloadChain;

// The download host of lumivane-cli: status lines go to stdout, one per
// line; the messages wait in a plain queue; the ready timer is a deadline
// checked by the loop, which waits on the clock for the next tick, a
// signal or a key on stdin (the keypad's "&Yes" and nibble keys on the
// PC/AT link).
//
// On a terminal (progress), one line that the next replaces counts the
// seconds waited for shift+load, and shows each pass of the transfer: bytes
// done of all, percent, rate and time left. Status lines end it first.
//
// Signals: while the download waits, SIGINT, SIGTERM and SIGHUP cancel it.
// During the transfer a first SIGINT is only noted; a second one, or
// SIGTERM or SIGHUP, stops the transfer after the current byte. Standard
// input at its end while a key is awaited ends the download too.
class CliHost : public DownloadHost {
 public:
  // out: where status lines go. keyInput: descriptor of typed keys, -1 for
  // none. interruptFd: a signalfd for the signals that end the download,
  // -1 for none. clock: the ready timer's and the key waits' time.
  // progress: the line of the wait and of the transfer's progress goes
  // there when not null (a terminal).
  CliHost(DownloadChoices choices, std::FILE* out, int keyInput, int interruptFd, Clock& clock,
          std::FILE* progress = nullptr);

  // Keeps a download's backup (see DownloadHost::SaveBackup); without a
  // writer, backups are refused.
  using BackupWriter =
      std::function<BackupResult(const std::string& path, const std::vector<std::uint8_t>& image)>;
  void SetBackupWriter(BackupWriter writer) { backupWriter_ = std::move(writer); }

  // Starts a download and runs its messages and timer ticks until it ends.
  void Run(DownloadChain& chain);
  // The signal that ended the download, 0 when none did.
  int endingSignal() const { return endingSignal_; }

  DownloadChoices ReadChoices() override { return choices_; }
  void Post(DownloadMessage message) override { queue_.push_back(message); }
  void StartReadyTimer(int periodMs) override;
  void StopReadyTimer() override { timerRunning_ = false; }
  void DeliverStopRequests() override;
  int WaitKeyPress(std::chrono::milliseconds timeout) override;
  std::vector<int> DiscardTypedKeys() override;
  // Redraws the count of seconds waited when a second has passed.
  void UpdateWaitLine();
  BackupResult SaveBackup(const std::string& path, const std::vector<std::uint8_t>& image) override {
    return backupWriter_ ? backupWriter_(path, image) : DownloadHost::SaveBackup(path, image);
  }
  // DownloadEvents
  void OnPhase(const PhaseChange& change) override;
  void OnLine(const std::string& line, LineKind kind) override;
  void OnProgress(const DownloadProgress& progress) override;
  void OnActivity(DownloadActivity activity) override;
  void OnOutcome(const DownloadOutcome&) override {}

 private:
  using TimePoint = Clock::TimePoint;

  // Waits until the next timer tick is due, an interrupt or a key arrives.
  void WaitForEvent(DownloadChain& chain);
  // Ends the line of the wait (erased) or of a pass (kept) before other output.
  void EndTransientLine();
  void BeginPass(const DownloadProgress& progress);
  void ShowPosition(std::uint32_t position);
  void DrawWaitLine();
  void DrawProgressLine();
  // A pending signal during the transfer: noted, or handed on as a stop.
  void HandleTransferSignal(int signalNumber);
  void Stop(int signalNumber);
  bool KeysCanArrive() const;
  // The next typed key as an upper-case character code, a code above 0xFFFF
  // for an escape sequence, -1 when none is readable now.
  int ReadKey();
  // True when the descriptor has something to read now (or its end).
  bool Readable(int fd);

  DownloadChoices choices_;
  std::FILE* out_;
  int keyInput_;
  int interruptFd_;
  Clock& clock_;
  std::FILE* progress_;
  DownloadChain* chain_ = nullptr;
  std::deque<DownloadMessage> queue_;
  bool timerRunning_ = false;
  std::chrono::milliseconds timerPeriod_{200};
  TimePoint nextTick_{};
  // The keypad confirms by typing "&Yes" now.
  bool yesAwaited_ = false;
  int endingSignal_ = 0;
  int transferInterrupts_ = 0;
  bool keyInputEnded_ = false;
  std::string pendingKeys_;  // bytes read with a key but not yet handed out
  BackupWriter backupWriter_;
  // What progress_ shows on its last line, which the next output replaces.
  enum class Transient { None, Wait, Pass };
  Transient transient_ = Transient::None;
  bool waiting_ = false;
  TimePoint waitStart_{};
  TimePoint nextWaitLine_{};
  std::string passLabel_ = "Transfer";
  bool passActive_ = false;
  std::uint32_t passTotal_ = 0;
  std::uint32_t passDone_ = 0;
  TimePoint passStart_{};
  TimePoint lastPassLine_{};
};

}  // namespace lumivane
