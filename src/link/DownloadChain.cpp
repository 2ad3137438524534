#include "link/DownloadChain.h"

#include <cstdio>
#include <optional>

#include "link/Clock.h"
#include "link/DeviceLink.h"
#include "link/KeypadTransfer.h"
#include "link/LinkPreparation.h"

namespace lumivane {

namespace {

std::string FiveDigits(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%05u", value);
  return text;
}

}  // namespace

struct DownloadChain::Impl : TransferObserver {
  Impl(DownloadHost& host, LinkChannels channels, std::string programDirectory, bool autoRun)
      : host(host),
        channels(std::move(channels)),
        programDirectory(std::move(programDirectory)),
        autoRun(autoRun),
        clock(this->channels.clock != nullptr ? *this->channels.clock : steadyClock),
        link(clock),
        preparation(host, this->channels, link) {
    builder.SetLineCounterCallback([this](const std::string& text) { this->host.SetLinesTranslated(text); });
  }

  // ---- Phases ----
  void StartDownload();
  void Translate();
  void OnReport();
  void OnReadyTimer();
  void OnYes();
  void OnTransfer();
  void CancelDownload();
  void EndDownload();
  // The serial line failed while the download waited: a communication
  // time-out, with a line naming the port and the reason after it.
  void EndWithLostLine();

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

  DownloadHost& host;
  LinkChannels channels;
  std::string programDirectory;
  bool autoRun;
  SteadyClock steadyClock;
  Clock& clock;
  ImageBuilder builder;
  DeviceLink link;
  LinkPreparation preparation;

  DownloadState state = DownloadState::None;
  bool running = false;
  bool cancelled = false;
  bool transferring = false;
  bool successReported = false;
  bool lastSucceeded = false;
  // One more status line for the report to write after the state's line.
  std::string pendingDetail;
  // The one download message this download still expects; a message that
  // outlived its download (Cancel came first) is ignored.
  std::optional<DownloadMessage> pending;
};

void DownloadChain::Impl::StartDownload() {
  if (running) return;
  cancelled = false;
  host.ShowDownloadControls();
  running = true;
  successReported = false;
  pendingDetail.clear();
  link.Reset();
  preparation.Reset();
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
  state = builder.Translate(input);
  Post(DownloadMessage::Report);
}

void DownloadChain::Impl::OnReport() {
  host.SetWaitCursor(false);
  host.Beep();
  switch (state) {
    case DownloadState::TranslationError:
      host.SetLinesTranslated(FiveDigits(builder.lineNumber()));
      host.AddStatusLine(StatusLineFor(state));
      EndDownload();
      return;
    case DownloadState::ImageReady:
      host.SetLinesTranslated(FiveDigits(builder.lineNumber()));
      if (preparation.Prepare(host.ReadChoices(), builder.nibbleKeys())) {
        host.AddStatusLine("Press (shift+load) on the Quintrel to continue");
      } else if (preparation.LineLost()) {
        EndWithLostLine();
      } else {
        EndDownload();
      }
      return;
    default:
      if (const char* line = StatusLineFor(state)) {
        host.AddStatusLine(line);
        if (!pendingDetail.empty()) host.AddStatusLine(pendingDetail);
        pendingDetail.clear();
        successReported = state == DownloadState::Success;
        EndDownload();
      }
      return;
  }
}

void DownloadChain::Impl::OnReadyTimer() {
  if (!running) return;
  switch (preparation.PollReady()) {
    case ReadyAnswer::NotYet: return;
    case ReadyAnswer::Right: Post(DownloadMessage::Transfer); return;
    case ReadyAnswer::Wrong:
      state = DownloadState::WrongDeviceId;
      Post(DownloadMessage::Report);
      return;
    case ReadyAnswer::DeviceGone:
      host.AddStatusLine("Usb Quintrel not detected");
      EndDownload();
      return;
    case ReadyAnswer::LineLost: EndWithLostLine(); return;
  }
}

void DownloadChain::Impl::EndWithLostLine() {
  state = DownloadState::Timeout;
  pendingDetail = preparation.failureDetail();
  Post(DownloadMessage::Report);
}

void DownloadChain::Impl::OnYes() {
  if (!running || transferring) return;
  if (state == DownloadState::ImageReady && preparation.IsWaiting() && !pending) {
    preparation.StopWaiting();
    Post(DownloadMessage::Transfer);
  }
  host.FocusCancel();
  host.SetYesEnabled(false);
}

void DownloadChain::Impl::OnTransfer() {
  host.SetCancelEnabled(false);
  if (cancelled) return;
  transferring = true;
  host.SetWaitCursor(true);
  host.SetProgressRange(builder.imageLength());
  host.AddStatusLine("Transfer in progress");
  const TransferImage image{builder.image(), builder.imageLength(), builder.tableSize()};
  const int layer = host.ReadChoices().layer == 2 ? 2 : 1;
  state = RunTransfer(link, image, layer, *this);
  if (state == DownloadState::Timeout) pendingDetail = link.faultDetail();
  transferring = false;
  Post(DownloadMessage::Report);
}

void DownloadChain::Impl::CancelDownload() {
  // Once the transfer has begun it runs to its report.
  if (!running || transferring) return;
  cancelled = true;
  host.AddStatusLine("Operation cancelled by user");
  EndDownload();
}

void DownloadChain::Impl::EndDownload() {
  host.ShowIdleControls();
  preparation.Release();
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
bool DownloadChain::IsRunning() const { return impl_->running; }
DownloadState DownloadChain::state() const { return impl_->state; }
bool DownloadChain::LastDownloadSucceeded() const { return impl_->lastSucceeded; }
const ImageBuilder& DownloadChain::builder() const { return impl_->builder; }

}  // namespace lumivane
