#pragma once
// The inside of DownloadChain, shared by its two source files: the phases
// and messages (DownloadChain.cpp), the jobs of the transfer phase
// (DownloadJobs.cpp).
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/DownloadChain.h"
#include "link/Clock.h"
#include "link/DeviceLink.h"
#include "link/KeypadTransfer.h"
#include "link/LayerReader.h"

namespace lumivane {

inline constexpr const char* kCancelledLine = "Operation cancelled by user";

// Everything one download knows, from Download to its outcome; a new run
// starts from a fresh one.
struct DownloadRun {
  DownloadPhase phase = DownloadPhase::Idle;
  DownloadActivity activity = DownloadActivity::None;
  DownloadChoices choices;
  // The one download message this run still expects; a message that
  // outlived its run (Cancel came first) is ignored.
  std::optional<DownloadMessage> pending;
  // Inside the translation or the transfer, which run without returning to
  // the host: a request that arrives meanwhile (through the host's event
  // dispatch) is held for the step to see.
  bool inStep = false;
  // Set by RequestStop during the translation or the transfer; written
  // once that step has returned.
  std::optional<std::vector<std::string>> stopLines;
  std::unique_ptr<DeviceLink> link;
  std::array<char, 16> nibbleKeys{};
  bool timerRunning = false;
  // The wait for shift+load ends here when a limit is set.
  std::optional<Clock::TimePoint> waitDeadline;
  // The state of the last phase and the line that tells more about a
  // failure; the report writes the state's line and then that one.
  DownloadState state = DownloadState::None;
  std::string stateDetail;
  // Lines that replace the state's line in the report (a verify pass, a
  // failed backup, an empty layer), and the outcome they tell.
  std::optional<std::vector<std::string>> jobLines;
  DownloadOutcome outcome;
  // Set once the transfer may have written to the keypad: a stop after
  // that leaves an incomplete image.
  bool writesBegun = false;
  // The pass the progress events count, and its total.
  ProgressPass pass = ProgressPass::Transfer;
  std::uint32_t passTotal = 0;
  // The room the placement found, for a refused placement's detail.
  LayerRoom layerRoom;
  VerifyReport verifyReport;
  LayerRead layerRead;
};

struct DownloadChain::Impl : TransferObserver, LayerReadObserver {
  Impl(DownloadHost& host, LinkChannels channels, std::string programDirectory);

  // ---- Phases (DownloadChain.cpp) ----
  void StartDownload();
  void OnMessage(DownloadMessage message);
  void Translate();
  void OnReport();
  void Prepare();
  void OnReadyTimer();
  void OnYes();
  void OnTransfer();
  void CancelDownload();
  void RequestStop(std::vector<std::string> lines);
  // Every change of phase goes through here.
  void EnterPhase(DownloadPhase to);
  void SetActivity(DownloadActivity activity);
  void StartTimer();
  void StopTimer();
  // The transfer may start: the keypad answered or confirmed.
  void BeginTransfer();
  // The end of a phase: its state and detail, told by the next report.
  void EndPhase(DownloadState ended, std::string detail);
  // The report of a phase that ended the run: its lines, then the end.
  void ReportEnd();
  // A failure told at once: its line (when due) and its detail, then the end.
  void EndWithFailure(const std::string& line, const std::string& detail, int exitStatus);
  // A stop or cancel before the transfer: the lines, then the end.
  void EndStopped(const std::vector<std::string>& lines);
  void EndRun();
  void Tell(const std::string& line, LineKind kind = LineKind::Status);

  // ---- Jobs of the transfer phase (DownloadJobs.cpp) ----
  DownloadState WriteImage(int layer);
  DownloadState ReadLayerBack(int layer);
  // Reads the target layer and hands it to the host. Nothing when the
  // download goes on; else the state to report, and nothing is written.
  std::optional<DownloadState> BackUp(int layer);
  // The end command after a job that wrote nothing; Timeout when the link
  // is broken or the end could not be delivered.
  DownloadState EndWithoutWriting();
  // ReadLayer without a source: only the emulator, for the nibble keys.
  // ImageReady, or EmulatorUnavailable with the line that tells why.
  struct NibbleKeysLoad {
    DownloadState state = DownloadState::ImageReady;
    std::string detail;
  };
  NibbleKeysLoad LoadNibbleKeys(const std::string& emulatorPath, bool pcAtLink);
  // The job's own outcome: the lines the report writes in place of the
  // state's, its status line and detail, and its exit status (0: success).
  void SetJobOutcome(std::vector<std::string> lines, std::string statusLine, std::string detail,
                     int exitStatus);
  // The lines of a transfer that was stopped.
  std::vector<std::string> StoppedTransferLines() const;

  // TransferObserver and LayerReadObserver: the progress events, at every
  // fourth byte and at each pass's end.
  void OnProgressStep(std::uint16_t counter) override;
  void OnDataWritten(std::uint16_t counter) override;
  bool StopRequested() override;
  void OnVerifyBegin(std::uint32_t total) override;
  void OnVerifyStep(std::uint32_t checked) override { StepPass(checked); }
  void OnLayerReadBegin(std::uint32_t total) override { BeginPass(pass(), total); }
  void OnLayerReadStep(std::uint32_t read) override { StepPass(read); }
  void BeginPass(ProgressPass pass, std::uint32_t total);
  void StepPass(std::uint32_t done);
  ProgressPass pass() const { return run_.pass; }

  DownloadHost& host_;
  LinkChannels channels_;
  std::string programDirectory_;
  SteadyClock steadyClock_;
  Clock& clock_;
  ImageBuilder builder_;
  // The image a download writes: builder_'s, or one translated elsewhere.
  const ImageBuilder* translated_ = nullptr;
  const ImageBuilder& image() const { return translated_ != nullptr ? *translated_ : builder_; }
  DownloadRun run_;
};

}  // namespace lumivane
