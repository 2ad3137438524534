#include "cli/CliHost.h"

#include <signal.h>

#include "app/SignalChannel.h"
#include "download/DownloadChain.h"

namespace lumivane {

namespace {
constexpr const char* kCancelledLine = "Operation cancelled by user";
}  // namespace

CliHost::CliHost(DownloadChoices choices, std::FILE* out, int keyInput, int interruptFd, Clock& clock,
                 std::FILE* progress, ChainDriver::BackupWriter saveBackup)
    : out_(out),
      interruptFd_(interruptFd),
      clock_(clock),
      progress_(progress),
      driver_(std::move(choices), *this, clock,
              {keyInput, interruptFd, [this] { CheckSignals(); },
               [this] { return waiting_ ? std::optional<TimePoint>(nextWaitLine_) : std::nullopt; },
               [this] { UpdateWaitLine(); }, std::move(saveBackup)}) {}

void CliHost::OnLine(const std::string& line, LineKind) {
  EndTransientLine();
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void CliHost::OnPhase(const PhaseChange& change) {
  if (change.to != DownloadPhase::Idle) return;
  EndTransientLine();
  passActive_ = false;
}

void CliHost::EndTransientLine() {
  if (progress_ == nullptr || transient_ == Transient::None) return;
  // The count of seconds waited goes; a pass's last figures stay.
  std::fputs(transient_ == Transient::Wait ? "\r\x1b[K" : "\n", progress_);
  std::fflush(progress_);
  transient_ = Transient::None;
}

void CliHost::OnActivity(DownloadActivity activity) {
  const bool waiting = activity == DownloadActivity::Waiting;
  waiting_ = waiting && progress_ != nullptr;
  if (!waiting) {
    if (transient_ == Transient::Wait) EndTransientLine();
    return;
  }
  if (!waiting_) return;
  waitStart_ = clock_.Now();
  DrawWaitLine();
}

void CliHost::UpdateWaitLine() {
  if (waiting_ && clock_.Now() >= nextWaitLine_) DrawWaitLine();
}

void CliHost::DrawWaitLine() {
  const auto waited = std::chrono::duration_cast<std::chrono::seconds>(clock_.Now() - waitStart_);
  std::fprintf(progress_, "\rWaiting for shift+load on the Quintrel: %lld s\x1b[K",
               static_cast<long long>(waited.count()));
  std::fflush(progress_);
  transient_ = Transient::Wait;
  nextWaitLine_ = waitStart_ + waited + std::chrono::seconds(1);
}

void CliHost::OnProgress(const DownloadProgress& progress) {
  if (progress.begins) {
    BeginPass(progress);
  } else {
    ShowPosition(progress.done);
  }
}

void CliHost::BeginPass(const DownloadProgress& progress) {
  passLabel_ = PassLabel(progress.pass);
  if (progress_ == nullptr) return;
  EndTransientLine();
  passActive_ = true;
  passTotal_ = progress.total;
  passDone_ = 0;
  passStart_ = clock_.Now();
}

void CliHost::ShowPosition(std::uint32_t position) {
  if (!passActive_) return;
  passDone_ = position;
  // A terminal takes a few lines a second; the last one always.
  constexpr auto kLinePeriod = std::chrono::milliseconds(100);
  if (transient_ == Transient::Pass && position < passTotal_ && clock_.Now() - lastPassLine_ < kLinePeriod)
    return;
  DrawProgressLine();
}

void CliHost::DrawProgressLine() {
  const TimePoint now = clock_.Now();
  lastPassLine_ = now;
  const double seconds = std::chrono::duration<double>(now - passStart_).count();
  const int percent = passTotal_ > 0 ? static_cast<int>(100ULL * passDone_ / passTotal_) : 100;
  char text[160];
  int length = std::snprintf(text, sizeof text, "\r%s: %u/%u bytes, %d%%", passLabel_.c_str(), passDone_,
                             passTotal_, percent);
  // The rate once it means something; the time left while there is some.
  if (seconds >= 0.2 && passDone_ > 0 && length > 0 && static_cast<std::size_t>(length) < sizeof text) {
    const double rate = passDone_ / seconds;
    length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ", %.0f B/s", rate);
    const long long left = static_cast<long long>((passTotal_ - passDone_) / rate + 0.5);
    if (passDone_ < passTotal_ && static_cast<std::size_t>(length) < sizeof text) {
      if (left >= 60) {
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ", %lld min %02lld s left",
                      left / 60, left % 60);
      } else {
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ", %lld s left", left);
      }
    }
  }
  std::fprintf(progress_, "%s\x1b[K", text);
  std::fflush(progress_);
  transient_ = Transient::Pass;
}

void CliHost::Stop(int signalNumber) {
  endingSignal_ = signalNumber;
  driver_.StopNow({kCancelledLine});
}

void CliHost::CheckSignals() {
  const int signalNumber = SignalChannel::TakeFrom(interruptFd_);
  if (signalNumber == 0) return;
  // Before the transfer (during the translation) any signal stops at once,
  // and so does it while a layer is only read.
  const DownloadChain* chain = driver_.chain();
  if (chain == nullptr || !chain->IsTransferring() || !chain->MayWriteKeypad()) {
    Stop(signalNumber);
    return;
  }
  if (signalNumber == SIGINT && ++transferInterrupts_ == 1) {
    // A half-written keypad is worse than a wait: the first Ctrl-C only warns.
    EndTransientLine();
    std::fprintf(stderr,
                 "The transfer cannot be cancelled once it has begun\n"
                 "Press Ctrl-C again to stop it anyway; the Quintrel then holds an incomplete image\n");
    std::fflush(stderr);
    return;
  }
  Stop(signalNumber);
}

}  // namespace lumivane
