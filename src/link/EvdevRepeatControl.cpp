#include "link/EvdevRepeatControl.h"

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace lumivane {

RepeatSetting HeldSettingFor(std::uint8_t rate, std::uint8_t delay) {
  return {kTypematicDelaysMs[delay & 3u], kTypematicPeriodsMs[rate & 31u]};
}

RepeatSetting RepeatRequestFor(std::uint8_t rate, std::uint8_t delay, const RepeatSetting& held) {
  const RepeatSetting wanted = HeldSettingFor(rate, delay);
  RepeatSetting request;
  request.delayMs = held.delayMs == wanted.delayMs ? held.delayMs : wanted.delayMs - 1;
  const bool delayChanges = request.delayMs != held.delayMs;
  request.periodMs =
      held.periodMs == wanted.periodMs && delayChanges ? held.periodMs : wanted.periodMs - 1;
  return request;
}

namespace {

class EvdevRepeatControl : public RepeatControl {
 public:
  ~EvdevRepeatControl() override { Close(); }

  int Open(const std::string& node) override {
    Close();
    // Nothing is read from the node, and the open must not wait: a
    // terminal named by mistake would wait for its carrier, and would
    // become the controlling terminal.
    fd_ = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    return fd_ < 0 ? errno : 0;
  }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int SetRepeat(const RepeatSetting& setting) override {
    unsigned int values[2] = {setting.delayMs, setting.periodMs};
    return ::ioctl(fd_, EVIOCSREP, values) < 0 ? errno : 0;
  }

  int GetIdentity(NodeIdentity* identity) override {
    input_id id{};
    if (::ioctl(fd_, EVIOCGID, &id) < 0) return errno;
    *identity = {id.bustype, id.vendor, id.product};
    return 0;
  }

  int GetRepeat(RepeatSetting* setting) override {
    unsigned int values[2] = {0, 0};
    if (::ioctl(fd_, EVIOCGREP, values) < 0) return errno;
    setting->delayMs = values[0];
    setting->periodMs = values[1];
    return 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<RepeatControl> MakeEvdevRepeatControl() {
  return std::make_unique<EvdevRepeatControl>();
}

}  // namespace lumivane
