#include "download/ChainDriver.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>

#include "download/DownloadChain.h"

namespace lumivane {

namespace {
// Stands for a key that is no character (an escape sequence): never a nibble key.
constexpr int kNonCharacterKey = 0x01000000;
constexpr const char* kNoConfirmationLine =
    "Standard input ended: the Quintrel's confirmation (Y) cannot arrive";
constexpr const char* kNoKeysLine = "Standard input ended: the Quintrel's answer keys cannot arrive";
}  // namespace

ChainDriver::ChainDriver(DownloadChoices choices, DownloadEvents& sink, Clock& clock, Inputs inputs)
    : choices_(std::move(choices)),
      sink_(sink),
      clock_(clock),
      inputs_(std::move(inputs)),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ChainDriver::~ChainDriver() {
  if (wake_ >= 0) ::close(wake_);
}

void ChainDriver::Run(DownloadChain& chain) {
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
    WaitForEvent();
  }
  chain_ = nullptr;
}

void ChainDriver::RequestStop(std::vector<std::string> lines) {
  {
    const std::lock_guard<std::mutex> lock(stopMutex_);
    if (requestedStop_) return;
    requestedStop_ = std::move(lines);
    stopWaiting_ = true;
  }
  const std::uint64_t one = 1;
  if (wake_ >= 0) (void)!::write(wake_, &one, sizeof one);
}

void ChainDriver::StopNow(std::vector<std::string> lines) {
  if (chain_ != nullptr) chain_->RequestStop(std::move(lines));
}

void ChainDriver::TakeStops() {
  if (stopWaiting_.exchange(false)) {
    std::optional<std::vector<std::string>> lines;
    {
      const std::lock_guard<std::mutex> lock(stopMutex_);
      lines = std::move(requestedStop_);
    }
    std::uint64_t count = 0;
    if (wake_ >= 0) (void)!::read(wake_, &count, sizeof count);
    if (lines) StopNow(std::move(*lines));
  }
  if (inputs_.checkStops) inputs_.checkStops();
}

void ChainDriver::DeliverStopRequests() { TakeStops(); }

void ChainDriver::StartReadyTimer(int periodMs) {
  timerRunning_ = true;
  timerPeriod_ = std::chrono::milliseconds(periodMs);
  nextTick_ = clock_.Now() + timerPeriod_;
}

void ChainDriver::OnPhase(const PhaseChange& change) {
  yesAwaited_ = change.to == DownloadPhase::Waiting && change.awaitsYes;
  sink_.OnPhase(change);
}

BackupResult ChainDriver::SaveBackup(const std::string& path, const std::vector<std::uint8_t>& image) {
  return inputs_.saveBackup ? inputs_.saveBackup(path, image) : DownloadHost::SaveBackup(path, image);
}

bool ChainDriver::KeysCanArrive() const {
  return !pendingKeys_.empty() || (inputs_.keyInput >= 0 && !keyInputEnded_);
}

void ChainDriver::WaitForEvent() {
  if (yesAwaited_ && !KeysCanArrive()) {
    // The keypad confirms by typing into this input; nothing more can come.
    StopNow({kNoConfirmationLine});
    return;
  }
  pollfd fds[3];
  std::size_t count = 0;
  if (inputs_.stopInput >= 0) fds[count++] = {inputs_.stopInput, POLLIN, 0};
  const bool watchKeys = yesAwaited_;
  if (watchKeys && pendingKeys_.empty()) fds[count++] = {inputs_.keyInput, POLLIN, 0};
  const std::optional<TimePoint> tick = timerRunning_ ? std::optional<TimePoint>(nextTick_) : std::nullopt;
  if (count == 0 && !tick) {
    // Nothing of this run can wake the loop: the download cannot go on.
    chain_->CancelDownload();
    return;
  }
  if (wake_ >= 0) fds[count++] = {wake_, POLLIN, 0};
  // A redraw of the sink's wakes the loop too, though it ends no wait.
  std::optional<TimePoint> wake = tick;
  if (inputs_.nextRedraw) {
    const std::optional<TimePoint> redraw = inputs_.nextRedraw();
    if (redraw && (!wake || *redraw < *wake)) wake = redraw;
  }
  if (!watchKeys || pendingKeys_.empty()) clock_.Poll(fds, count, wake);
  if (inputs_.redraw) inputs_.redraw();

  TakeStops();
  if (chain_->StopRequested() || !chain_->IsRunning()) return;
  if (watchKeys) {
    const int key = ReadKey();
    // The keypad presses the window's default button "&Yes" by typing.
    if (key == 'Y' || key == '\r' || key == '\n') {
      chain_->OnYes();
      yesAwaited_ = false;
    }
    if (key >= 0 || keyInputEnded_) return;
  }
  Tick();
}

void ChainDriver::Tick() {
  if (!timerRunning_ || clock_.Now() < nextTick_) return;
  nextTick_ += timerPeriod_;
  const TimePoint now = clock_.Now();
  if (nextTick_ < now) nextTick_ = now + timerPeriod_;
  chain_->OnReadyTimer();
}

bool ChainDriver::Readable(int fd) {
  pollfd watch{fd, POLLIN, 0};
  return clock_.Poll(&watch, 1, clock_.Now()) > 0;
}

int ChainDriver::ReadKey() {
  if (pendingKeys_.empty()) {
    if (inputs_.keyInput < 0 || keyInputEnded_) return -1;
    if (!Readable(inputs_.keyInput)) return -1;
    char bytes[16];
    const ssize_t got = ::read(inputs_.keyInput, bytes, sizeof bytes);
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

std::vector<int> ChainDriver::DiscardTypedKeys() {
  std::vector<int> dropped;
  for (;;) {
    const int key = ReadKey();
    // End of input stays noticed: the next key wait ends the download.
    if (key < 0) return dropped;
    dropped.push_back(key);
  }
}

// A nibble key of a PC/AT read. Stops are watched while waiting, so a stop
// does not wait for the key's time limit.
int ChainDriver::WaitKeyPress(std::chrono::milliseconds timeout) {
  const TimePoint deadline = clock_.Now() + timeout;
  for (;;) {
    DeliverStopRequests();
    if (chain_ != nullptr && chain_->StopRequested()) return -1;
    if (!pendingKeys_.empty()) return ReadKey();
    if (!KeysCanArrive()) {
      StopNow({kNoKeysLine});
      return -1;
    }
    if (clock_.Now() >= deadline) return -1;
    pollfd fds[3] = {{inputs_.keyInput, POLLIN, 0}, {wake_, POLLIN, 0}, {inputs_.stopInput, POLLIN, 0}};
    clock_.Poll(fds, inputs_.stopInput >= 0 ? 3 : 2, deadline);
    if (fds[0].revents != 0) {
      const int key = ReadKey();
      if (key >= 0) return key;
    }
  }
}

}  // namespace lumivane
