// The station engine on scripted runners, a fake device monitor and a
// manual clock. The engine runs on a thread of its own; the test waits for
// what it observes, never for time.
#include "station/StationEngine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <string>

#include "FakeDeviceMonitor.h"
#include "SharedManualClock.h"
#include "StationFakes.h"

namespace lumivane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;
using Kind = StationEvent::Kind;

KeypadDevice Keypad(int socket) {
  return {"/dev/hidraw" + std::to_string(socket), "pci-0000:00:14.0-usb-0:" + std::to_string(socket) + ":1.0",
          "SN" + std::to_string(socket)};
}

class StationEngineTest : public ::testing::Test {
 protected:
  void Start(StationSetup setup = {}) {
    engine = std::make_unique<StationEngine>(
        std::move(setup), StationParts{runner, clock, observer, recorder, &monitor, &probe});
    finished = std::async(std::launch::async, [this] { return engine->Run(); });
  }
  StationSummary Finish() { return finished.get(); }
  // A test that failed midway still ends its station.
  void TearDown() override {
    if (!finished.valid()) return;
    engine->StopNow();
    finished.wait();
  }
  // Until the engine has seen `count` slots transferring at once.
  bool WaitForTransfers(std::size_t count) {
    return observer.monitor.WaitFor([&] {
      if (observer.entries.empty()) return false;
      const std::vector<SlotStatus>& slots = observer.entries.back().snapshot.slotList;
      return static_cast<std::size_t>(std::count_if(slots.begin(), slots.end(), [](const SlotStatus& slot) {
               return slot.phase == DownloadPhase::Transferring;
             })) >= count;
    });
  }

  test::SharedManualClock clock;
  test::ScriptedRunner runner;
  test::RecordingObserver observer;
  test::MemoryRecorder recorder;
  test::FakeDeviceMonitor monitor;
  test::ScriptedProbe probe;
  std::unique_ptr<StationEngine> engine;
  std::future<StationSummary> finished;
};

// One keypad hangs in its transfer, one fails, one passes: the one that
// passes is neither delayed nor changed, and the failure is its own line.
TEST_F(StationEngineTest, AHangingAndAFailingKeypadLeaveTheOthersAlone) {
  runner.SetScript(Keypad(1).node, test::Script::Hang);
  runner.SetScript(Keypad(2).node, test::Script::Fail);
  runner.SetScript(Keypad(3).node, test::Script::PassWhenReleased);
  for (int socket = 1; socket <= 3; ++socket) monitor.Arrive(Keypad(socket));
  Start();
  ASSERT_TRUE(runner.WaitForStarts(3));
  ASSERT_TRUE(observer.WaitForOutcomes(1));  // the failure, on its own

  clock.Advance(std::chrono::seconds(5));
  runner.Release(Keypad(3).node);
  ASSERT_TRUE(observer.WaitForOutcomes(2));
  EXPECT_THAT(observer.Outcomes(), ElementsAre(Pair(Keypad(2).port, OutcomeResult::Failed),
                                               Pair(Keypad(3).port, OutcomeResult::Passed)));
  EXPECT_EQ(runner.Running(), 1u);  // the hanging one, still
  ASSERT_TRUE(WaitForTransfers(1));

  // A first stop lets the hanging transfer go on; the second cuts it.
  engine->RequestStop();
  ASSERT_TRUE(observer.WaitForNotices(2));
  EXPECT_EQ(runner.Running(), 1u);
  engine->RequestStop();
  const StationSummary summary = Finish();

  EXPECT_EQ(summary.counts.passed, 1u);
  EXPECT_EQ(summary.counts.failed, 2u);
  EXPECT_THAT(summary.incompleteSlots, ElementsAre(Keypad(1).port + " (SN1)"));
  ASSERT_EQ(recorder.kept.size(), 3u);
  EXPECT_EQ(recorder.kept[1].slot, Keypad(3).port);
  EXPECT_EQ(recorder.kept[1].duration, std::chrono::seconds(5));
  EXPECT_THAT(observer.Notices(),
              ElementsAre("Stopping: no more keypads are armed",
                          "1 transfer finishes first; Ctrl-C stops them, and their keypads then hold an "
                          "incomplete image",
                          "Stopping the transfers under way now"));
}

// Rewritten only after it left and came back; an arrival reported twice
// (a listing that repeats) never rewrites it.
TEST_F(StationEngineTest, AKeypadThatStaysPluggedInIsNotRewritten) {
  monitor.Arrive(Keypad(1));
  Start();
  ASSERT_TRUE(observer.WaitForEvent(Kind::AwaitingRemoval, Keypad(1).port));
  monitor.Arrive(Keypad(1));
  monitor.Arrive(Keypad(2));  // flushes the repeat through the engine
  ASSERT_TRUE(observer.WaitForOutcomes(2));
  EXPECT_THAT(runner.Started(), ElementsAre(Keypad(1).node, Keypad(2).node));

  monitor.Leave(Keypad(1));
  KeypadDevice renumbered = Keypad(1);
  renumbered.node = "/dev/hidraw9";  // the same socket, another node
  monitor.Arrive(renumbered);
  ASSERT_TRUE(observer.WaitForOutcomes(3));
  engine->RequestStop();
  Finish();
  EXPECT_THAT(runner.Started(), ElementsAre(Keypad(1).node, Keypad(2).node, "/dev/hidraw9"));
}

// Pulled while it waited for shift+load: not waited for, not counted, and
// served when plugged in again. Pulled during the transfer and put back
// before that download ended: served again at once.
TEST_F(StationEngineTest, AKeypadPulledOutIsServedAgainWhenItComesBack) {
  runner.SetScript(Keypad(1).node, test::Script::WaitForKeypad);
  runner.SetScript(Keypad(2).node, test::Script::PassWhenReleased);
  monitor.Arrive(Keypad(1));
  monitor.Arrive(Keypad(2));
  Start();
  ASSERT_TRUE(runner.WaitForStarts(2));
  ASSERT_TRUE(observer.WaitForEvent(Kind::Phase, Keypad(1).port));
  ASSERT_TRUE(observer.monitor.WaitFor([&] {
    const auto& slots = observer.entries.back().snapshot.slotList;
    return slots.size() == 2 && slots[0].phase == DownloadPhase::Waiting && slots[1].phase == DownloadPhase::Transferring;
  }));
  monitor.Leave(Keypad(1));
  runner.Release(Keypad(1).node);  // its download finds the keypad gone
  ASSERT_TRUE(observer.WaitForOutcomes(1));
  runner.SetScript(Keypad(1).node, test::Script::Pass);
  monitor.Arrive(Keypad(1));
  ASSERT_TRUE(observer.WaitForOutcomes(2));

  monitor.Leave(Keypad(2));
  monitor.Arrive(Keypad(2));
  monitor.Arrive(Keypad(3));  // its outcome tells that the engine has seen the two before
  ASSERT_TRUE(observer.WaitForOutcomes(3));
  runner.SetScript(Keypad(2).node, test::Script::Fail);
  runner.Release(Keypad(2).node);  // its transfer ends, as a pulled keypad's would
  ASSERT_TRUE(observer.WaitForOutcomes(5));
  engine->RequestStop();
  const StationSummary summary = Finish();
  EXPECT_THAT(runner.Started(), UnorderedElementsAre(Keypad(1).node, Keypad(2).node, Keypad(1).node,
                                                     Keypad(3).node, Keypad(2).node));
  EXPECT_THAT(observer.Outcomes(), ElementsAre(Pair(Keypad(1).port, OutcomeResult::Unserved),
                                               Pair(Keypad(1).port, OutcomeResult::Passed),
                                               Pair(Keypad(3).port, OutcomeResult::Passed),
                                               Pair(Keypad(2).port, OutcomeResult::Passed),
                                               Pair(Keypad(2).port, OutcomeResult::Failed)));
  EXPECT_EQ(summary.counts.passed, 3u);
  EXPECT_EQ(summary.counts.failed, 1u);
}

TEST_F(StationEngineTest, StopsOnceEnoughHavePassedAndCancelsTheWaitingOnes) {
  runner.SetScript(Keypad(3).node, test::Script::WaitForKeypad);
  monitor.Arrive(Keypad(3));
  Start({StationSetup::Link::Usb, {}, 2});
  ASSERT_TRUE(runner.WaitForStarts(1));
  monitor.Arrive(Keypad(1));
  monitor.Arrive(Keypad(2));
  const StationSummary summary = Finish();  // ends by itself
  EXPECT_EQ(summary.counts.passed, 2u);
  EXPECT_EQ(recorder.kept.back().result, OutcomeResult::Unserved);
  EXPECT_EQ(recorder.kept.back().outcome.keypad, KeypadHolds::Unchanged);
  EXPECT_THAT(observer.Notices(), ElementsAre("2 keypads have passed; no more are armed"));
}

// A log that cannot be written stops the station: no keypad is served
// that the log would not name.
TEST_F(StationEngineTest, AnOutcomeThatCannotBeKeptStopsTheStation) {
  recorder.failFrom = 0;
  runner.SetScript(Keypad(1).node, test::Script::PassWhenReleased);
  runner.SetScript(Keypad(2).node, test::Script::PassWhenReleased);
  monitor.Arrive(Keypad(1));
  monitor.Arrive(Keypad(2));
  Start();
  ASSERT_TRUE(WaitForTransfers(2));
  runner.Release(Keypad(1).node);
  ASSERT_TRUE(observer.WaitForOutcomes(1));
  monitor.Leave(Keypad(1));
  monitor.Arrive(Keypad(1));
  ASSERT_TRUE(observer.WaitForEvent(Kind::Idle, Keypad(1).port));  // back, and not armed
  runner.Release(Keypad(2).node);  // already writing: it finishes
  const StationSummary summary = Finish();
  EXPECT_EQ(summary.logFailure, "station.log: No space left on device");
  EXPECT_THAT(runner.Started(), UnorderedElementsAre(Keypad(1).node, Keypad(2).node));
  EXPECT_THAT(observer.Notices(),
              ElementsAre(HasSubstr("The log cannot be written: station.log: No space left on device"),
                          HasSubstr("1 transfer finishes first")));
}

TEST_F(StationEngineTest, AMonitorThatFailsStopsTheStation) {
  monitor.Arrive(Keypad(1));
  monitor.Fail("udev's device events cannot be received: the connection failed");
  Start();
  const StationSummary summary = Finish();
  EXPECT_EQ(summary.monitorFailure, "udev's device events cannot be received: the connection failed");
}

// RS232: a slot per port; armed again only once its keypad has stopped
// answering twice in a row. A line that cannot be used is out of service
// until it can, and is then armed whatever answers: its keypad was taken off.
TEST_F(StationEngineTest, AnRs232SlotIsArmedAgainOnceItsKeypadStopsAnswering) {
  const PresenceAnswer answers{Presence::Answers, ""};
  const PresenceAnswer silent{Presence::NoAnswer, ""};
  const PresenceAnswer unusable{Presence::LineUnusable, "/dev/ttyUSB1: No such file or directory"};
  probe.SetAnswers("/dev/ttyUSB0", {answers, silent, answers, silent, silent, answers});
  probe.SetAnswers("/dev/ttyUSB1", {unusable, unusable, unusable, answers});
  runner.SetScript("/dev/ttyUSB1", test::Script::Fail);
  Start({StationSetup::Link::Rs232, {"/dev/ttyUSB0", "/dev/ttyUSB1"}});
  ASSERT_TRUE(observer.WaitForEvent(Kind::OutOfService, "/dev/ttyUSB1"));
  ASSERT_TRUE(runner.WaitForStarts(4));
  ASSERT_TRUE(probe.WaitForAsked("/dev/ttyUSB0", 6));
  engine->RequestStop();
  Finish();
  EXPECT_THAT(runner.Started(),
              UnorderedElementsAre("/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB0", "/dev/ttyUSB1"));
  const auto outOfService = std::count_if(observer.entries.begin(), observer.entries.end(),
                                          [](const auto& entry) { return entry.event.kind == Kind::OutOfService; });
  EXPECT_EQ(outOfService, 1) << "told once";
}

}  // namespace
}  // namespace lumivane
