// SerialPort transfers on pseudo-terminals: raw bytes, read modes and time
// limits, purge, event waits, completion records and hang-ups.
#include <gtest/gtest.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <numeric>

#include "ManualClock.h"
#include "SerialPortFixture.h"
#include "link/SerialPort.h"

namespace lumivane {
namespace {

using test::PtyPair;
using Bytes = std::vector<std::uint8_t>;

using SerialTransferTest = test::SerialPortOnPty;
const ChannelError kTimedOut(ChannelErrorKind::Timeout);

Bytes AllByteValues() {
  Bytes bytes(256);
  std::iota(bytes.begin(), bytes.end(), 0);
  return bytes;
}

TEST_F(SerialTransferTest, EveryByteValuePassesUnchangedBothWays) {
  const Bytes bytes = AllByteValues();
  std::uint32_t count = 0;
  ASSERT_EQ(ChannelError(), port.Write(bytes.data(), 256, &count, nullptr, SerialPort::kInfinite));
  EXPECT_EQ(256u, count);
  EXPECT_EQ(bytes, pty.Receive(256));

  ASSERT_TRUE(pty.Send(bytes));
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  Bytes received(256);
  ASSERT_EQ(ChannelError(), port.Read(received.data(), 256, &count, nullptr, 2000));
  EXPECT_EQ(256u, count);
  EXPECT_EQ(bytes, received);
}

TEST(SerialTransferOnManualClock, BlockingReadWithNoAnswerTimesOutAfterItsLimit) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  test::ManualClock clock;
  SerialPort port(clock);
  ASSERT_EQ(ChannelError(), port.Open(pty.devicePath(), 2048, 2048));
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  std::uint8_t byte = 0;
  std::uint32_t count = 99;
  const auto start = clock.Now();
  EXPECT_EQ(kTimedOut, port.Read(&byte, 1, &count, nullptr, 2000));
  const auto waited = clock.Now() - start;
  EXPECT_EQ(0u, count);
  EXPECT_EQ(kTimedOut, port.LastError());
  // It waited the whole limit rather than giving up early.
  EXPECT_GE(waited, std::chrono::milliseconds(2000));
}

TEST_F(SerialTransferTest, TimedOutReadLosesNothingAndWritesNothingLater) {
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  std::uint8_t first[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  std::uint32_t count = 0;
  EXPECT_EQ(kTimedOut, port.Read(first, 1, &count, nullptr, 50));

  // A byte arriving after the time-out goes to the next read, not the old buffer.
  ASSERT_TRUE(pty.Send({0x5A}));
  std::uint8_t next = 0;
  ASSERT_EQ(ChannelError(), port.Read(&next, 1, &count, nullptr, 2000));
  EXPECT_EQ(0x5A, next);
  EXPECT_EQ(0xEE, first[0]);

  // A read that got part of its bytes keeps them for the next read.
  ASSERT_TRUE(pty.Send({0x01, 0x02}));
  ASSERT_EQ(ChannelError(), port.WaitEvent(nullptr, 2000));
  EXPECT_EQ(kTimedOut, port.Read(first, 4, &count, nullptr, 50));
  EXPECT_EQ(0u, count);
  ASSERT_TRUE(pty.Send({0x03, 0x04}));
  std::uint8_t whole[4] = {};
  ASSERT_EQ(ChannelError(), port.Read(whole, 4, &count, nullptr, 2000));
  EXPECT_EQ(4u, count);
  EXPECT_EQ((Bytes{1, 2, 3, 4}), Bytes(whole, whole + 4));
}

TEST_F(SerialTransferTest, PurgeDiscardsQueuedAndHeldInput) {
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  ASSERT_TRUE(pty.Send({0x01}));
  std::uint8_t buffer[2] = {};
  std::uint32_t count = 0;
  // One byte held back from a timed-out read, one more still queued.
  ASSERT_EQ(kTimedOut, port.Read(buffer, 2, &count, nullptr, 50));
  ASSERT_TRUE(pty.Send({0x02}));
  ASSERT_EQ(ChannelError(), port.WaitEvent(nullptr, 2000));
  EXPECT_EQ(ChannelError(), port.Purge());
  ASSERT_TRUE(pty.Send({0x03}));
  ASSERT_EQ(ChannelError(), port.Read(buffer, 1, &count, nullptr, 2000));
  EXPECT_EQ(0x03, buffer[0]);
}

TEST_F(SerialTransferTest, DiscardInputDropsWhatCameAndLeavesTheOutput) {
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  ASSERT_TRUE(pty.Send({0x01}));
  std::uint8_t buffer[2] = {};
  std::uint32_t count = 0;
  ASSERT_EQ(kTimedOut, port.Read(buffer, 2, &count, nullptr, 50));  // 0x01 held back
  ASSERT_TRUE(pty.Send({0x02}));
  ASSERT_EQ(ChannelError(), port.Write("\x7E", &count, nullptr, 1000));
  bool dropped = false;
  EXPECT_EQ(ChannelError(), port.DiscardInput(20, 5, 1000, &dropped));
  EXPECT_TRUE(dropped);
  EXPECT_EQ((Bytes{0x7E}), pty.Receive(1));
  EXPECT_EQ(ChannelError(), port.DiscardInput(0, 0, 1000, &dropped));
  EXPECT_FALSE(dropped);
  ASSERT_TRUE(pty.Send({0x03}));
  ASSERT_EQ(ChannelError(), port.Read(buffer, 1, &count, nullptr, 2000));
  EXPECT_EQ(0x03, buffer[0]);
}

TEST_F(SerialTransferTest, EveryLineCheckSeesAHangUp) {
  EXPECT_EQ(ChannelError(), port.CheckLine(0));
  EXPECT_EQ(ChannelError(), port.WaitUntilSent(100));
  pty.HangUp();
  const ChannelError kGone(ChannelErrorKind::HungUp, EIO);
  EXPECT_EQ(kGone, port.CheckLine(5000));
  EXPECT_EQ(kGone, port.WaitUntilSent(5000));
  EXPECT_EQ(kGone, port.DiscardInput(5000, 5, 5000, nullptr));
}

TEST_F(SerialTransferTest, WriteThatCannotFinishTimesOut) {
  // Nobody reads the far end: the line's buffers fill up.
  const Bytes big(1 << 20, 0x55);
  std::uint32_t count = 99;
  EXPECT_EQ(kTimedOut, port.Write(big.data(), big.size(), &count, nullptr, 50));
  EXPECT_EQ(0u, count);
}

// The end of a download is written and the port closed at once: on a
// pseudo-terminal the bytes may not have reached the far end yet, and the
// close must not drop them.
TEST_F(SerialTransferTest, CloseKeepsWhatTheFarEndHasNotReadYet) {
  const Bytes sent(3000, 0x00);
  std::uint32_t count = 0;
  ASSERT_EQ(ChannelError(), port.Write(sent.data(), sent.size(), &count, nullptr, 2000));
  ASSERT_EQ(ChannelError(), port.Close());
  EXPECT_EQ(sent, pty.Receive(sent.size()));
}

TEST_F(SerialTransferTest, EventWaitsDeliverTheEventOnce) {
  ASSERT_EQ(ChannelError(), port.SetMask(SerialPort::EV_RXCHAR));
  EXPECT_EQ(kTimedOut, port.WaitEvent(nullptr, 50));
  ASSERT_TRUE(pty.Send({0x42}));
  ASSERT_EQ(ChannelError(), port.WaitEvent(nullptr, 2000));
  EXPECT_EQ(SerialPort::EV_RXCHAR, port.TakeLastEvent());
  EXPECT_EQ(0xFFFFFFFFu, port.TakeLastEvent());
  // No mask: nothing could end the wait.
  ASSERT_EQ(ChannelError(), port.SetMask(0));
  EXPECT_EQ(ChannelError(ChannelErrorKind::InvalidArgument), port.WaitEvent(nullptr, 0));
}

TEST_F(SerialTransferTest, CallersRecordCompletesWhenWaitedOn) {
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  CompletionRecord record;
  EXPECT_EQ(ChannelError(ChannelErrorKind::NotOpen), record.Wait(0));  // nothing started
  std::uint8_t buffer[2] = {};
  std::uint32_t count = 99;
  ASSERT_EQ(ChannelError(), port.Read(buffer, 2, &count, &record, SerialPort::kInfinite));
  EXPECT_EQ(0u, count);
  EXPECT_TRUE(record.IsPending());
  EXPECT_EQ(kTimedOut, record.Wait(20));
  EXPECT_TRUE(record.IsPending());  // a wait that runs out does not cancel

  ASSERT_TRUE(pty.Send({0xA1, 0xA2}));
  ASSERT_EQ(ChannelError(), record.Wait(2000));
  EXPECT_TRUE(record.IsComplete());
  EXPECT_EQ(ChannelError(), record.Result());
  EXPECT_EQ(2u, record.Count());
  EXPECT_EQ((Bytes{0xA1, 0xA2}), Bytes(buffer, buffer + 2));
  EXPECT_EQ(0u, count);  // the caller's count is not written behind its back
  pollfd signal{record.EventFd(), POLLIN, 0};
  EXPECT_EQ(1, ::poll(&signal, 1, 0));

}

TEST_F(SerialTransferTest, ClosingThePortEndsPendingRecords) {
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  CompletionRecord read, event;
  std::uint8_t byte = 0;
  ASSERT_EQ(ChannelError(), port.Read(&byte, 1, nullptr, &read, 0));
  ASSERT_EQ(ChannelError(), port.WaitEvent(&event, 0));
  EXPECT_EQ(ChannelError(ChannelErrorKind::Busy, EBUSY), port.Read(&byte, 1, nullptr, &read, 0));
  EXPECT_EQ(ChannelError(), port.Close());
  EXPECT_TRUE(read.IsComplete());
  EXPECT_EQ(ChannelError(ChannelErrorKind::Cancelled, ECANCELED), read.Result());
  EXPECT_TRUE(event.IsComplete());
}

TEST_F(SerialTransferTest, HangUpFailsTransfersInsteadOfWaiting) {
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  pty.HangUp();
  std::uint8_t byte = 0;
  std::uint32_t count = 99;
  const ChannelError readResult = port.Read(&byte, 1, &count, nullptr, SerialPort::kInfinite);
  EXPECT_TRUE(readResult.failed());
  EXPECT_NE(kTimedOut, readResult);
  EXPECT_EQ(0u, count);
  EXPECT_EQ(ChannelError(ChannelErrorKind::HungUp, EIO), port.Write("\x01", &count, nullptr, SerialPort::kInfinite));
  EXPECT_EQ(ChannelError(), port.Close());
}

}  // namespace
}  // namespace lumivane
