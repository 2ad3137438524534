// The station's signals: a first SIGINT lets the transfers under way
// finish, a second or SIGTERM stops them; and the exit status.
#include "cli/StationSession.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "FakeDeviceMonitor.h"
#include "SharedManualClock.h"
#include "StationFakes.h"

namespace lumivane {
namespace {

using ::testing::ElementsAre;

class StationSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ::pipe(signalPipe));
    runner.SetScript("/dev/hidraw1", test::Script::Hang);
    monitor.Arrive({"/dev/hidraw1", "usb-0:1:1.0", ""});
    finished = std::async(std::launch::async, [this] { return ServeWithSignals(engine, signalPipe[0]); });
    ASSERT_TRUE(runner.WaitForStarts(1));
    ASSERT_TRUE(observer.monitor.WaitFor([&] {
      return !observer.entries.empty() && observer.entries.back().snapshot.slotList[0].phase == DownloadPhase::Transferring;
    }));
  }
  void TearDown() override {
    if (finished.valid()) {  // a test that failed midway still ends its station
      engine.StopNow();
      finished.wait();
    }
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
  }
  // What a signalfd gives for the signal.
  void Send(int number) {
    signalfd_siginfo info{};
    info.ssi_signo = static_cast<std::uint32_t>(number);
    ASSERT_EQ(static_cast<ssize_t>(sizeof info), ::write(signalPipe[1], &info, sizeof info));
  }

  int signalPipe[2] = {-1, -1};
  test::SharedManualClock clock;
  test::ScriptedRunner runner;
  test::RecordingObserver observer;
  test::MemoryRecorder recorder;
  test::FakeDeviceMonitor monitor;
  StationEngine engine{StationSetup{}, StationParts{runner, clock, observer, recorder, &monitor, nullptr}};
  std::future<StationSummary> finished;
};

TEST_F(StationSessionTest, TheSecondInterruptStopsTheTransferAndNamesItsKeypad) {
  Send(SIGINT);
  ASSERT_TRUE(observer.WaitForNotices(2));
  EXPECT_EQ(runner.Running(), 1u);
  Send(SIGINT);
  const StationSummary summary = finished.get();
  EXPECT_THAT(summary.incompleteSlots, ElementsAre("usb-0:1:1.0"));
  EXPECT_EQ(StationExitStatus(summary), 18);
}

TEST_F(StationSessionTest, TerminationStopsAtOnce) {
  Send(SIGTERM);
  EXPECT_EQ(finished.get().counts.failed, 1u);
}

TEST(StationExitStatusTest, AFailedKeypadOutweighsEverythingElse) {
  const auto status = [](std::size_t failed, std::string log, std::string monitor) {
    StationSummary summary;
    summary.counts.passed = 4;
    summary.counts.failed = failed;
    summary.logFailure = std::move(log);
    summary.monitorFailure = std::move(monitor);
    return StationExitStatus(summary);
  };
  EXPECT_EQ(status(0, "", ""), 0);
  EXPECT_EQ(status(1, "x.log: No space left on device", "gone"), 18);
  EXPECT_EQ(status(0, "x.log: No space left on device", "gone"), 10);
  EXPECT_EQ(status(0, "", "gone"), 12);
}

}  // namespace
}  // namespace lumivane
