#include "cli/CliHost.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <optional>

#include "download/DownloadChain.h"
#include "app/SignalChannel.h"

namespace lumivane {

namespace {
// Stands for a key that is no character (an escape sequence): never a nibble key.
constexpr int kNonCharacterKey = 0x01000000;
constexpr const char* kCancelledLine = "Operation cancelled by user";
constexpr const char* kNoConfirmationLine =
    "Standard input ended: the Quintrel's confirmation (Y) cannot arrive";
constexpr const char* kNoKeysLine = "Standard input ended: the Quintrel's answer keys cannot arrive";
}  // namespace

CliHost::CliHost(DownloadChoices choices, std::FILE* out, int keyInput, int interruptFd,
                 Clock& clock, std::FILE* progress)
    : choices_(std::move(choices)),
      out_(out),
      keyInput_(keyInput),
      interruptFd_(interruptFd),
      clock_(clock),
      progress_(progress) {}

void CliHost::OnLine(const std::string& line, LineKind) {
  EndTransientLine();
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void CliHost::OnPhase(const PhaseChange& change) {
  yesAwaited_ = change.to == DownloadPhase::Waiting && change.awaitsYes;
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

void CliHost::StartReadyTimer(int periodMs) {
  timerRunning_ = true;
  timerPeriod_ = std::chrono::milliseconds(periodMs);
  nextTick_ = clock_.Now() + timerPeriod_;
}

void CliHost::Run(DownloadChain& chain) {
  chain_ = &chain;
  chain.StartDownload();
  for (;;) {
    if (!queue_.empty()) {
      const DownloadMessage message = queue_.front();
      queue_.pop_front();
      chain.OnMessage(message);
      continue;
    }
    if (!chain.IsRunning()) break;
    WaitForEvent(chain);
  }
  chain_ = nullptr;
}

bool CliHost::KeysCanArrive() const {
  return !pendingKeys_.empty() || (keyInput_ >= 0 && !keyInputEnded_);
}

void CliHost::Stop(int signalNumber) {
  endingSignal_ = signalNumber;
  if (chain_ != nullptr) chain_->RequestStop({kCancelledLine});
}

void CliHost::WaitForEvent(DownloadChain& chain) {
  if (yesAwaited_ && !KeysCanArrive()) {
    // The keypad confirms by typing into this terminal; nothing more can come.
    chain.RequestStop({kNoConfirmationLine});
    return;
  }
  pollfd fds[2];
  std::size_t count = 0;
  if (interruptFd_ >= 0) fds[count++] = {interruptFd_, POLLIN, 0};
  const bool watchKeys = yesAwaited_;
  if (watchKeys && pendingKeys_.empty()) fds[count++] = {keyInput_, POLLIN, 0};
  const std::optional<TimePoint> tick =
      timerRunning_ ? std::optional<TimePoint>(nextTick_) : std::nullopt;
  if (count == 0 && !tick) {
    // Nothing can wake the loop: the download cannot go on.
    chain.CancelDownload();
    return;
  }
  // The count of seconds waited wakes the loop too, though it ends no wait.
  std::optional<TimePoint> wake = tick;
  if (waiting_ && (!wake || nextWaitLine_ < *wake)) wake = nextWaitLine_;
  if (!watchKeys || pendingKeys_.empty()) clock_.Poll(fds, count, wake);
  UpdateWaitLine();

  if (const int signalNumber = SignalChannel::TakeFrom(interruptFd_)) {
    Stop(signalNumber);
    return;
  }
  if (watchKeys) {
    const int key = ReadKey();
    // The keypad presses the window's default button "&Yes" by typing.
    if (key == 'Y' || key == '\r' || key == '\n') {
      chain.OnYes();
      yesAwaited_ = false;
    }
    if (key >= 0 || keyInputEnded_) return;
  }
  if (timerRunning_ && clock_.Now() >= nextTick_) {
    nextTick_ += timerPeriod_;
    const TimePoint now = clock_.Now();
    if (nextTick_ < now) nextTick_ = now + timerPeriod_;
    chain.OnReadyTimer();
  }
}

void CliHost::DeliverStopRequests() {
  const int signalNumber = SignalChannel::TakeFrom(interruptFd_);
  if (signalNumber == 0) return;
  // Before the transfer (during the translation) any signal stops at once,
  // and so does it while a layer is only read.
  if (chain_ != nullptr && chain_->IsTransferring() && chain_->MayWriteKeypad()) {
    HandleTransferSignal(signalNumber);
  } else {
    Stop(signalNumber);
  }
}

void CliHost::HandleTransferSignal(int signalNumber) {
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

bool CliHost::Readable(int fd) {
  pollfd watch{fd, POLLIN, 0};
  return clock_.Poll(&watch, 1, clock_.Now()) > 0;
}

int CliHost::ReadKey() {
  if (pendingKeys_.empty()) {
    if (keyInput_ < 0 || keyInputEnded_) return -1;
    if (!Readable(keyInput_)) return -1;
    char bytes[16];
    const ssize_t got = ::read(keyInput_, bytes, sizeof bytes);
    if (got <= 0) {
      keyInputEnded_ = true;
      return -1;
    }
    // One read of a terminal is one key: an escape sequence arrives whole.
    if (bytes[0] == '\x1b') return kNonCharacterKey;
    pendingKeys_.assign(bytes, static_cast<std::size_t>(got));
  }
  const unsigned char c = static_cast<unsigned char>(pendingKeys_.front());
  pendingKeys_.erase(0, 1);
  return std::toupper(c);
}

std::vector<int> CliHost::DiscardTypedKeys() {
  std::vector<int> dropped;
  for (;;) {
    const int key = ReadKey();
    // End of input stays noticed: the next key wait ends the download.
    if (key < 0) return dropped;
    dropped.push_back(key);
  }
}

// A nibble key of a PC/AT read. Signals are watched while waiting, so a
// stop does not wait for the key's time limit.
int CliHost::WaitKeyPress(std::chrono::milliseconds timeout) {
  const TimePoint deadline = clock_.Now() + timeout;
  for (;;) {
    DeliverStopRequests();
    if (chain_ != nullptr && chain_->StopRequested()) return -1;
    if (!pendingKeys_.empty()) return ReadKey();
    if (!KeysCanArrive()) {
      if (chain_ != nullptr) chain_->RequestStop({kNoKeysLine});
      return -1;
    }
    if (clock_.Now() >= deadline) return -1;
    pollfd fds[2] = {{keyInput_, POLLIN, 0}, {interruptFd_, POLLIN, 0}};
    clock_.Poll(fds, interruptFd_ >= 0 ? 2 : 1, deadline);
    if (fds[0].revents != 0) {
      const int key = ReadKey();
      if (key >= 0) return key;
    }
  }
}

}  // namespace lumivane
