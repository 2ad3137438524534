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

namespace lumivane::sim {

namespace {

// While the identity answer waits for the shift+load delay, the line is
// looked at this often.
constexpr std::chrono::milliseconds kIdentityPollInterval{5};

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

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

bool PtyKeypad::Open(std::string* error) {
  if (masterFd_ >= 0) return true;
  if (wakeFd_ < 0) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
      *error = SystemError("eventfd");
      return false;
    }
  }
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    *error = SystemError("posix_openpt");
    return false;
  }
  char name[128] = {};
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
      ::ptsname_r(master, name, sizeof name) != 0) {
    *error = SystemError("pseudo-terminal set-up");
    ::close(master);
    return false;
  }
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (slave < 0 || ::tcgetattr(slave, &settings) != 0) {
    *error = SystemError(name);
    if (slave >= 0) ::close(slave);
    ::close(master);
    return false;
  }
  // Raw: every byte passes unchanged, nothing is echoed.
  ::cfmakeraw(&settings);
  ::cfsetspeed(&settings, B9600);
  if (::tcsetattr(slave, TCSANOW, &settings) != 0) {
    *error = SystemError(name);
    ::close(slave);
    ::close(master);
    return false;
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  masterFd_ = master;
  slaveFd_ = slave;
  devicePath_ = name;
  return true;
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

bool PtyKeypad::Start(std::string* error) {
  if (thread_.joinable()) return true;
  if (!Open(error)) return false;
  stopRequested_ = false;
  thread_ = std::thread([this] { Serve(); });
  return true;
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
  return endSeen_.wait_for(lock, limit, [this] { return model_.IsFinished(); });
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

bool PtyKeypad::HandleReceived(const std::uint8_t* bytes, std::size_t count, int stopFd,
                               bool* finished) {
  for (std::size_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> answers;
    bool answersRead = false;
    bool hungUp = false;
    bool stoppedReading = false;
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
        endSeen_.notify_all();
        if (stopAfterEnd_) *finished = true;
      }
    }
    if (stoppedReading) StopLineOutput();
    if (!answers.empty()) {
      if (answersRead && delay.count() > 0) clock_.SleepFor(delay);
      if (!SendAnswers(answers, stopFd)) return false;
    }
    if (hungUp) {
      CloseLine();
      *finished = true;
      return true;
    }
    if (*finished) return true;
  }
  return true;
}

bool PtyKeypad::Serve(int stopFd) {
  if (masterFd_ < 0) return false;
  bool finished = false;
  while (!finished && !stopRequested_) {
    std::optional<Clock::TimePoint> wakeUp;
    bool idleAtWakeUp = false;  // the line falls idle if nothing comes until then
    std::vector<std::uint8_t> due;
    bool stoppedReading = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stoppedReading = model_.StoppedReading();
      // Off the line the keypad neither answers nor falls idle.
      if (onLine_) due = model_.Poll();
      if (onLine_ && model_.phase() == KeypadModel::Phase::IdentityPending) {
        wakeUp = clock_.Now() + kIdentityPollInterval;
      } else if (onLine_ && model_.AwaitingRestOfBlock()) {
        wakeUp = clock_.Now() + KeypadModel::kLineIdleTime;
        idleAtWakeUp = true;
      }
    }
    if (stoppedReading) StopLineOutput();
    if (!due.empty() && !SendAnswers(due, stopFd)) return false;

    pollfd watch[3] = {{masterFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = clock_.Poll(watch, stopFd >= 0 ? 3 : 2, wakeUp);
    if (ready < 0) return false;
    if (ready == 0 && idleAtWakeUp) {
      std::lock_guard<std::mutex> lock(mutex_);
      model_.LineIdle();
      continue;
    }
    if (watch[1].revents & POLLIN) break;
    if (stopFd >= 0 && (watch[2].revents & POLLIN)) break;
    if (watch[0].revents & POLLIN) {
      std::uint8_t chunk[512];
      const ssize_t n = ::read(masterFd_, chunk, sizeof chunk);
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (n > 0 && !HandleReceived(chunk, static_cast<std::size_t>(n), stopFd, &finished)) {
        return false;
      }
    } else if (watch[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      return false;
    }
  }
  return true;
}

}  // namespace lumivane::sim
