#include "download/DownloadChain.h"

#include <cstdio>
#include <cstdlib>

#include "common/ExitStatus.h"
#include "download/DownloadChainImpl.h"
#include "download/FailureDetails.h"
#include "download/KeypadLinkChoice.h"
#include "download/ReadBackLines.h"

namespace lumivane {

namespace {

constexpr int kReadyTimerPeriodMs = 200;
constexpr const char* kNotSupportedLine = "Link option selected is not supported";

std::string WaitLimitLine(std::chrono::milliseconds limit) {
  char text[80];
  std::snprintf(text, sizeof text, "The wait limit of %g s was reached",
                static_cast<double>(limit.count()) / 1000.0);
  return text;
}

// The exit status of a failure that has a state of its own, or of a run
// ended by its host (standard input ended while the keypad's keys were
// awaited; a signal's status is the host's).
int ExitStatusOf(DownloadState state) {
  if (state == DownloadState::Success) return exit_status::kSuccess;
  if (StatusLineFor(state) != nullptr) return static_cast<int>(state);
  return exit_status::kWaitEnded;
}

bool TransferBegun(DownloadPhase phase) {
  return phase == DownloadPhase::Transferring || phase == DownloadPhase::Verifying ||
         phase == DownloadPhase::Ending;
}

}  // namespace

DownloadChain::Impl::Impl(DownloadHost& host, LinkChannels channels, std::string programDirectory)
    : host_(host),
      channels_(std::move(channels)),
      programDirectory_(std::move(programDirectory)),
      clock_(channels_.clock != nullptr ? *channels_.clock : steadyClock_) {
  builder_.SetLineCounterCallback(
      [this](const std::string& text) { host_.OnLinesTranslated(std::atoi(text.c_str())); });
  builder_.SetStopCheck([this] { return StopRequested(); });
}

void DownloadChain::Impl::Tell(const std::string& line, LineKind kind) { host_.OnLine(line, kind); }

void DownloadChain::Impl::EnterPhase(DownloadPhase to) {
  const PhaseChange change{run_.phase, to, to == DownloadPhase::Waiting && run_.link && !run_.link->PollsIdentity()};
  run_.phase = to;
  host_.OnPhase(change);
}

void DownloadChain::Impl::SetActivity(DownloadActivity activity) {
  if (run_.activity == activity) return;
  run_.activity = activity;
  host_.OnActivity(activity);
}

void DownloadChain::Impl::StartTimer() {
  host_.StartReadyTimer(kReadyTimerPeriodMs);
  run_.timerRunning = true;
}

void DownloadChain::Impl::StopTimer() {
  if (!run_.timerRunning) return;
  host_.StopReadyTimer();
  run_.timerRunning = false;
}

void DownloadChain::Impl::StartDownload() {
  if (run_.phase != DownloadPhase::Idle) return;
  run_ = DownloadRun{};
  EnterPhase(DownloadPhase::Translating);
  run_.pending = DownloadMessage::Translate;
  host_.Post(DownloadMessage::Translate);
}

void DownloadChain::Impl::OnMessage(DownloadMessage message) {
  if (run_.phase == DownloadPhase::Idle || run_.pending != message) return;
  run_.pending.reset();
  switch (message) {
    case DownloadMessage::Translate: Translate(); break;
    case DownloadMessage::Report: OnReport(); break;
    case DownloadMessage::Transfer: OnTransfer(); break;
  }
}

void DownloadChain::Impl::EndPhase(DownloadState ended, std::string detail) {
  run_.state = ended;
  run_.stateDetail = std::move(detail);
  run_.pending = DownloadMessage::Report;
  host_.Post(DownloadMessage::Report);
}

void DownloadChain::Impl::Translate() {
  run_.choices = host_.ReadChoices();
  SetActivity(DownloadActivity::Busy);
  const DownloadChoices& choices = run_.choices;
  TranslationInput input;
  input.sourcePath = choices.sourcePath;
  input.emulatorPath = !choices.emulatorFile.empty() ? choices.emulatorFile
                                                     : programDirectory_ + choices.emulatorName + ".emu";
  input.keysText = choices.keysText;
  input.pcAtLink = choices.link == LinkKind::PcAt;
  const bool translates = choices.job == KeypadJob::Download || !choices.sourcePath.empty();
  if (translated_ != nullptr && translates) {
    run_.nibbleKeys = translated_->nibbleKeys();
    EndPhase(DownloadState::ImageReady, {});
    return;
  }
  std::string detail;
  run_.inStep = true;
  DownloadState state = DownloadState::None;
  if (translates) {
    state = builder_.Translate(input);
    run_.nibbleKeys = builder_.nibbleKeys();
    detail = builder_.detailLine();
  } else {
    NibbleKeysLoad loaded = LoadNibbleKeys(input.emulatorPath, input.pcAtLink);
    state = loaded.state;
    detail = std::move(loaded.detail);
  }
  run_.inStep = false;
  if (translates && builder_.stopped()) {
    // A signal during the translation ends the download as a cancel does.
    SetActivity(DownloadActivity::None);
    EndStopped(run_.stopLines.value_or(std::vector<std::string>{kCancelledLine}));
    return;
  }
  // A layout name that matched no file says which folders were searched.
  if (state == DownloadState::EmulatorUnavailable) {
    const std::string missing =
        MissingLayoutDetailFor(choices.emulatorName, input.emulatorPath, choices.emulatorDirectories);
    if (!missing.empty()) detail = missing;
  }
  EndPhase(state, std::move(detail));
}

void DownloadChain::Impl::OnReport() {
  SetActivity(DownloadActivity::None);
  if (run_.state == DownloadState::ImageReady) {
    EnterPhase(DownloadPhase::Preparing);
    host_.OnLinesTranslated(image().lineNumber());
    Prepare();
    return;
  }
  const bool translated = run_.phase == DownloadPhase::Translating;
  EnterPhase(DownloadPhase::Ending);
  if (translated && run_.state == DownloadState::TranslationError) host_.OnLinesTranslated(image().lineNumber());
  ReportEnd();
}

void DownloadChain::Impl::ReportEnd() {
  DownloadOutcome& outcome = run_.outcome;
  if (run_.state == DownloadState::None && run_.stopLines) {
    const std::vector<std::string> lines = StoppedTransferLines();
    for (const std::string& line : lines) Tell(line);
    outcome.statusLine = lines.front();
    outcome.detail = lines.size() > 1 ? lines[1] : std::string();
    outcome.exitStatus = ExitStatusOf(DownloadState::None);
  } else if (run_.jobLines) {
    for (const std::string& line : *run_.jobLines) Tell(line);
  } else {
    // Every outcome with a state: its line, then the line that tells more.
    const char* line = StatusLineFor(run_.state);
    if (line != nullptr) Tell(line);
    if (!run_.stateDetail.empty()) Tell(run_.stateDetail, LineKind::Detail);
    outcome.statusLine = line != nullptr ? line : "";
    outcome.detail = run_.stateDetail;
    outcome.succeeded = run_.state == DownloadState::Success;
    outcome.exitStatus = ExitStatusOf(run_.state);
  }
  EndRun();
}

void DownloadChain::Impl::Prepare() {
  run_.link = MakeKeypadLink(run_.choices, channels_, clock_, host_, run_.nibbleKeys);
  if (!run_.link) {
    EndWithFailure(kNotSupportedLine, UnsupportedLinkDetail(run_.choices.link), exit_status::kLinkNotPrepared);
    return;
  }
  run_.link->SetStopCheck([this] { return StopRequested(); });
  const LinkOpening opening = run_.link->Prepare([this](const std::string& line) { Tell(line); });
  switch (opening.end) {
    case LinkOpening::End::Ready: break;
    case LinkOpening::End::Refused:
      EndWithFailure(opening.line, opening.detail, exit_status::kLinkNotPrepared);
      return;
    case LinkOpening::End::LineLost: EndPhase(DownloadState::Timeout, opening.detail); return;
  }
  Tell("Press (shift+load) on the Quintrel to continue");
  EnterPhase(DownloadPhase::Waiting);
  SetActivity(DownloadActivity::Waiting);
  const std::chrono::milliseconds limit = run_.choices.waitLimit;
  if (limit.count() > 0) run_.waitDeadline = clock_.Now() + limit;
  // On the PC/AT link, which has no identity to poll, the timer runs for the limit.
  if (run_.link->PollsIdentity() || run_.waitDeadline) StartTimer();
}

void DownloadChain::Impl::OnReadyTimer() {
  if (run_.phase != DownloadPhase::Waiting || run_.pending || !run_.timerRunning) return;
  const IdentityPoll poll = run_.link->PollsIdentity() ? run_.link->PollIdentity() : IdentityPoll{};
  if (poll.answer == IdentityAnswer::NotYet) {
    if (run_.waitDeadline && clock_.Now() >= *run_.waitDeadline) {
      run_.outcome.exitStatus = exit_status::kWaitEnded;
      RequestStop({kCancelledLine, WaitLimitLine(run_.choices.waitLimit)});
    }
    return;
  }
  StopTimer();
  SetActivity(DownloadActivity::None);
  switch (poll.answer) {
    case IdentityAnswer::NotYet: return;
    case IdentityAnswer::Right: BeginTransfer(); return;
    case IdentityAnswer::Wrong: EndPhase(DownloadState::WrongDeviceId, poll.detail); return;
    case IdentityAnswer::DeviceGone: EndWithFailure(poll.line, poll.detail, exit_status::kLinkNotPrepared); return;
    // The serial line failed while the download waited: a communication
    // time-out, with a line naming the port and the reason after it.
    case IdentityAnswer::LineLost: EndPhase(DownloadState::Timeout, poll.detail); return;
  }
}

void DownloadChain::Impl::OnYes() {
  if (run_.phase != DownloadPhase::Waiting || run_.pending || run_.link->PollsIdentity()) return;
  StopTimer();
  SetActivity(DownloadActivity::None);
  BeginTransfer();
}

void DownloadChain::Impl::BeginTransfer() {
  run_.waitDeadline.reset();
  run_.pending = DownloadMessage::Transfer;
  host_.Post(DownloadMessage::Transfer);
}

void DownloadChain::Impl::OnTransfer() {
  EnterPhase(DownloadPhase::Transferring);
  SetActivity(DownloadActivity::Busy);
  const int layer = run_.choices.layer == 2 ? 2 : 1;
  run_.inStep = true;
  const DownloadState ended = run_.choices.job == KeypadJob::ReadLayer ? ReadLayerBack(layer) : WriteImage(layer);
  run_.inStep = false;
  std::string detail;
  if (ended == DownloadState::Timeout) detail = run_.link->faultDetail();
  if (ended == DownloadState::NoMemory) detail = NoMemoryDetail(image().imageLength(), run_.layerRoom);
  EndPhase(ended, std::move(detail));
}

void DownloadChain::Impl::CancelDownload() {
  // Once the transfer has begun it runs to its report.
  if (run_.phase == DownloadPhase::Idle || TransferBegun(run_.phase)) return;
  if (run_.inStep) {
    // Ends when the translation has returned.
    RequestStop({kCancelledLine});
    return;
  }
  EndStopped({kCancelledLine});
}

void DownloadChain::Impl::RequestStop(std::vector<std::string> lines) {
  if (run_.phase == DownloadPhase::Idle) return;
  if (run_.inStep) {
    // The translation or the transfer polls StopRequested and returns;
    // the lines are written then.
    if (!run_.stopLines) run_.stopLines = std::move(lines);
    return;
  }
  // A transfer that has already returned reports its own outcome next.
  if (run_.stopLines || TransferBegun(run_.phase)) return;
  EndStopped(lines);
}

void DownloadChain::Impl::EndStopped(const std::vector<std::string>& lines) {
  run_.state = DownloadState::None;
  for (const std::string& line : lines) Tell(line);
  run_.outcome.statusLine = lines.empty() ? std::string() : lines.front();
  run_.outcome.detail = lines.size() > 1 ? lines[1] : std::string();
  if (run_.outcome.exitStatus == 0) run_.outcome.exitStatus = ExitStatusOf(DownloadState::None);
  EndRun();
}

void DownloadChain::Impl::EndWithFailure(const std::string& line, const std::string& detail, int exitStatus) {
  if (!line.empty()) Tell(line);
  if (!detail.empty()) Tell(detail, LineKind::Detail);
  run_.outcome.statusLine = line;
  run_.outcome.detail = detail;
  run_.outcome.exitStatus = exitStatus;
  EndRun();
}

void DownloadChain::Impl::EndRun() {
  SetActivity(DownloadActivity::None);
  StopTimer();
  if (run_.link) run_.link->Release();
  run_.pending.reset();
  DownloadOutcome& outcome = run_.outcome;
  outcome.state = run_.state;
  if (outcome.succeeded) outcome.exitStatus = exit_status::kSuccess;
  const bool wrote = run_.writesBegun && run_.state != DownloadState::NoMemory;
  outcome.keypad = run_.verifyReport.endSent || (wrote && outcome.succeeded) ? KeypadHolds::Complete
                   : wrote                                                  ? KeypadHolds::Incomplete
                                                                            : KeypadHolds::Unchanged;
  outcome.placementBase = run_.layerRoom.base;
  if (run_.verifyReport.complete) {
    outcome.verify = run_.verifyReport.differing == 0 ? VerifyResult::Passed : VerifyResult::Failed;
  }
  EnterPhase(DownloadPhase::Idle);
  host_.OnOutcome(outcome);
}

DownloadChain::DownloadChain(DownloadHost& host, LinkChannels channels, std::string programDirectory)
    : impl_(std::make_unique<Impl>(host, std::move(channels), std::move(programDirectory))) {}

DownloadChain::~DownloadChain() = default;

void DownloadChain::UseTranslatedImage(const ImageBuilder* image) { impl_->translated_ = image; }
void DownloadChain::StartDownload() { impl_->StartDownload(); }
void DownloadChain::CancelDownload() { impl_->CancelDownload(); }
void DownloadChain::OnMessage(DownloadMessage message) { impl_->OnMessage(message); }
void DownloadChain::OnReadyTimer() { impl_->OnReadyTimer(); }
void DownloadChain::OnYes() { impl_->OnYes(); }
void DownloadChain::RequestStop(std::vector<std::string> lines) { impl_->RequestStop(std::move(lines)); }
DownloadPhase DownloadChain::phase() const { return impl_->run_.phase; }
bool DownloadChain::IsRunning() const { return impl_->run_.phase != DownloadPhase::Idle; }
bool DownloadChain::IsTransferring() const { return TransferBegun(impl_->run_.phase); }
bool DownloadChain::StopRequested() const { return impl_->run_.stopLines.has_value(); }
DownloadState DownloadChain::state() const { return impl_->run_.state; }
const DownloadOutcome& DownloadChain::outcome() const { return impl_->run_.outcome; }
bool DownloadChain::LastDownloadSucceeded() const {
  return !IsRunning() && impl_->run_.outcome.succeeded;
}
const ImageBuilder& DownloadChain::builder() const { return impl_->image(); }
const LayerRead& DownloadChain::layerRead() const { return impl_->run_.layerRead; }
const VerifyReport& DownloadChain::verifyReport() const { return impl_->run_.verifyReport; }
bool DownloadChain::MayWriteKeypad() const { return impl_->run_.choices.job == KeypadJob::Download; }

}  // namespace lumivane
