#include "station/ChainSlotRunner.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "common/ExitStatus.h"
#include "download/ChainDriver.h"
#include "download/DownloadChain.h"
#include "link/HidChannel.h"
#include "link/SerialPort.h"

namespace lumivane {

namespace {

constexpr const char* kCancelledLine = "Operation cancelled by user";

// The HID service as one slot sees it: only its own keypad's node is
// listed, so the chain's search for a keypad finds that one or none.
class OneDeviceHid : public HidBackend {
 public:
  OneDeviceHid(HidBackend& backend, std::string node) : backend_(backend), node_(std::move(node)) {}

  std::vector<HidDeviceInfo> Enumerate() override {
    std::vector<HidDeviceInfo> listed = backend_.Enumerate();
    std::erase_if(listed, [this](const HidDeviceInfo& info) { return info.path != node_; });
    return listed;
  }
  HidOpening Open(const std::string& path) override { return backend_.Open(path); }

 private:
  HidBackend& backend_;
  std::string node_;
};

// Wakes the driver's loop when either stop is asked; its checkStops then acts.
class StopWake {
 public:
  explicit StopWake(const SlotStop& stop)
      : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
        beforeWriting_(stop.beforeWriting, [this] { Wake(); }),
        now_(stop.now, [this] { Wake(); }) {}
  ~StopWake() {
    if (fd_ >= 0) ::close(fd_);
  }
  StopWake(const StopWake&) = delete;
  StopWake& operator=(const StopWake&) = delete;

  int fd() const { return fd_; }
  void Take() {
    eventfd_t count = 0;
    if (fd_ >= 0) (void)::eventfd_read(fd_, &count);
  }

 private:
  void Wake() {
    if (fd_ >= 0) ::eventfd_write(fd_, 1);
  }

  int fd_;
  std::stop_callback<std::function<void()>> beforeWriting_;
  std::stop_callback<std::function<void()>> now_;
};

}  // namespace

// The chain's events as the slot reports them, and its outcome. A wait
// that begins anew shows as the one wait it is.
class ChainSlotRunner::Host : public DownloadEvents {
 public:
  explicit Host(SlotEvents& events) : events_(events) {}

  void OnPhase(const PhaseChange& change) override {
    if (change.to == DownloadPhase::Idle) {
      endedFrom = change.from;
      return;
    }
    // Translating the shared image is nothing to show.
    if (change.to == DownloadPhase::Translating) return;
    if (renewing && (change.to == DownloadPhase::Preparing || change.to == DownloadPhase::Waiting)) return;
    renewing = false;
    events_.OnPhase(change.to);
  }
  void OnLine(const std::string&, LineKind) override {}
  void OnProgress(const DownloadProgress& progress) override { events_.OnProgress({progress.done, progress.total}); }
  void OnOutcome(const DownloadOutcome& done) override { static_cast<DownloadOutcome&>(outcome) = done; }

  SlotOutcome outcome;
  DownloadPhase endedFrom = DownloadPhase::Idle;
  bool renewing = false;  // the next wait goes on the last one
  bool stopped = false;   // a stop of the station's ended the run

 private:
  SlotEvents& events_;
};

SlotOutcome ChainSlotRunner::Run(const SlotTarget& target, SlotEvents& events, const SlotStop& stop) {
  Host host(events);
  for (;;) {
    RunChain(target, host, stop);
    // The wait for shift+load reached its limit: the identity request goes out again.
    const bool waitEnded = job_.choices.link == LinkKind::Rs232 && !host.stopped &&
                           host.endedFrom == DownloadPhase::Waiting &&
                           host.outcome.exitStatus == exit_status::kWaitEnded;
    if (!waitEnded) break;
    host.renewing = true;
  }
  SlotOutcome outcome = host.outcome;
  // Ended by the station's stop, not by a state of its own: as `download`
  // ended by Ctrl-C, which exits with 128 + SIGINT.
  if (host.stopped && outcome.state == DownloadState::None && !outcome.succeeded) {
    outcome.exitStatus = exit_status::kSignalBase + SIGINT;
  } else if (!outcome.succeeded && outcome.keypad == KeypadHolds::Unchanged) {
    outcome.keypadLeft = TargetGone(target);
  }
  return outcome;
}

void ChainSlotRunner::RunChain(const SlotTarget& target, Host& host, const SlotStop& stop) {
  DownloadChoices choices = job_.choices;
  choices.portName = target.device;
  if (choices.link == LinkKind::Rs232) choices.waitLimit = kIdentityRepeat;
  // Everything mutable is this run's own: the port, the HID view, the chain.
  SerialPort serialPort(job_.clock);
  std::unique_ptr<OneDeviceHid> hid;
  LinkChannels channels;
  channels.clock = &job_.clock;
  channels.resolvePortName = job_.resolvePortName;
  if (choices.link == LinkKind::Usb && job_.hidBackend != nullptr) {
    hid = std::make_unique<OneDeviceHid>(*job_.hidBackend, target.device);
    channels.hidBackend = hid.get();
  } else if (choices.link == LinkKind::Rs232) {
    channels.serialPort = &serialPort;
  }

  StopWake wake(stop);
  const DownloadChain* running = nullptr;
  ChainDriver* driver = nullptr;
  ChainDriver::Inputs inputs;
  inputs.stopInput = wake.fd();
  inputs.checkStops = [&] {
    const bool now = stop.now.stop_requested();
    // A transfer that has begun is not cut by the stop before writing.
    const bool beforeWriting =
        stop.beforeWriting.stop_requested() && running != nullptr && !running->IsTransferring();
    if (host.stopped || !(now || beforeWriting)) return;
    wake.Take();
    host.stopped = true;
    driver->StopNow({kCancelledLine});
  };
  ChainDriver chainDriver(choices, host, job_.clock, std::move(inputs));
  driver = &chainDriver;
  DownloadChain chain(chainDriver, std::move(channels), {});
  chain.UseTranslatedImage(&job_.image);
  running = &chain;
  chainDriver.Run(chain);
}

bool ChainSlotRunner::TargetGone(const SlotTarget& target) const {
  if (job_.choices.link == LinkKind::Usb) {
    if (job_.hidBackend == nullptr) return false;
    const std::vector<HidDeviceInfo> listed = job_.hidBackend->Enumerate();
    return std::none_of(listed.begin(), listed.end(),
                        [&](const HidDeviceInfo& info) { return info.path == target.device; });
  }
  const std::string device = job_.resolvePortName ? job_.resolvePortName(target.device) : target.device;
  struct stat status {};
  return ::stat(device.c_str(), &status) != 0;
}

}  // namespace lumivane
