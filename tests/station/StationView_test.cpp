#include "station/StationView.h"

#include <gtest/gtest.h>

#include <string>

namespace lumivane {
namespace {

SlotStatus Slot(std::size_t id, std::string name, SlotState state) {
  SlotStatus slot;
  slot.id = id;
  slot.name = std::move(name);
  slot.state = state;
  return slot;
}

StationSnapshot Tray() {
  StationSnapshot snapshot;
  SlotStatus transferring = Slot(0, "usb-0:1:1.0", SlotState::Running);
  transferring.serialNumber = "SN7";
  transferring.phase = DownloadPhase::Transferring;
  transferring.progress = {512, 1234};
  SlotStatus passed = Slot(1, "usb-0:2:1.0", SlotState::AwaitingRemoval);
  passed.result = OutcomeResult::Passed;
  passed.statusLine = "DOWNLOAD SUCCESSFUL";
  passed.progress = {1234, 1234};
  SlotStatus failed = Slot(2, "/dev/ttyUSB0", SlotState::AwaitingRemoval);
  failed.result = OutcomeResult::Failed;
  failed.statusLine = "Quintrel communication timeout";
  failed.detail = "/dev/ttyUSB0: the keypad stopped answering";
  snapshot.slotList = {transferring, passed, failed};
  snapshot.counts = {3, 1, std::chrono::minutes(30)};
  return snapshot;
}

TEST(StationViewTest, OneLinePerSlotAndASummary) {
  TerminalScreen screen;
  EXPECT_EQ(screen.Redraw(Tray(), 200),
            "usb-0:1:1.0 (SN7)  transferring              512/1234 bytes\n"
            "usb-0:2:1.0        remove the keypad                              PASS\n"
            "/dev/ttyUSB0       remove the keypad                              FAIL: Quintrel communication timeout\n"
            "3 passed, 1 failed, 6 passed per hour\n");
}

TEST(StationViewTest, RedrawsInPlaceAndNeverWraps) {
  TerminalScreen screen;
  screen.Redraw(Tray(), 200);
  const std::string again = screen.Redraw(Tray(), 20);
  EXPECT_EQ(again.substr(0, 7), "\x1b[4F\x1b[J");  // back over the four lines drawn, and clear them
  EXPECT_EQ(again.substr(7), "usb-0:1:1.0 (SN7)  t\nusb-0:2:1.0        r\n/dev/ttyUSB0       r\n3 passed, 1 failed, \n");
  // A notice stays above the block, which follows it.
  const std::string notice = screen.PrintAbove("Stopping", Tray(), 20);
  EXPECT_EQ(notice.substr(0, 16), "\x1b[4F\x1b[JStopping\n");
  EXPECT_EQ(notice.substr(16, 21), "usb-0:1:1.0 (SN7)  t\n");
}

TEST(StationViewTest, ADevicesTextCannotMoveTheCursor) {
  SlotStatus slot = Slot(0, "usb-0:1:1.0", SlotState::Empty);
  slot.serialNumber = "SN\x1b[2J";
  EXPECT_EQ(SlotTitle(slot), "usb-0:1:1.0 (SN?[2J)");
}

struct EventCase {
  StationEvent::Kind kind;
  std::size_t slot;
  const char* line;  // nullptr: none
};

class StationEventLineTest : public ::testing::TestWithParam<EventCase> {};

TEST_P(StationEventLineTest, OffATerminalOneLinePerEvent) {
  const EventCase& c = GetParam();
  const std::optional<std::string> line = EventLine({c.kind, c.slot, "Stopping: no more keypads are armed"}, Tray());
  if (c.line == nullptr) {
    EXPECT_FALSE(line.has_value()) << *line;
  } else {
    EXPECT_EQ(line.value_or("(none)"), c.line);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Events, StationEventLineTest,
    ::testing::Values(
        EventCase{StationEvent::Kind::SlotFound, 0, "usb-0:1:1.0 (SN7): found"},
        EventCase{StationEvent::Kind::Phase, 0, "usb-0:1:1.0 (SN7): transferring"},
        EventCase{StationEvent::Kind::Progress, 0, nullptr},
        EventCase{StationEvent::Kind::Outcome, 1, "usb-0:2:1.0: PASS (1234/1234 bytes)"},
        EventCase{StationEvent::Kind::Outcome, 2,
                  "/dev/ttyUSB0: FAIL: Quintrel communication timeout: /dev/ttyUSB0: the keypad stopped answering"},
        EventCase{StationEvent::Kind::AwaitingRemoval, 2, "/dev/ttyUSB0: remove the keypad"},
        EventCase{StationEvent::Kind::Notice, 0, "Stopping: no more keypads are armed"}));

TEST(StationViewTest, TheRateCountsPassedKeypadsPerHour) {
  EXPECT_EQ(SummaryLine({0, 0, std::chrono::milliseconds(0)}), "0 passed, 0 failed, 0 passed per hour");
  EXPECT_EQ(SummaryLine({5, 2, std::chrono::seconds(90)}), "5 passed, 2 failed, 200 passed per hour");
}

}  // namespace
}  // namespace lumivane
