#include "cli/CliHost.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cctype>
#include <thread>

#include "link/DownloadChain.h"

namespace lumivane {

namespace {
// Stands for a key that is no character (an escape sequence): never a nibble key.
constexpr int kNonCharacterKey = 0x01000000;

int MillisecondsUntil(std::chrono::steady_clock::time_point when) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(when - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}
}  // namespace

CliHost::CliHost(DownloadChoices choices, std::FILE* out, int keyInput, int interruptFd,
                 std::FILE* progress)
    : choices_(std::move(choices)),
      out_(out),
      keyInput_(keyInput),
      interruptFd_(interruptFd),
      progress_(progress) {}

void CliHost::AddStatusLine(const std::string& line) {
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void CliHost::SetBytesTransferred(const std::string& text) {
  if (progress_ == nullptr) return;
  std::fprintf(progress_, "\rBytes Transferred: %s", text.c_str());
  std::fflush(progress_);
}

void CliHost::ShowIdleControls() {
  yesEnabled_ = false;
  if (progress_ != nullptr) {
    std::fputc('\n', progress_);
    std::fflush(progress_);
  }
}

void CliHost::StartReadyTimer(int periodMs) {
  timerRunning_ = true;
  timerPeriod_ = std::chrono::milliseconds(periodMs);
  nextTick_ = std::chrono::steady_clock::now() + timerPeriod_;
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

void CliHost::WaitForEvent(DownloadChain& chain) {
  pollfd fds[2];
  nfds_t count = 0;
  if (interruptFd_ >= 0) fds[count++] = {interruptFd_, POLLIN, 0};
  const bool watchKeys = yesEnabled_ && keyInput_ >= 0 && !keyInputEnded_;
  if (watchKeys) fds[count++] = {keyInput_, POLLIN, 0};
  const int timeout = timerRunning_ ? MillisecondsUntil(nextTick_) : -1;
  if (count == 0 && timeout < 0) {
    // Nothing can wake the loop: the download cannot go on.
    chain.CancelDownload();
    return;
  }
  if (!watchKeys || pendingKeys_.empty()) ::poll(fds, count, timeout);

  if (TakeInterrupt()) {
    chain.CancelDownload();
    return;
  }
  if (watchKeys) {
    const int key = ReadKey(0);
    // The keypad presses the window's default button "&Yes" by typing.
    if (key == 'Y' || key == '\r' || key == '\n') chain.OnYes();
    if (key >= 0) return;
  }
  if (timerRunning_ && MillisecondsUntil(nextTick_) == 0) {
    nextTick_ += timerPeriod_;
    const auto now = std::chrono::steady_clock::now();
    if (nextTick_ < now) nextTick_ = now + timerPeriod_;
    chain.OnReadyTimer();
  }
}

bool CliHost::TakeInterrupt() {
  if (interruptFd_ < 0) return false;
  pollfd fd{interruptFd_, POLLIN, 0};
  if (::poll(&fd, 1, 0) <= 0) return false;
  signalfd_siginfo info{};
  if (::read(interruptFd_, &info, sizeof info) <= 0) return false;
  interrupted_ = true;
  return true;
}

void CliHost::DispatchOnePendingEvent() {
  // The transfer cannot be cancelled; a Ctrl-C during it is only noted.
  if (TakeInterrupt() && progress_ != nullptr) {
    std::fprintf(progress_, "\nThe transfer cannot be cancelled once it has begun\n");
  }
}

int CliHost::ReadKey(int timeoutMs) {
  if (pendingKeys_.empty()) {
    if (keyInput_ < 0 || keyInputEnded_) return -1;
    pollfd fd{keyInput_, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0) return -1;
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

int CliHost::WaitKeyPress(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  if (keyInputEnded_ || keyInput_ < 0) {
    std::this_thread::sleep_until(deadline);
    return -1;
  }
  const int key = ReadKey(static_cast<int>(timeout.count()));
  if (key < 0 && keyInputEnded_) std::this_thread::sleep_until(deadline);
  return key;
}

}  // namespace lumivane
