#include "download/DownloadChain.h"

#include <array>
#include <cstdio>
#include <memory>
#include <optional>

#include "link/Clock.h"
#include "link/DeviceLink.h"
#include "link/KeypadTransfer.h"
#include "download/FailureDetails.h"
#include "download/KeypadLinkChoice.h"
#include "download/ReadBackLines.h"
#include "translator/EmulatorTable.h"
#include "translator/ImageBuilder.h"
#include "translator/NibbleKeys.h"

namespace lumivane {

namespace {

constexpr const char* kIncompleteImageLine =
    "The Quintrel holds an incomplete image: download it again";

constexpr const char* kCancelledLine = "Operation cancelled by user";
constexpr const char* kNotSupportedLine = "Link option selected is not supported";
constexpr int kReadyTimerPeriodMs = 200;

std::string WaitLimitLine(std::chrono::milliseconds limit) {
  char text[80];
  std::snprintf(text, sizeof text, "The wait limit of %g s was reached",
                static_cast<double>(limit.count()) / 1000.0);
  return text;
}

std::string FiveDigits(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%05u", value);
  return text;
}

}  // namespace

struct DownloadChain::Impl : TransferObserver, LayerReadObserver {
  Impl(DownloadHost& host, LinkChannels channels, std::string programDirectory, bool autoRun)
      : host(host),
        channels(std::move(channels)),
        programDirectory(std::move(programDirectory)),
        autoRun(autoRun),
        clock(this->channels.clock != nullptr ? *this->channels.clock : steadyClock) {
    builder.SetLineCounterCallback([this](const std::string& text) { this->host.SetLinesTranslated(text); });
    builder.SetStopCheck([this] { return StopRequested(); });
  }

  // ---- Phases ----
  void StartDownload();
  void Translate();
  void OnReport();
  void OnReadyTimer();
  void OnYes();
  void OnTransfer();
  void CancelDownload();
  void RequestStop(std::vector<std::string> lines);
  void EndDownload();
  // Makes the chosen link and opens it; false when the download ended.
  bool PrepareLink(const DownloadChoices& choices);
  void StartWaitLimit(std::chrono::milliseconds limit);
  void StopWaitLimit();
  void StartTimer();
  void StopTimer();
  // The serial line failed while the download waited: a communication
  // time-out, with a line naming the port and the reason after it.
  void EndWithLostLine(const std::string& detail);
  // ReadLayer without a source: only the emulator, for the nibble keys.
  DownloadState LoadNibbleKeys(const std::string& emulatorPath, bool pcAtLink);
  // The end of a phase: its state and the line that tells more about a
  // failure; OnReport writes the state's line and then that one.
  void EndPhase(DownloadState ended, std::string detail) {
    state = ended;
    stateDetail = std::move(detail);
    Post(DownloadMessage::Report);
  }
  // A failure without a state of its own: its line (when due) and detail.
  void WriteFailure(const std::string& line, const std::string& detail) {
    if (!line.empty()) host.AddStatusLine(line);
    if (!detail.empty()) host.AddStatusLine(detail);
  }
  void SetWaiting(bool on) {
    if (waitingShown == on) return;
    waitingShown = on;
    host.ShowWaitingForKeypad(on);
  }
  // The two jobs of the transfer phase; each returns the state to report.
  DownloadState WriteImage(const DownloadChoices& choices, int layer);
  DownloadState ReadLayerBack(const DownloadChoices& choices, int layer);
  // Reads the target layer and hands it to the host; false when the
  // download must not write (the state to report is in *ended).
  bool BackUp(const DownloadChoices& choices, int layer, DownloadState* ended);
  // The end command after a job that wrote nothing; Timeout when the link
  // is broken or the end could not be delivered.
  DownloadState EndWithoutWriting();
  // The job's own outcome lines, written by the report instead of the state's.
  void SetOutcome(std::vector<std::string> lines, bool succeeded, JobFailure failure = JobFailure::None) {
    outcomeLines = std::move(lines);
    outcomeSucceeded = succeeded;
    jobFailure = failure;
  }

  void Post(DownloadMessage message) {
    pending = message;
    host.Post(message);
  }

  // TransferObserver: the counter field, the progress bar, and one queued
  // event every fourth byte so the window stays painted.
  void OnProgressStep(std::uint16_t counter) override {
    if (counter % 4 != 0) return;
    host.SetBytesTransferred(FiveDigits(counter));
    host.SetProgressPosition(counter);
    host.DispatchOnePendingEvent();
  }
  void OnDataWritten(std::uint16_t counter) override {
    host.SetBytesTransferred(FiveDigits(counter));
    host.SetProgressPosition(counter);
  }
  bool StopRequested() override {
    if (!stopLines) host.DeliverStopRequests();
    return stopLines.has_value();
  }
  // The verify pass and a read-back are passes of their own on the
  // progress bar and the byte counter.
  void OnVerifyBegin(std::uint32_t total) override {
    host.SetProgressLabel("Verify");
    BeginPass(total);
  }
  void OnVerifyStep(std::uint32_t checked) override { StepPass(checked); }
  void OnLayerReadBegin(std::uint32_t total) override { BeginPass(total); }
  void OnLayerReadStep(std::uint32_t read) override { StepPass(read); }
  void BeginPass(std::uint32_t total) {
    passTotal = total;
    host.SetProgressRange(static_cast<int>(total));
    host.SetProgressPosition(0);
    host.SetBytesTransferred(FiveDigits(0));
  }
  void StepPass(std::uint32_t done) {
    if (done % 4 != 0 && done != passTotal) return;
    host.SetBytesTransferred(FiveDigits(done));
    host.SetProgressPosition(static_cast<int>(done));
    host.DispatchOnePendingEvent();
  }

  DownloadHost& host;
  LinkChannels channels;
  std::string programDirectory;
  bool autoRun;
  SteadyClock steadyClock;
  Clock& clock;
  ImageBuilder builder;
  // The link of the current download, made once the image is ready.
  std::unique_ptr<DeviceLink> link;

  DownloadState state = DownloadState::None;
  bool running = false;
  bool cancelled = false;
  bool transferring = false;
  // While the translation runs: a stop request waits for it to return.
  bool translating = false;
  // From the transfer's start until the download ends: its report is due.
  bool transferBegun = false;
  bool successReported = false;
  bool lastSucceeded = false;
  // Set by RequestStop during the translation or the transfer; written
  // once that phase has returned.
  std::optional<std::vector<std::string>> stopLines;
  bool transferStopped = false;
  // The wait for shift+load ends here when a limit is set. On the PC/AT
  // link, which has no identity to poll, the timer runs for the limit.
  std::optional<Clock::TimePoint> waitDeadline;
  std::chrono::milliseconds waitLimit{0};
  bool timerRunning = false;
  // The line the report writes after the state's line: which file, port,
  // device or node, and why.
  std::string stateDetail;
  // The room the placement found, for a refused placement's detail.
  LayerRoom layerRoom;
  // The host shows the wait for shift+load.
  bool waitingShown = false;
  // Why LoadNibbleKeys failed.
  std::string loadDetail;
  // The one download message this download still expects; a message that
  // outlived its download (Cancel came first) is ignored.
  std::optional<DownloadMessage> pending;

  KeypadJob job = KeypadJob::Download;
  std::array<char, 16> nibbleKeys{};
  std::uint32_t passTotal = 0;
  VerifyReport verifyReport;
  LayerRead layerRead;
  // Set once the transfer may have written to the keypad: a stop after
  // that leaves an incomplete image.
  bool writesBegun = false;
  // Lines that replace the state's line in the report, and whether they
  // tell a success.
  std::optional<std::vector<std::string>> outcomeLines;
  bool outcomeSucceeded = false;
  JobFailure jobFailure = JobFailure::None;
};

void DownloadChain::Impl::StartDownload() {
  if (running) return;
  cancelled = false;
  host.ShowDownloadControls();
  running = true;
  successReported = false;
  transferBegun = false;
  stopLines.reset();
  transferStopped = false;
  stateDetail.clear();
  layerRoom = LayerRoom{};
  verifyReport = VerifyReport{};
  layerRead = LayerRead{};
  writesBegun = false;
  outcomeLines.reset();
  outcomeSucceeded = false;
  jobFailure = JobFailure::None;
  link.reset();
  Post(DownloadMessage::Translate);
}

void DownloadChain::Impl::Translate() {
  host.SetWaitCursor(true);
  const DownloadChoices choices = host.ReadChoices();
  TranslationInput input;
  input.sourcePath = choices.sourcePath;
  input.emulatorPath = !choices.emulatorFile.empty()
                           ? choices.emulatorFile
                           : programDirectory + choices.emulatorName + ".emu";
  input.keysText = choices.keysText;
  input.pcAtLink = choices.link == LinkKind::PcAt;
  job = choices.job;
  const bool translates = job == KeypadJob::Download || !choices.sourcePath.empty();
  translating = true;
  if (translates) {
    state = builder.Translate(input);
    nibbleKeys = builder.nibbleKeys();
  } else {
    state = LoadNibbleKeys(input.emulatorPath, input.pcAtLink);
  }
  translating = false;
  if (translates && builder.stopped()) {
    // A signal during the translation ends the download as a cancel does.
    host.SetWaitCursor(false);
    const std::vector<std::string> lines = stopLines.value_or(std::vector<std::string>{kCancelledLine});
    stopLines.reset();
    cancelled = true;
    for (const std::string& line : lines) host.AddStatusLine(line);
    EndDownload();
    return;
  }
  // A source or emulator that cannot be used says which file and why; a
  // layout name that matched no file, which folders were searched.
  std::string detail = translates ? builder.detailLine() : loadDetail;
  if (state == DownloadState::EmulatorUnavailable) {
    const std::string missing =
        MissingLayoutDetailFor(choices.emulatorName, input.emulatorPath, choices.emulatorDirectories);
    if (!missing.empty()) detail = missing;
  }
  EndPhase(state, std::move(detail));
}

void DownloadChain::Impl::OnReport() {
  host.SetWaitCursor(false);
  host.Beep();
  if (transferStopped) {
    for (const std::string& line : *stopLines) host.AddStatusLine(line);
    if (verifyReport.endSent) {
      host.AddStatusLine(kUnverifiedLine);
    } else if (writesBegun) {
      host.AddStatusLine(kIncompleteImageLine);
    }
    EndDownload();
    return;
  }
  if (outcomeLines) {
    for (const std::string& line : *outcomeLines) host.AddStatusLine(line);
    successReported = outcomeSucceeded;
    EndDownload();
    return;
  }
  switch (state) {
    case DownloadState::ImageReady: {
      host.SetLinesTranslated(FiveDigits(builder.lineNumber()));
      const DownloadChoices choices = host.ReadChoices();
      if (PrepareLink(choices)) {
        host.AddStatusLine("Press (shift+load) on the Quintrel to continue");
        SetWaiting(true);
        if (choices.waitLimit.count() > 0) StartWaitLimit(choices.waitLimit);
      }
      return;
    }
    case DownloadState::TranslationError:
      host.SetLinesTranslated(FiveDigits(builder.lineNumber()));
      [[fallthrough]];
    default:
      // Every outcome with a state: its line, then the line that tells more.
      if (const char* line = StatusLineFor(state)) {
        WriteFailure(line, stateDetail);
        stateDetail.clear();
        successReported = state == DownloadState::Success;
        EndDownload();
      }
      return;
  }
}

bool DownloadChain::Impl::PrepareLink(const DownloadChoices& choices) {
  link = MakeKeypadLink(choices, channels, clock, host, nibbleKeys);
  LinkOpening opening{LinkOpening::End::Refused, kNotSupportedLine, UnsupportedLinkDetail(choices.link)};
  if (link) {
    link->SetStopCheck([this] { return StopRequested(); });
    opening = link->Prepare([this](const std::string& line) { host.AddStatusLine(line); });
  }
  switch (opening.end) {
    case LinkOpening::End::Ready: break;
    case LinkOpening::End::Refused:
      WriteFailure(opening.line, opening.detail);
      jobFailure = JobFailure::LinkNotPrepared;
      EndDownload();
      return false;
    case LinkOpening::End::LineLost: EndWithLostLine(opening.detail); return false;
  }
  if (link->PollsIdentity()) {
    StartTimer();
  } else {
    host.SetYesEnabled(true);
  }
  return true;
}

void DownloadChain::Impl::StartWaitLimit(std::chrono::milliseconds limit) {
  waitLimit = limit;
  waitDeadline = clock.Now() + limit;
  if (!timerRunning) StartTimer();
}

void DownloadChain::Impl::StopWaitLimit() {
  waitDeadline.reset();
  StopTimer();
}

void DownloadChain::Impl::StartTimer() {
  host.StartReadyTimer(kReadyTimerPeriodMs);
  timerRunning = true;
}

void DownloadChain::Impl::StopTimer() {
  if (!timerRunning) return;
  host.StopReadyTimer();
  timerRunning = false;
}

void DownloadChain::Impl::OnReadyTimer() {
  if (!running || transferring || !timerRunning) return;
  const IdentityPoll poll = link->PollsIdentity() ? link->PollIdentity() : IdentityPoll{};
  if (poll.answer == IdentityAnswer::NotYet) {
    if (waitDeadline && clock.Now() >= *waitDeadline) {
      jobFailure = JobFailure::WaitEnded;
      RequestStop({kCancelledLine, WaitLimitLine(waitLimit)});
    }
    return;
  }
  StopWaitLimit();
  switch (poll.answer) {
    case IdentityAnswer::NotYet: return;
    case IdentityAnswer::Right:
      SetWaiting(false);
      Post(DownloadMessage::Transfer);
      return;
    case IdentityAnswer::Wrong:
      SetWaiting(false);
      EndPhase(DownloadState::WrongDeviceId, poll.detail);
      return;
    case IdentityAnswer::DeviceGone:
      WriteFailure(poll.line, poll.detail);
      jobFailure = JobFailure::LinkNotPrepared;
      EndDownload();
      return;
    case IdentityAnswer::LineLost: EndWithLostLine(poll.detail); return;
  }
}

void DownloadChain::Impl::EndWithLostLine(const std::string& detail) {
  SetWaiting(false);
  EndPhase(DownloadState::Timeout, detail);
}

void DownloadChain::Impl::OnYes() {
  if (!running || transferring) return;
  if (state == DownloadState::ImageReady && link && !link->PollsIdentity() && !pending) {
    StopWaitLimit();
    SetWaiting(false);
    Post(DownloadMessage::Transfer);
  }
  host.FocusCancel();
  host.SetYesEnabled(false);
}

void DownloadChain::Impl::OnTransfer() {
  host.SetCancelEnabled(false);
  if (cancelled) return;
  transferring = true;
  transferBegun = true;
  host.SetWaitCursor(true);
  const DownloadChoices choices = host.ReadChoices();
  const int layer = choices.layer == 2 ? 2 : 1;
  const DownloadState ended =
      job == KeypadJob::ReadLayer ? ReadLayerBack(choices, layer) : WriteImage(choices, layer);
  std::string detail;
  if (ended == DownloadState::Timeout) detail = link->faultDetail();
  if (ended == DownloadState::NoMemory) detail = NoMemoryDetail(builder.imageLength(), layerRoom);
  transferring = false;
  transferStopped = ended == DownloadState::None;
  EndPhase(ended, std::move(detail));
}

DownloadState DownloadChain::Impl::WriteImage(const DownloadChoices& choices, int layer) {
  host.SetProgressLabel("Transfer");
  host.SetProgressRange(builder.imageLength());
  host.AddStatusLine("Transfer in progress");
  DownloadState ended = DownloadState::None;
  if (!choices.backupPath.empty()) {
    if (!BackUp(choices, layer, &ended)) return ended;
    host.SetProgressLabel("Transfer");
    host.SetProgressRange(builder.imageLength());  // the write's own pass
  }
  const TransferImage image{builder.image(), builder.imageLength(), builder.tableSize()};
  TransferOptions options;
  options.verify = choices.verify;
  writesBegun = true;
  const DownloadState written = RunTransfer(*link, image, layer, *this, options, &verifyReport, &layerRoom);
  if (written == DownloadState::Success && options.verify) {
    // Complete: the pass ran to its end, and the end command went out.
    if (verifyReport.differing == 0) {
      SetOutcome({VerifiedLine(verifyReport), StatusLineFor(DownloadState::Success)}, true);
    } else {
      SetOutcome({VerifyFailedLine(verifyReport)}, false, JobFailure::VerifyFailed);
    }
  }
  return written;
}

bool DownloadChain::Impl::BackUp(const DownloadChoices& choices, int layer, DownloadState* ended) {
  host.SetProgressLabel("Backup");
  layerRead = ReadLayer(*link, layer, *this, choices.readTableEnd);
  switch (layerRead.end) {
    case LayerReadEnd::Read: break;
    case LayerReadEnd::NoImage:
      // Nothing to keep: the download goes on, and says so.
      host.AddStatusLine(NothingToBackUpLine(layer, choices.backupPath));
      return true;
    case LayerReadEnd::LinkFailed: *ended = DownloadState::Timeout; return false;
    case LayerReadEnd::Stopped:
      // Nothing was written: the keypad can leave load mode.
      EndWithoutWriting();
      *ended = DownloadState::None;
      return false;
  }
  const std::vector<std::uint8_t> image = layerRead.Image();
  const BackupResult saved = host.SaveBackup(choices.backupPath, image);
  if (!saved.kept) {
    host.AddStatusLine(saved.failureLine);
    *ended = EndWithoutWriting();
    if (*ended != DownloadState::Timeout) SetOutcome({}, false, JobFailure::BackupUnwritable);
    return false;
  }
  host.AddStatusLine(BackedUpLine(layer, choices.backupPath, image.size()));
  return true;
}

DownloadState DownloadChain::Impl::ReadLayerBack(const DownloadChoices& choices, int layer) {
  host.AddStatusLine(kReadInProgressLine);
  host.SetProgressLabel("Read");
  layerRead = ReadLayer(*link, layer, *this, choices.readTableEnd);
  switch (layerRead.end) {
    case LayerReadEnd::LinkFailed: return DownloadState::Timeout;
    case LayerReadEnd::Stopped: EndWithoutWriting(); return DownloadState::None;
    case LayerReadEnd::NoImage:
    case LayerReadEnd::Read: break;
  }
  const DownloadState ended = EndWithoutWriting();
  if (ended != DownloadState::Success) return ended;
  if (layerRead.end == LayerReadEnd::NoImage) {
    SetOutcome({NoImageLine(layer, layerRead.noImageReason)}, false, JobFailure::LayerEmpty);
  } else {
    SetOutcome({}, true);
  }
  return ended;
}

DownloadState DownloadChain::Impl::EndWithoutWriting() {
  if (link->fault() != LinkFault::None) return DownloadState::Timeout;
  link->EndWrite();
  link->ConfirmDelivery();
  return link->fault() == LinkFault::None ? DownloadState::Success : DownloadState::Timeout;
}

DownloadState DownloadChain::Impl::LoadNibbleKeys(const std::string& emulatorPath, bool pcAtLink) {
  loadDetail.clear();
  if (!pcAtLink) return DownloadState::ImageReady;
  EmulatorTable emulator(emulatorPath);
  if (!emulator.IsLoaded()) {
    loadDetail = EmulatorFailureDetail(emulatorPath, emulator);
    return DownloadState::EmulatorUnavailable;
  }
  if (!DeriveNibbleKeys(emulator, &nibbleKeys)) {
    loadDetail = emulatorPath + ": " + MissingNibbleKeysReason(nibbleKeys);
    return DownloadState::EmulatorUnavailable;
  }
  return DownloadState::ImageReady;
}

void DownloadChain::Impl::CancelDownload() {
  // Once the transfer has begun it runs to its report.
  if (!running || transferBegun) return;
  if (translating) {
    // Ends when the translation has returned.
    RequestStop({kCancelledLine});
    return;
  }
  cancelled = true;
  host.AddStatusLine(kCancelledLine);
  EndDownload();
}

void DownloadChain::Impl::RequestStop(std::vector<std::string> lines) {
  if (!running) return;
  if (translating) {
    // The translation polls StopRequested and returns; Translate ends the download.
    if (!stopLines) stopLines = std::move(lines);
    return;
  }
  if (stopLines) return;
  if (transferBegun) {
    // A transfer that has already returned reports its own outcome next.
    if (transferring) stopLines = std::move(lines);
    return;
  }
  cancelled = true;
  for (const std::string& line : lines) host.AddStatusLine(line);
  EndDownload();
}

void DownloadChain::Impl::EndDownload() {
  SetWaiting(false);
  host.ShowIdleControls();
  StopWaitLimit();
  if (link) link->Release();
  host.SetProgressPosition(0);
  pending.reset();
  running = false;
  lastSucceeded = successReported;
  if (autoRun) host.RequestClose();
}

DownloadChain::DownloadChain(DownloadHost& host, LinkChannels channels, std::string programDirectory,
                             bool autoRun)
    : impl_(std::make_unique<Impl>(host, std::move(channels), std::move(programDirectory), autoRun)) {}

DownloadChain::~DownloadChain() = default;

void DownloadChain::StartDownload() { impl_->StartDownload(); }
void DownloadChain::CancelDownload() { impl_->CancelDownload(); }

void DownloadChain::OnMessage(DownloadMessage message) {
  Impl& d = *impl_;
  if (!d.running || d.pending != message) return;
  d.pending.reset();
  switch (message) {
    case DownloadMessage::Translate: d.Translate(); break;
    case DownloadMessage::Report: d.OnReport(); break;
    case DownloadMessage::Transfer: d.OnTransfer(); break;
  }
}

void DownloadChain::OnReadyTimer() { impl_->OnReadyTimer(); }
void DownloadChain::OnYes() { impl_->OnYes(); }
void DownloadChain::RequestStop(std::vector<std::string> lines) { impl_->RequestStop(std::move(lines)); }
bool DownloadChain::IsRunning() const { return impl_->running; }
bool DownloadChain::IsTransferring() const { return impl_->running && impl_->transferBegun; }
bool DownloadChain::StopRequested() const { return impl_->stopLines.has_value(); }
DownloadState DownloadChain::state() const { return impl_->state; }
bool DownloadChain::LastDownloadSucceeded() const { return impl_->lastSucceeded; }
const ImageBuilder& DownloadChain::builder() const { return impl_->builder; }
JobFailure DownloadChain::jobFailure() const { return impl_->jobFailure; }
const LayerRead& DownloadChain::layerRead() const { return impl_->layerRead; }
const VerifyReport& DownloadChain::verifyReport() const { return impl_->verifyReport; }
bool DownloadChain::MayWriteKeypad() const { return impl_->job == KeypadJob::Download; }

}  // namespace lumivane
