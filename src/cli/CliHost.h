#pragma once
#include <chrono>
#include <cstdio>
#include <string>

#include "download/ChainDriver.h"
#include "download/DownloadEvents.h"
#include "link/Clock.h"

namespace lumivane {

// How lumivane-cli shows a download and takes its signals. Status and
// detail lines go to `out`, one per line; the download runs on a
// ChainDriver, which waits on the clock for the next timer tick, a signal
// or a key on the key input (the keypad's "&Yes" and nibble keys on the
// PC/AT link).
//
// On a terminal (progress), one line that the next replaces counts the
// seconds waited for shift+load, and shows each pass of the transfer: bytes
// done of all, percent, rate and time left. Status lines end it first.
//
// Signals: while the download waits, SIGINT, SIGTERM and SIGHUP cancel it.
// During the transfer a first SIGINT is only noted; a second one, or
// SIGTERM or SIGHUP, stops the transfer after the current byte. The key
// input at its end while a key is awaited ends the download too.
class CliHost : public DownloadEvents {
 public:
  // out: where status lines go. keyInput: descriptor of typed keys, -1 for
  // none. interruptFd: a signalfd for the signals that end the download,
  // -1 for none. clock: the ready timer's and the key waits' time.
  // progress: the line of the wait and of the transfer's progress goes
  // there when not null (a terminal).
  CliHost(DownloadChoices choices, std::FILE* out, int keyInput, int interruptFd, Clock& clock,
          std::FILE* progress = nullptr, ChainDriver::BackupWriter saveBackup = {});

  // The host a DownloadChain run by Run is made with.
  ChainDriver& driver() { return driver_; }
  // Starts a download and runs it until it ends.
  void Run(DownloadChain& chain) { driver_.Run(chain); }
  // The signal that ended the download, 0 when none did.
  int endingSignal() const { return endingSignal_; }

  // DownloadEvents
  void OnPhase(const PhaseChange& change) override;
  void OnLine(const std::string& line, LineKind kind) override;
  void OnProgress(const DownloadProgress& progress) override;
  void OnActivity(DownloadActivity activity) override;
  void OnOutcome(const DownloadOutcome&) override {}

 private:
  using TimePoint = Clock::TimePoint;

  // Ends the line of the wait (erased) or of a pass (kept) before other output.
  void EndTransientLine();
  void BeginPass(const DownloadProgress& progress);
  void ShowPosition(std::uint32_t position);
  void DrawWaitLine();
  void DrawProgressLine();
  // Redraws the count of seconds waited when a second has passed.
  void UpdateWaitLine();
  // A pending signal: during the transfer noted or handed on as a stop,
  // else a stop at once.
  void CheckSignals();
  void Stop(int signalNumber);

  std::FILE* out_;
  int interruptFd_;
  Clock& clock_;
  std::FILE* progress_;
  ChainDriver driver_;
  int endingSignal_ = 0;
  int transferInterrupts_ = 0;
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
