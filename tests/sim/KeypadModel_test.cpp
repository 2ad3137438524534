// The keypad model: command decoding on the byte stream, the feature-report
// framing, identity and shift+load, and the faults it plays.
#include "sim/KeypadModel.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "ManualClock.h"

namespace lumivane::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Report = std::array<std::uint8_t, 9>;
using namespace std::chrono_literals;

Bytes ReadCommand(std::uint16_t address) {
  return {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0, 0, 0, 0x0E};
}
Bytes WriteCommand(std::uint16_t address, std::uint16_t count) {
  return {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
          static_cast<std::uint8_t>(count >> 8),   static_cast<std::uint8_t>(count),
          0,                                       0xFD};
}
const Bytes kEndCommand = {0, 0, 0, 0, 0, 0};

// Feeds bytes one by one and collects every answer.
Bytes Feed(KeypadModel& keypad, const Bytes& bytes) {
  Bytes answers;
  for (std::uint8_t byte : bytes) {
    const Bytes answer = keypad.ReceiveByte(byte);
    answers.insert(answers.end(), answer.begin(), answer.end());
  }
  return answers;
}

KeypadModel ReadyStreamKeypad(KeypadOptions options = {}) {
  KeypadModel keypad(options);
  EXPECT_EQ(Bytes{0xC0}, keypad.ReceiveByte(0xB0));
  return keypad;
}

Report CommandReport(const Bytes& block, std::uint8_t stale7 = 0, std::uint8_t stale8 = 0) {
  Report report{};
  for (std::size_t i = 0; i < 6; ++i) report[1 + i] = block[i];
  report[7] = stale7;
  report[8] = stale8;
  return report;
}

const Report kIdentityRequest = {0, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};

TEST(KeypadModelStream, AnswersReadsFromTheControlAreaAndProbeWindows) {
  KeypadOptions options;
  options.layer2Start = 0x4000;
  options.version = {0x07, 0x21};
  options.probeHigh = options.probeLow;
  KeypadModel keypad = ReadyStreamKeypad(options);
  Bytes answers;
  for (std::uint16_t address : {0xFF63, 0xFF64, 0xFF65, 0xFF66, 0xFF67, 0xFF68, 0xFF69, 0xFF6A,
                                0xFF6B, 0xFF6C, 0x5FF1, 0x7FF1, 0x5FF5, 0x7FF5}) {
    const Bytes answer = Feed(keypad, ReadCommand(address));
    ASSERT_EQ(1u, answer.size()) << std::hex << address;
    answers.push_back(answer[0]);
  }
  EXPECT_EQ((Bytes{0x00, 0x01, 0x00, 0x00, 0x40, 0x00, 0xFE, 0xFF, 0x07, 0x21, 0xA1, 0xA1, 0xA5,
                   0xA5}),
            answers);
}

TEST(KeypadModelStream, WritesLandInMemoryAndAreRecordedWithTheirData) {
  KeypadModel keypad = ReadyStreamKeypad();
  // 0xB0 and six zeros inside a write are data, not a request or an end.
  const Bytes data = {0xB0, 0, 0, 0, 0, 0, 0, 0x0E};
  EXPECT_TRUE(Feed(keypad, WriteCommand(0xFFFE, 8)).empty());
  EXPECT_TRUE(Feed(keypad, data).empty());
  EXPECT_FALSE(keypad.IsFinished());
  EXPECT_EQ(0u, keypad.pendingWriteBytes());
  // The address wraps at the top of the 64 KiB space.
  EXPECT_EQ(0xB0, keypad.Peek(0xFFFE));
  EXPECT_EQ(0x0E, keypad.Peek(0x0005));
  EXPECT_EQ(Bytes{0xB0}, Feed(keypad, ReadCommand(0xFFFE)));

  ASSERT_EQ(2u, keypad.commands().size());
  const KeypadCommand& write = keypad.commands()[0];
  EXPECT_EQ(KeypadCommand::Kind::Write, write.kind);
  EXPECT_EQ(0xFFFE, write.address);
  EXPECT_EQ(8, write.count);
  EXPECT_EQ(data, write.data);
  EXPECT_EQ(KeypadCommand::Kind::Read, keypad.commands()[1].kind);
  EXPECT_TRUE(keypad.commands()[1].answered);
}

TEST(KeypadModelStream, EndFinishesTheLoadAndTheNextDownloadNeedsShiftLoadAgain) {
  KeypadOptions options;
  options.shiftLoadDelay.reset();
  KeypadModel keypad(options);
  // Before the identity exchange nothing is a command.
  EXPECT_TRUE(Feed(keypad, ReadCommand(0xFF6B)).empty());
  EXPECT_TRUE(keypad.commands().empty());
  EXPECT_TRUE(keypad.ReceiveByte(0xB0).empty());
  EXPECT_TRUE(keypad.Poll().empty());
  keypad.PressShiftLoad();
  EXPECT_EQ(Bytes{0xC0}, keypad.Poll());
  EXPECT_TRUE(keypad.Poll().empty());  // answered once

  Feed(keypad, kEndCommand);
  EXPECT_TRUE(keypad.IsFinished());
  EXPECT_EQ(KeypadModel::Phase::Idle, keypad.phase());
  EXPECT_TRUE(keypad.ReceiveByte(0xB0).empty());
  keypad.PressShiftLoad();
  EXPECT_EQ(Bytes{0xC0}, keypad.Poll());
  EXPECT_EQ(2u, keypad.identityRequests());
}

TEST(KeypadModelStream, IdleLineResynchronisesAStaleLoad) {
  KeypadOptions options;
  options.shiftLoadDelay.reset();
  KeypadModel keypad(options);
  keypad.ReceiveByte(0xB0);
  keypad.PressShiftLoad();
  ASSERT_EQ(Bytes{0xC0}, keypad.Poll());
  // A broken-off block is dropped, and framing starts afresh.
  Feed(keypad, {0xFF, 0x6B, 0x00});
  keypad.LineIdle();
  EXPECT_EQ(Bytes{0x05}, Feed(keypad, ReadCommand(0xFF6B)));
  // The host gave up on this load and asks again: a new shift+load is needed.
  keypad.ReceiveByte(0xB0);
  keypad.LineIdle();
  EXPECT_EQ(KeypadModel::Phase::IdentityPending, keypad.phase());
  EXPECT_TRUE(keypad.Poll().empty());
  keypad.PressShiftLoad();
  EXPECT_EQ(Bytes{0xC0}, keypad.Poll());
  EXPECT_EQ(1u, keypad.commands().size());
}

TEST(KeypadModelIdentity, ShiftLoadDelayRunsFromTheFirstRequest) {
  test::ManualClock clock;
  KeypadOptions options;
  options.shiftLoadDelay = 100ms;
  KeypadModel keypad(options, &clock);
  EXPECT_TRUE(keypad.ReceiveByte(0xB0).empty());
  clock.Advance(60ms);
  EXPECT_TRUE(keypad.ReceiveByte(0xB0).empty());  // a repeat does not restart the delay
  clock.Advance(39ms);
  EXPECT_TRUE(keypad.Poll().empty());
  clock.Advance(1ms);
  EXPECT_EQ(Bytes{0xC0}, keypad.Poll());
}

TEST(KeypadModelIdentity, SilentAndWrongKeypads) {
  KeypadOptions silent;
  silent.silent = true;
  KeypadModel quiet(silent);
  quiet.PressShiftLoad();
  EXPECT_TRUE(quiet.ReceiveByte(0xB0).empty());
  EXPECT_TRUE(quiet.Poll().empty());
  Report report{};
  quiet.OnSetFeature(kIdentityRequest.data());
  quiet.OnGetFeature(report.data());
  EXPECT_EQ(0xA0, report[1]);

  KeypadOptions wrong;
  wrong.SetWrongIdentity();
  KeypadModel other(wrong);
  EXPECT_EQ(Bytes{0xC8}, other.ReceiveByte(0xB0));
  KeypadModel otherUsb(wrong);
  otherUsb.OnSetFeature(kIdentityRequest.data());
  otherUsb.OnGetFeature(report.data());
  // Only the last byte differs: a check of the first byte alone would pass it.
  EXPECT_EQ((Report{0, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC8}), report);
}

TEST(KeypadModelUsb, IdentityExchangeWaitsForShiftLoad) {
  KeypadOptions options;
  options.shiftLoadDelay.reset();
  options.notReadyByte = 0x00;
  KeypadModel keypad(options);
  Report report{};
  keypad.OnSetFeature(kIdentityRequest.data());
  keypad.OnGetFeature(report.data());
  EXPECT_EQ(0x00, report[1]);
  EXPECT_EQ(KeypadModel::Phase::IdentityPending, keypad.phase());
  keypad.PressShiftLoad();
  keypad.OnGetFeature(report.data());
  EXPECT_EQ((Report{0, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7}), report);
  EXPECT_EQ(KeypadModel::Phase::Loading, keypad.phase());
}

class KeypadModelUsbLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    keypad.OnSetFeature(kIdentityRequest.data());
    Report answer{};
    keypad.OnGetFeature(answer.data());
    ASSERT_EQ(0xC0, answer[1]);
  }
  std::uint8_t Read(std::uint16_t address) {
    keypad.OnSetFeature(CommandReport(ReadCommand(address)).data());
    Report answer{};
    keypad.OnGetFeature(answer.data());
    return answer[1];
  }
  KeypadModel keypad;
};

TEST_F(KeypadModelUsbLoading, CommandReportsIgnoreTheStaleBytesAfterTheBlock) {
  // The first command after the identity request still carries 0xB6 0xB7.
  keypad.OnSetFeature(CommandReport(ReadCommand(0xFF6B), 0xB6, 0xB7).data());
  Report answer{};
  keypad.OnGetFeature(answer.data());
  EXPECT_EQ(0x05, answer[1]);
  EXPECT_EQ(0x15, Read(0xFF6C));
}

TEST_F(KeypadModelUsbLoading, DataReportsCarryEightBytesAndThePartOneStaleBytes) {
  keypad.OnSetFeature(CommandReport(WriteCommand(0x0001, 9)).data());
  keypad.OnSetFeature(Report{0, 1, 2, 3, 4, 5, 6, 7, 8}.data());
  EXPECT_EQ(1u, keypad.pendingWriteBytes());
  // Ninth byte, then the previous report's bytes 2..8 as stale filler.
  keypad.OnSetFeature(Report{0, 9, 2, 3, 4, 5, 6, 7, 8}.data());
  EXPECT_EQ(0u, keypad.pendingWriteBytes());
  keypad.OnSetFeature(CommandReport(kEndCommand).data());

  ASSERT_EQ(2u, keypad.commands().size());
  EXPECT_EQ((Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}), keypad.commands()[0].data);
  EXPECT_EQ(KeypadCommand::Kind::End, keypad.commands()[1].kind);
  EXPECT_EQ(0x09, keypad.Peek(0x0009));
  EXPECT_EQ(0xFF, keypad.Peek(0x000A));  // stale bytes are not written
}

TEST(KeypadModelFaults, UnansweredReadsAfterNCommands) {
  KeypadOptions options;
  options.answerReadsForCommands = 2;
  KeypadModel keypad = ReadyStreamKeypad(options);
  EXPECT_EQ(Bytes{0x05}, Feed(keypad, ReadCommand(0xFF6B)));
  EXPECT_EQ(Bytes{0x15}, Feed(keypad, ReadCommand(0xFF6C)));
  EXPECT_TRUE(Feed(keypad, ReadCommand(0xFF63)).empty());
  EXPECT_FALSE(keypad.commands()[2].answered);
}

TEST(KeypadModelFaults, HangUpTakesNothingAfterTheNthByte) {
  KeypadOptions options;
  options.hangUpAfterBytes = 1 + 6 + 6;  // identity request, one read, one write command
  KeypadModel keypad = ReadyStreamKeypad(options);
  EXPECT_EQ(Bytes{0x05}, Feed(keypad, ReadCommand(0xFF6B)));
  EXPECT_FALSE(keypad.IsHungUp());
  Feed(keypad, WriteCommand(0x0001, 2));
  EXPECT_TRUE(keypad.IsHungUp());
  EXPECT_TRUE(Feed(keypad, {0x11, 0x22}).empty());
  EXPECT_EQ(0xFF, keypad.Peek(0x0001));
  EXPECT_EQ(13u, keypad.bytesReceived());
  EXPECT_EQ(2u, keypad.pendingWriteBytes());
}

TEST(KeypadModelFaults, HangUpAfterTheImageOrInsideTheEndCommand) {
  for (std::size_t taken : {0u, 3u}) {
    SCOPED_TRACE(taken);
    KeypadOptions options;
    options.hangUpInEndCommand = taken;
    KeypadModel keypad = ReadyStreamKeypad(options);
    Feed(keypad, WriteCommand(0xFF65, 2));
    Feed(keypad, {0x00, 0x03});  // a pointer is no image
    Feed(keypad, WriteCommand(0x0001, 3));
    Feed(keypad, {1, 2, 3});
    EXPECT_EQ(taken == 0, keypad.IsHungUp());
    Feed(keypad, kEndCommand);
    EXPECT_TRUE(keypad.IsHungUp());
    EXPECT_FALSE(keypad.IsFinished());
    EXPECT_EQ(1 + 8 + 9 + taken, keypad.bytesReceived());
  }
}

// A keypad that kept its memory from an earlier session, with a faulty
// cell: the cell takes the write (the record shows it) but keeps its byte.
TEST(KeypadModelMemory, StartsFromAKeptMemoryAndAStuckByteIgnoresWrites) {
  KeypadOptions options;
  options.memory.assign(65536, 0x00);
  options.memory[0xFF65] = 0x12;
  options.memory[0x0002] = 0x5A;
  options.stuckBytes = {0x0002};
  KeypadModel keypad = ReadyStreamKeypad(options);
  EXPECT_EQ(Bytes{0x12}, Feed(keypad, ReadCommand(0xFF65)));
  Feed(keypad, WriteCommand(0x0001, 3));
  Feed(keypad, {0xA1, 0xA2, 0xA3});
  EXPECT_EQ((Bytes{0xA1, 0x5A, 0xA3}), (Bytes{keypad.Peek(1), keypad.Peek(2), keypad.Peek(3)}));
  EXPECT_EQ((Bytes{0xA1, 0xA2, 0xA3}), keypad.commands().back().data);
  EXPECT_EQ(Bytes{0x5A}, Feed(keypad, ReadCommand(0x0002)));
  EXPECT_TRUE(keypad.options().memory.empty()) << "a snapshot does not carry the start memory";
}

}  // namespace
}  // namespace lumivane::sim
