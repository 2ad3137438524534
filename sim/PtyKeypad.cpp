#include "sim/PtyKeypad.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "common/SystemErrorText.h"

namespace lumivane::sim {

namespace {

// While the identity answer waits for the shift+load delay, the line is
// looked at this often.
constexpr std::chrono::milliseconds kIdentityPollInterval{5};

// The failing step and the system's errno, as the simulator names them.
ChannelError SystemError(const std::string& what) {
  const int systemError = errno;
  return ChannelError(KindOfErrno(systemError), systemError, what + ": " + SystemErrorText(systemError));
}

}  // namespace

PtyKeypad::PtyKeypad(KeypadOptions options, bool stopAfterEnd)
    : clock_(steadyClock_), modelClock_(nullptr), model_(std::move(options)), stopAfterEnd_(stopAfterEnd) {}

PtyKeypad::PtyKeypad(KeypadOptions options, bool stopAfterEnd, Clock& clock)
    : clock_(clock), modelClock_(&clock), model_(std::move(options), &clock), stopAfterEnd_(stopAfterEnd) {}

PtyKeypad::~PtyKeypad() {
  Stop();
  CloseLine();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

ChannelError PtyKeypad::Open() {
  if (masterFd_ >= 0) return {};
  if (wakeFd_ < 0) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return SystemError("eventfd");
  }
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return SystemError("posix_openpt");
  char name[128] = {};
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
      ::ptsname_r(master, name, sizeof name) != 0) {
    const ChannelError error = SystemError("pseudo-terminal set-up");
    ::close(master);
    return error;
  }
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (slave < 0 || ::tcgetattr(slave, &settings) != 0) {
    const ChannelError error = SystemError(name);
    if (slave >= 0) ::close(slave);
    ::close(master);
    return error;
  }
  // Raw: every byte passes unchanged, nothing is echoed.
  ::cfmakeraw(&settings);
  ::cfsetspeed(&settings, B9600);
  if (::tcsetattr(slave, TCSANOW, &settings) != 0) {
    const ChannelError error = SystemError(name);
    ::close(slave);
    ::close(master);
    return error;
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  masterFd_ = master;
  slaveFd_ = slave;
  devicePath_ = name;
  return {};
}

void PtyKeypad::StopLineOutput() {
  // Output stopped on the device side: the program's writes there take
  // nothing more (EAGAIN, no POLLOUT) while the line stays up.
  if (outputStopped_ || slaveFd_ < 0) return;
  ::tcflow(slaveFd_, TCOOFF);
  outputStopped_ = true;
}

void PtyKeypad::CloseLine() {
  // Closing the master hangs up the line: the program's reads and writes
  // on the device fail from now on.
  if (masterFd_ >= 0) ::close(masterFd_);
  if (slaveFd_ >= 0) ::close(slaveFd_);
  masterFd_ = slaveFd_ = -1;
  outputStopped_ = false;
}

ChannelError PtyKeypad::Start() {
  if (thread_.joinable()) return {};
  if (ChannelError error = Open(); error.failed()) return error;
  stopRequested_ = false;
  releaseRequested_ = false;
  released_ = false;
  serving_ = true;
  thread_ = std::thread([this] {
    Serve();
    std::lock_guard<std::mutex> lock(mutex_);
    serving_ = false;
    changed_.notify_all();
  });
  return {};
}

bool PtyKeypad::Release(std::chrono::milliseconds limit) {
  if (!thread_.joinable()) return false;
  releaseRequested_ = true;
  ::eventfd_write(wakeFd_, 1);
  bool released = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, limit, [this] { return !serving_; });
    released = released_;
  }
  Stop();
  return released;
}

void PtyKeypad::Stop() {
  stopRequested_ = true;
  if (wakeFd_ >= 0) ::eventfd_write(wakeFd_, 1);
  if (thread_.joinable()) thread_.join();
  if (wakeFd_ >= 0) {
    eventfd_t ignored = 0;
    ::eventfd_read(wakeFd_, &ignored);
  }
}

bool PtyKeypad::WaitForRelease(std::chrono::milliseconds limit, int stopFd) {
  if (masterFd_ < 0) return true;
  // With the keypad's own hold on the device side gone, the master sees a
  // hang-up once the program closes it.
  if (slaveFd_ >= 0) ::close(slaveFd_);
  slaveFd_ = -1;
  const Clock::TimePoint deadline = clock_.Now() + limit;
  for (;;) {
    pollfd watch[2] = {{masterFd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = clock_.Poll(watch, stopFd >= 0 ? 2 : 1, deadline);
    if (ready <= 0) return false;  // the limit passed, or the line failed
    if (stopFd >= 0 && (watch[1].revents & POLLIN)) return true;
    if (watch[0].revents & POLLIN) {
      std::uint8_t chunk[512];
      if (::read(masterFd_, chunk, sizeof chunk) > 0) continue;
    }
    if (watch[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
  }
}

void PtyKeypad::PressShiftLoad() {
  std::lock_guard<std::mutex> lock(mutex_);
  model_.PressShiftLoad();
}

void PtyKeypad::TakeOffLine() {
  std::lock_guard<std::mutex> lock(mutex_);
  onLine_ = false;
}

void PtyKeypad::PutOnLine(KeypadOptions options) {
  std::lock_guard<std::mutex> lock(mutex_);
  model_ = KeypadModel(std::move(options), modelClock_);
  onLine_ = true;
}

bool PtyKeypad::WaitForEnd(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return model_.IsFinished(); });
}

KeypadModel PtyKeypad::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_;
}

bool PtyKeypad::SendAnswers(const std::vector<std::uint8_t>& answers, int stopFd) {
  std::size_t sent = 0;
  while (sent < answers.size()) {
    const ssize_t n = ::write(masterFd_, answers.data() + sent, answers.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    // The program is not reading: wait for room, or for the stop signal.
    pollfd watch[3] = {{masterFd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (clock_.Poll(watch, stopFd >= 0 ? 3 : 2, std::nullopt) < 0) return false;
    if (stopRequested_ || (stopFd >= 0 && (watch[2].revents & POLLIN))) return true;
  }
  return true;
}

PtyKeypad::ReceiveEnd PtyKeypad::HandleReceived(const std::uint8_t* bytes, std::size_t count, int stopFd) {
  for (std::size_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> answers;
    bool answersRead = false;
    bool hungUp = false;
    bool stoppedReading = false;
    bool finished = false;
    std::chrono::milliseconds delay{0};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!onLine_) continue;  // no keypad takes it
      answersRead = model_.phase() == KeypadModel::Phase::Loading;
      answers = model_.ReceiveByte(bytes[i]);
      hungUp = model_.IsHungUp();
      stoppedReading = model_.StoppedReading();
      delay = model_.AnswerDelay();
      if (model_.IsFinished()) {
        changed_.notify_all();
        finished = stopAfterEnd_;
      }
    }
    if (stoppedReading) StopLineOutput();
    if (!answers.empty()) {
      if (answersRead && delay.count() > 0) clock_.SleepFor(delay);
      if (!SendAnswers(answers, stopFd)) return ReceiveEnd::LineFailed;
    }
    if (hungUp) {
      CloseLine();
      return ReceiveEnd::Finished;
    }
    if (finished) return ReceiveEnd::Finished;
  }
  return ReceiveEnd::GoOn;
}

PtyKeypad::ModelWait PtyKeypad::TakeModelWait() {
  ModelWait wait;
  std::lock_guard<std::mutex> lock(mutex_);
  wait.stoppedReading = model_.StoppedReading();
  // Off the line the keypad neither answers nor falls idle.
  if (!onLine_) return wait;
  wait.due = model_.Poll();
  if (model_.phase() == KeypadModel::Phase::IdentityPending) {
    wait.wakeUp = clock_.Now() + kIdentityPollInterval;
  } else if (model_.AwaitingRestOfBlock()) {
    wait.wakeUp = clock_.Now() + KeypadModel::kLineIdleTime;
    wait.idleAtWakeUp = true;
  }
  return wait;
}

void PtyKeypad::LetGoOfDevice() {
  // The keypad's own hold on the device side goes, so that the master
  // hangs up once the program has closed the device too.
  eventfd_t ignored = 0;
  ::eventfd_read(wakeFd_, &ignored);
  if (slaveFd_ >= 0) ::close(slaveFd_);
  slaveFd_ = -1;
}

bool PtyKeypad::Serve(int stopFd) {
  if (masterFd_ < 0) return false;
  while (!stopRequested_) {
    const ModelWait wait = TakeModelWait();
    if (wait.stoppedReading) StopLineOutput();
    if (!wait.due.empty() && !SendAnswers(wait.due, stopFd)) return false;

    pollfd watch[3] = {{masterFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = clock_.Poll(watch, stopFd >= 0 ? 3 : 2, wait.wakeUp);
    if (ready < 0) return false;
    if (ready == 0 && wait.idleAtWakeUp) {
      std::lock_guard<std::mutex> lock(mutex_);
      model_.LineIdle();
      continue;
    }
    if (watch[1].revents & POLLIN) {
      if (stopRequested_ || !releaseRequested_) break;
      LetGoOfDevice();
      continue;
    }
    if (stopFd >= 0 && (watch[2].revents & POLLIN)) break;
    const bool hungUp = (watch[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    // After a release a hang-up is the program letting go: what it wrote
    // before is still read, and only then does the read fail.
    if ((watch[0].revents & POLLIN) || (hungUp && releaseRequested_ && slaveFd_ < 0)) {
      const ReceiveEnd end = TakeInput(stopFd);
      if (end == ReceiveEnd::LineFailed) return false;
      if (end == ReceiveEnd::Finished) break;
    } else if (hungUp) {
      return false;
    }
  }
  return true;
}

PtyKeypad::ReceiveEnd PtyKeypad::TakeInput(int stopFd) {
  std::uint8_t chunk[512];
  const ssize_t n = ::read(masterFd_, chunk, sizeof chunk);
  if (n > 0) return HandleReceived(chunk, static_cast<std::size_t>(n), stopFd);
  if (n < 0 && errno == EIO && releaseRequested_ && slaveFd_ < 0) {
    // Both sides have let go, and the program's last byte has been handled.
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    return ReceiveEnd::Finished;
  }
  return n == 0 || errno == EAGAIN || errno == EINTR ? ReceiveEnd::GoOn : ReceiveEnd::LineFailed;
}

}  // namespace lumivane::sim
