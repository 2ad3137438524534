#include "sim/SimulatedKeyboardLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "FakeDownloadHost.h"
#include "link/PcAtLink.h"

namespace lumivane::sim {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::array<char, 16> kNibbleKeys = {'0', '1', '2', '3', '4', '5', '6', '7',
                                              '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

KeyboardLineOptions Silent() {
  KeyboardLineOptions options;
  options.silent = true;
  return options;
}

KeyboardLineOptions ForeignKey(int key) {
  KeyboardLineOptions options;
  options.foreignKeyBeforeAnswer = key;
  return options;
}

KeypadOptions ShiftLoadAfter(std::optional<std::chrono::milliseconds> delay, bool silent = false) {
  KeypadOptions options;
  options.shiftLoadDelay = delay;
  options.silent = silent;
  return options;
}

// The two settings that carry one byte on the keyboard line.
void SendByte(KeyboardLine& line, std::uint8_t b) {
  ASSERT_TRUE(line.SetTypematic(b & 0x1F, (b >> 5) & 3).ok());
  ASSERT_TRUE(line.SetTypematic(b >> 7, 0).ok());
}

void SendReadCommand(KeyboardLine& line, std::uint16_t address) {
  for (std::uint8_t b : {std::uint8_t(address >> 8), std::uint8_t(address & 0xFF), std::uint8_t(0),
                         std::uint8_t(0), std::uint8_t(0), std::uint8_t(0x0E)}) {
    SendByte(line, b);
  }
}

class SimulatedKeyboardLineTest : public ::testing::Test {
 protected:
  SimulatedKeyboardLine MakeLine(KeyboardLineOptions options = {}) {
    return SimulatedKeyboardLine(keypad, kNibbleKeys, [this](int key) { typed.push_back(key); },
                                 std::move(options), &clock);
  }

  test::ManualClock clock;
  KeypadModel keypad{KeypadOptions{}, &clock};
  std::vector<int> typed;
};

TEST_F(SimulatedKeyboardLineTest, PutsEachByteTogetherFromItsTwoSettings) {
  SimulatedKeyboardLine line = MakeLine();
  ASSERT_TRUE(line.Open().ok());
  ASSERT_TRUE(line.SetTypematic(31, 3).ok());
  EXPECT_TRUE(line.HalfByteWaiting());
  ASSERT_TRUE(line.SetTypematic(1, 0).ok());
  ASSERT_TRUE(line.SetTypematic(0, 0).ok());
  ASSERT_TRUE(line.SetTypematic(1, 0).ok());
  for (int b = 0; b < 256; ++b) SendByte(line, static_cast<std::uint8_t>(b));

  ASSERT_EQ(line.bytes().size(), 258u);
  EXPECT_EQ(line.bytes()[0], 0xFF);
  EXPECT_EQ(line.bytes()[1], 0x80);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(line.bytes()[2 + b], b);
  EXPECT_EQ(line.framingErrors(), 0u);
  EXPECT_FALSE(line.HalfByteWaiting());
}

TEST_F(SimulatedKeyboardLineTest, CountsBadSecondSettingsAndRefusesWhileClosed) {
  SimulatedKeyboardLine line = MakeLine();
  EXPECT_FALSE(line.SetTypematic(0, 0).ok());
  ASSERT_TRUE(line.Open().ok());
  EXPECT_FALSE(line.SetTypematic(32, 0).ok());
  ASSERT_TRUE(line.SetTypematic(5, 1).ok());
  ASSERT_TRUE(line.SetTypematic(3, 0).ok());  // more than the top bit
  EXPECT_EQ(line.framingErrors(), 1u);
  EXPECT_EQ(line.bytes().back(), 0x25 | 0x80);

  KeyboardLineOptions refused;
  refused.openError = ChannelError(ChannelErrorKind::AccessDenied, EACCES);
  SimulatedKeyboardLine closed = MakeLine(refused);
  const ChannelError error = closed.Open();
  EXPECT_TRUE(error.failed());
  EXPECT_EQ(DescribeKeyboardLineFailure(closed, error), "/dev/input/event3: Permission denied");
}

TEST_F(SimulatedKeyboardLineTest, TypesYesAfterTheShiftLoadDelayOnce) {
  keypad = KeypadModel(ShiftLoadAfter(1500ms), &clock);
  SimulatedKeyboardLine line = MakeLine();
  EXPECT_FALSE(line.Poll());  // not open yet
  ASSERT_TRUE(line.Open().ok());
  clock.Advance(1499ms);
  EXPECT_FALSE(line.Poll());
  EXPECT_THAT(typed, IsEmpty());
  clock.Advance(1ms);
  EXPECT_TRUE(line.Poll());
  EXPECT_FALSE(line.Poll());
  EXPECT_THAT(typed, ElementsAre('Y'));
  EXPECT_EQ(keypad.phase(), KeypadModel::Phase::Loading);
}

TEST_F(SimulatedKeyboardLineTest, SilentKeypadOrNoDelayNeedsAnExplicitPress) {
  for (const KeypadOptions& options : {ShiftLoadAfter(std::nullopt), ShiftLoadAfter(0ms, true)}) {
    keypad = KeypadModel(options, &clock);
    typed.clear();
    SimulatedKeyboardLine line = MakeLine();
    ASSERT_TRUE(line.Open().ok());
    clock.Advance(10s);
    EXPECT_FALSE(line.Poll());
    line.PressShiftLoad();
    EXPECT_THAT(typed, ElementsAre('Y'));
  }
}

TEST_F(SimulatedKeyboardLineTest, AnswersAReadWithNibbleKeysLowFirstUnlessFaulty) {
  const struct {
    KeyboardLineOptions options;
    std::vector<int> keys;
  } cases[] = {{{}, {'5', 'A'}}, {Silent(), {}}, {ForeignKey('#'), {'#', '5', 'A'}}};
  for (const auto& c : cases) {
    keypad = KeypadModel(KeypadOptions{}, &clock);
    keypad.Poke(0x1234, 0xA5);
    SimulatedKeyboardLine line = MakeLine(c.options);
    ASSERT_TRUE(line.Open().ok());
    line.PressShiftLoad();
    typed.clear();
    SendReadCommand(line, 0x1234);
    EXPECT_EQ(typed, c.keys);
  }
}

// The link's reads and writes against the keypad's byte stream, with the
// typed keys going through the fake host's key queue.
TEST(SimulatedKeyboardLineWithDeviceLink, ReadsAndWritesThroughTheHostKeyQueue) {
  test::ManualClock clock;
  test::FakeDownloadHost host(&clock);
  KeypadModel keypad({}, &clock);
  SimulatedKeyboardLine line(keypad, kNibbleKeys, [&host](int key) { host.keys.push_back({key}); },
                             ForeignKey('Q'));
  ASSERT_TRUE(line.Open().ok());
  line.PressShiftLoad();

  PcAtLink link(clock, &line, &host, kNibbleKeys);
  EXPECT_EQ(link.ReadByte(0xFF6B), keypad.options().version[0]);
  link.BeginWrite(0x0100, 2);
  link.WriteByte(0x80);
  link.WriteByte(0xFF);
  link.EndWrite();

  EXPECT_EQ(keypad.Peek(0x0100), 0x80);
  EXPECT_EQ(keypad.Peek(0x0101), 0xFF);
  EXPECT_EQ(keypad.endCommands(), 1u);
  EXPECT_EQ(link.fault(), LinkFault::None);
  EXPECT_EQ(line.framingErrors(), 0u);
}

}  // namespace
}  // namespace lumivane::sim
