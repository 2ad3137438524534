// The station with its real downloads (ChainSlotRunner, SerialPresenceProbe)
// into several simulated keypads at once, some of them faulty: USB keypads
// on one simulated HID service, RS232 keypads on pseudo-terminals. The
// tests wait for what the station tells, never for time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <string>
#include <vector>

#include "Eventually.h"
#include "FakeDeviceMonitor.h"
#include "HeldImage.h"
#include "SharedManualClock.h"
#include "SleeplessClock.h"
#include "StationFakes.h"
#include "TestPaths.h"
#include "sim/PtyKeypad.h"
#include "sim/SimulatedHid.h"
#include "station/ChainSlotRunner.h"
#include "station/SerialPresenceProbe.h"
#include "station/StationEngine.h"
#include "translator/ImageBuilder.h"

namespace lumivane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = StationEvent::Kind;

const char* const kFeatureReportFailed = ": a feature report failed (the keypad was unplugged or stopped answering)";

std::string Node(int socket) { return "/dev/hidraw" + std::to_string(socket); }
KeypadDevice Keypad(int socket) {
  return {Node(socket), "pci-0000:00:14.0-usb-0:" + std::to_string(socket) + ":1.0", "SN" + std::to_string(socket)};
}

// One station run on the real runner, with what it was told and kept.
class StationRun {
 public:
  StationRun(const ImageBuilder& image, LinkKind link, HidBackend* hid, Clock& clock)
      : job_{Choices(link), image, hid, {}, clock}, runner_(job_), probe_(clock, {}) {}
  ~StationRun() {
    if (!finished_.valid()) return;
    engine_->StopNow();
    finished_.wait();
  }

  void Start(StationSetup setup) {
    engine_ = std::make_unique<StationEngine>(
        std::move(setup), StationParts{runner_, job_.clock, observer, recorder, &monitor, &probe_});
    finished_ = std::async(std::launch::async, [this] { return engine_->Run(); });
  }
  // Once the station has ended by itself.
  StationSummary Finish() { return finished_.get(); }
  StationSummary Stop() {
    engine_->RequestStop();
    return Finish();
  }
  // True once the last snapshot told satisfies `predicate`.
  template <typename Predicate>
  bool WaitForSlots(Predicate predicate) {
    return observer.monitor.WaitFor(
        [&] { return !observer.entries.empty() && predicate(observer.entries.back().snapshot.slotList); });
  }
  StationEngine& engine() { return *engine_; }
  // The outcome kept for a slot (the last one), once the station has ended.
  const MemoryRecorder::Kept* KeptFor(const std::string& slot) const {
    for (auto kept = recorder.kept.rbegin(); kept != recorder.kept.rend(); ++kept) {
      if (kept->slot == slot) return &*kept;
    }
    return nullptr;
  }
  bool WaitForOutcome(const std::string& slot) { return observer.WaitForEvent(Kind::Outcome, slot); }

  test::FakeDeviceMonitor monitor;
  test::RecordingObserver observer;
  test::MemoryRecorder recorder;

 private:
  static DownloadChoices Choices(LinkKind link) {
    DownloadChoices choices;
    choices.link = link;
    choices.verify = true;
    return choices;
  }

  StationJob job_;
  ChainSlotRunner runner_;
  SerialPresenceProbe probe_;
  std::unique_ptr<StationEngine> engine_;
  std::future<StationSummary> finished_;
};

class StationDownloadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(image.Translate({SourceDir() + "/samples/Kt90NewConfig.pos", SourceDir() + "/emulators/English_US.emu",
                               "120", false}),
              DownloadState::ImageReady);
  }
  Bytes Image() const { return Bytes(image.image(), image.image() + image.imageLength()); }

  ImageBuilder image;
};

// Five USB keypads at once: two sound ones, and one each that hangs, is
// unplugged during its transfer, has a stuck byte and is another device.
// Each failure is its own outcome with its reason; the sound ones hold the
// image byte for byte and are not written again while they stay plugged in.
TEST_F(StationDownloadsTest, UsbKeypadsFailOnTheirOwnAndTheSoundOnesHoldTheImage) {
  SharedManualClock clock;
  sim::SimulatedHid hid(&clock);
  enum class Fault { None, Hang, Unplug, StuckByte, WrongIdentity };
  const struct {
    Fault fault;
    OutcomeResult result;
    std::string statusLine;
    std::string detail;  // "@" stands for the node
    int exitStatus;
    KeypadHolds keypad;
  } cases[] = {
      {Fault::None, OutcomeResult::Passed, "DOWNLOAD SUCCESSFUL", "Verified 609 bytes", 0, KeypadHolds::Complete},
      {Fault::Hang, OutcomeResult::Failed, "Quintrel communication timeout", std::string("@") + kFeatureReportFailed, 6,
       KeypadHolds::Incomplete},
      {Fault::Unplug, OutcomeResult::Failed, "Quintrel communication timeout",
       std::string("@") + kFeatureReportFailed, 6, KeypadHolds::Incomplete},
      {Fault::StuckByte, OutcomeResult::Failed, "Verify failed at 0x0004: wrote 0x01, read 0xFF (1 byte differs)", "",
       14, KeypadHolds::Complete},
      {Fault::WrongIdentity, OutcomeResult::Failed, "Wrong Device ID",
       "@: the keypad answered C0 C1 C2 C3 C4 C5 C6 C8, not C0 C1 C2 C3 C4 C5 C6 C7", 9, KeypadHolds::Unchanged},
      {Fault::None, OutcomeResult::Passed, "DOWNLOAD SUCCESSFUL", "Verified 609 bytes", 0, KeypadHolds::Complete},
  };
  const int count = static_cast<int>(std::size(cases));
  StationRun station(image, LinkKind::Usb, &hid, clock);
  for (int i = 0; i < count; ++i) {
    sim::KeypadOptions options;
    if (cases[i].fault == Fault::StuckByte) options.stuckBytes = {0x0004};
    if (cases[i].fault == Fault::WrongIdentity) options.SetWrongIdentity();
    const KeypadDevice device = Keypad(i);
    hid.AddKeypad(sim::SimulatedHid::KeypadIdentity(device.node, device.port, device.serialNumber), options);
    // Inside the image's data reports: the identity exchange and the
    // placement take fewer than 40 reports.
    if (cases[i].fault == Fault::Hang) hid.BlockReportsAfter(device.node, 60);
    if (cases[i].fault == Fault::Unplug) hid.UnplugAfterReports(device.node, 60);
    station.monitor.Arrive(device);
  }
  station.Start({});
  for (int i = 0; i < count; ++i) {
    if (cases[i].fault == Fault::Hang) continue;
    ASSERT_TRUE(station.WaitForOutcome(Keypad(i).port)) << i;
    if (cases[i].fault == Fault::Unplug) station.monitor.Leave(Keypad(i));
  }
  // The hanging keypad holds only its own slot; pulled, it fails too.
  for (int i = 0; i < count; ++i) {
    if (cases[i].fault != Fault::Hang) continue;
    ASSERT_TRUE(Eventually([&] { return hid.BlockedCalls(Node(i)) == 1; }));
    hid.Unplug(Node(i));
    station.monitor.Leave(Keypad(i));
    ASSERT_TRUE(station.WaitForOutcome(Keypad(i).port));
  }
  // Plugged in all along, listed again: never written again. The outcome
  // of a keypad plugged in after that tells that the station has seen both.
  station.monitor.Arrive(Keypad(0));
  station.monitor.Arrive(Keypad(5));
  hid.AddKeypad(sim::SimulatedHid::KeypadIdentity(Node(count), Keypad(count).port, "SN"));
  station.monitor.Arrive(Keypad(count));
  ASSERT_TRUE(station.WaitForOutcome(Keypad(count).port));
  const StationSummary summary = station.Stop();

  EXPECT_EQ(summary.counts.passed, 3u);
  EXPECT_EQ(summary.counts.failed, 4u);
  ASSERT_EQ(station.recorder.kept.size(), static_cast<std::size_t>(count + 1));
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE(i);
    const auto& c = cases[i];
    const MemoryRecorder::Kept* kept = station.KeptFor(Keypad(i).port);
    ASSERT_NE(kept, nullptr);
    std::string detail = c.detail;
    if (!detail.empty() && detail[0] == '@') detail = Node(i) + detail.substr(1);
    EXPECT_EQ(kept->result, c.result);
    EXPECT_EQ(kept->outcome.statusLine, c.statusLine);
    EXPECT_EQ(kept->outcome.detail, detail);
    EXPECT_EQ(kept->outcome.exitStatus, c.exitStatus);
    EXPECT_EQ(kept->outcome.keypad, c.keypad);
    if (c.fault != Fault::None) continue;
    EXPECT_EQ(kept->outcome.verify, VerifyResult::Passed);
    hid.WithKeypad(Node(i), [&](const sim::KeypadModel& keypad) {
      EXPECT_EQ(HeldImage(keypad, image.tableSize()), Image());
      EXPECT_EQ(keypad.identityRequests(), 1u) << "written once";
    });
  }
}

// A stop while keypads wait for shift+load ends those waits, the keypads
// untouched and not served; the transfers under way finish and pass.
TEST_F(StationDownloadsTest, AStopEndsTheWaitsAndLetsTheTransfersFinish) {
  SharedManualClock clock;
  sim::SimulatedHid hid(&clock);
  sim::KeypadOptions neverPressed;
  neverPressed.shiftLoadDelay.reset();
  hid.AddKeypad(sim::SimulatedHid::KeypadIdentity(Node(1), Keypad(1).port, "SN1"), neverPressed);
  hid.AddKeypad(sim::SimulatedHid::KeypadIdentity(Node(2), Keypad(2).port, "SN2"));
  hid.BlockReportsAfter(Node(2), 60);
  StationRun station(image, LinkKind::Usb, &hid, clock);
  station.monitor.Arrive(Keypad(1));
  station.monitor.Arrive(Keypad(2));
  station.Start({});
  ASSERT_TRUE(Eventually([&] { return hid.BlockedCalls(Node(2)) == 1; }));
  ASSERT_TRUE(station.WaitForSlots([&](const std::vector<SlotStatus>& slots) {
    return slots.size() == 2 && slots[0].phase == DownloadPhase::Waiting;
  }));
  station.engine().RequestStop();
  ASSERT_TRUE(station.WaitForOutcome(Keypad(1).port));
  hid.ReleaseBlockedReports(Node(2));
  const StationSummary summary = station.Finish();

  EXPECT_EQ(summary.counts.passed, 1u);
  EXPECT_EQ(summary.counts.failed, 0u);
  const MemoryRecorder::Kept* waited = station.KeptFor(Keypad(1).port);
  ASSERT_NE(waited, nullptr);
  EXPECT_EQ(waited->result, OutcomeResult::Unserved);
  EXPECT_EQ(waited->outcome.statusLine, "Operation cancelled by user");
  EXPECT_EQ(waited->outcome.exitStatus, 130) << "as download after Ctrl-C";
  hid.WithKeypad(Node(1), [](const sim::KeypadModel& keypad) { EXPECT_TRUE(keypad.commands().empty()); });
  hid.WithKeypad(Node(2), [&](const sim::KeypadModel& keypad) { EXPECT_EQ(HeldImage(keypad, image.tableSize()), Image()); });
}

// The second stop cuts a transfer after its current byte and names the slot.
TEST_F(StationDownloadsTest, AStopNowCutsTheTransferAndNamesItsKeypad) {
  SharedManualClock clock;
  sim::SimulatedHid hid(&clock);
  hid.AddKeypad(sim::SimulatedHid::KeypadIdentity(Node(1), Keypad(1).port, "SN1"));
  hid.BlockReportsAfter(Node(1), 60);
  StationRun station(image, LinkKind::Usb, &hid, clock);
  station.monitor.Arrive(Keypad(1));
  station.Start({});
  ASSERT_TRUE(Eventually([&] { return hid.BlockedCalls(Node(1)) == 1; }));
  station.engine().StopNow();
  // Handled after the stop: once it is found, the stop has reached the slot.
  station.monitor.Arrive(Keypad(2));
  ASSERT_TRUE(station.observer.WaitForEvent(Kind::SlotFound, Keypad(2).port));
  hid.ReleaseBlockedReports(Node(1));
  const StationSummary summary = station.Finish();

  EXPECT_EQ(summary.incompleteSlots, std::vector<std::string>{Keypad(1).port + " (SN1)"});
  const MemoryRecorder::Kept* cut = station.KeptFor(Keypad(1).port);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->result, OutcomeResult::Failed);
  EXPECT_EQ(cut->outcome.keypad, KeypadHolds::Incomplete);
  EXPECT_EQ(cut->outcome.detail, "The Quintrel holds an incomplete image: download it again");
  hid.WithKeypad(Node(1), [](const sim::KeypadModel& keypad) { EXPECT_EQ(keypad.endCommands(), 0u); });
}

// Three pseudo-terminal keypads at once over RS232; one stops answering
// during its transfer. A keypad that stays on the line keeps answering the
// presence probe and is not written again; taken off, its slot is armed
// for the next keypad, which gets the image too.
TEST_F(StationDownloadsTest, Rs232KeypadsOnTheirOwnLinesAndOneIsReplaced) {
  SleeplessClock clock;
  sim::KeypadOptions sound;
  sim::KeypadOptions mute = sound;
  mute.answerReadsForCommands = 8;  // its reads go unanswered from the verify pass on
  std::vector<std::unique_ptr<sim::PtyKeypad>> keypads;
  for (const sim::KeypadOptions* options : {&sound, &mute, &sound}) {
    keypads.push_back(std::make_unique<sim::PtyKeypad>(*options, false));
    ASSERT_EQ(ChannelError(), keypads.back()->Start());
  }
  std::vector<std::string> ports;
  for (const auto& keypad : keypads) ports.push_back(keypad->devicePath());
  StationRun station(image, LinkKind::Rs232, nullptr, clock);
  station.Start({StationSetup::Link::Rs232, ports});
  for (const std::string& port : ports) ASSERT_TRUE(station.WaitForOutcome(port)) << port;

  // Probed while on the line, never written again.
  sim::PtyKeypad& first = *keypads[0];
  ASSERT_TRUE(station.observer.monitor.WaitFor([&] { return first.Snapshot().identityRequests() >= 3; }));
  EXPECT_EQ(first.Snapshot().endCommands(), 1u);
  EXPECT_EQ(HeldImage(first.Snapshot(), image.tableSize()), Image());
  first.TakeOffLine();
  ASSERT_TRUE(station.WaitForSlots(
      [](const std::vector<SlotStatus>& slots) { return slots[0].phase == DownloadPhase::Waiting; }));
  first.PutOnLine(sound);
  ASSERT_TRUE(station.observer.monitor.WaitFor([&] { return first.Snapshot().endCommands() == 1; }));
  const StationSummary summary = station.Stop();
  for (auto& keypad : keypads) keypad->Stop();

  EXPECT_EQ(summary.counts.passed, 3u);
  EXPECT_EQ(summary.counts.failed, 1u);
  const MemoryRecorder::Kept* mute1 = station.KeptFor(ports[1]);
  ASSERT_NE(mute1, nullptr);
  EXPECT_EQ(mute1->outcome.statusLine, "Quintrel communication timeout");
  EXPECT_THAT(mute1->outcome.detail, ::testing::StartsWith(ports[1] + ": no answer to a read of 0x"));
  for (std::size_t i : {std::size_t{0}, std::size_t{2}}) {
    EXPECT_EQ(HeldImage(keypads[i]->Snapshot(), image.tableSize()), Image()) << ports[i];
  }
}

}  // namespace
}  // namespace lumivane::test
