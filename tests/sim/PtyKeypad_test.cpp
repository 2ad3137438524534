// The pseudo-terminal keypad end to end, driven by a SerialPort doing the
// RS232 protocol by hand; and the decode of the layer it received.
#include "sim/PtyKeypad.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "ChannelErrorPrinter.h"
#include "link/SerialPort.h"
#include "sim/LayerDecode.h"

namespace lumivane::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

class PtyKeypadTest : public ::testing::Test {
 protected:
  void StartKeypad(KeypadOptions options = {}) {
    keypad = std::make_unique<PtyKeypad>(options);
    ASSERT_EQ(ChannelError(), keypad->Start());
    ASSERT_EQ(ChannelError(), port.Open(keypad->devicePath(), 2048, 2048));
    ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  }
  void Send(const Bytes& bytes) {
    std::uint32_t count = 0;
    ASSERT_EQ(ChannelError(), port.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &count,
                             nullptr, SerialPort::kInfinite));
  }
  // One answer byte, or -1 when none comes within the limit.
  int Answer(std::uint32_t limitMs = 2000) {
    std::uint8_t byte = 0;
    std::uint32_t count = 0;
    port.Read(&byte, 1, &count, nullptr, limitMs);
    return count == 1 ? byte : -1;
  }
  int ReadByte(std::uint16_t address) {
    Send({static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0, 0, 0, 0x0E});
    return Answer();
  }
  void Write(std::uint16_t address, const Bytes& data) {
    Send({static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0,
          static_cast<std::uint8_t>(data.size()), 0, 0xFD});
    for (std::uint8_t byte : data) Send({byte});
  }

  SerialPort port;
  std::unique_ptr<PtyKeypad> keypad;
};

TEST_F(PtyKeypadTest, ServesADownloadOverTheSerialPort) {
  KeypadOptions options;
  options.shiftLoadDelay.reset();
  StartKeypad(options);
  ASSERT_EQ(ChannelError(), port.Purge());
  Send({0xB0});
  EXPECT_EQ(-1, Answer(50));  // nobody has pressed shift+load yet
  keypad->PressShiftLoad();
  EXPECT_EQ(0xC0, Answer());

  EXPECT_EQ(0x05, ReadByte(0xFF6B));
  EXPECT_EQ(0x15, ReadByte(0xFF6C));
  EXPECT_EQ(0x01, ReadByte(0xFF64));
  Write(0xFF65, {0x00, 0x04});
  Write(0x0001, {0x00, 0x00, 0x0A, 0xFF});
  Send({0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(keypad->WaitForEnd(std::chrono::seconds(5)));
  keypad->Stop();

  const KeypadModel& result = keypad->Snapshot();
  EXPECT_EQ(0x0004, result.PeekPointer(KeypadModel::kLayer1EndAddress));
  EXPECT_EQ(0x0A, result.Peek(0x0003));
  const ReceivedLayer layer = FindReceivedLayer(result);
  ASSERT_TRUE(layer.found);
  EXPECT_EQ(1, layer.layer);
  EXPECT_EQ(0x0001, layer.start);
  EXPECT_EQ(0x0004, layer.end);
  EXPECT_EQ((Bytes{0x00, 0x00, 0x0A, 0xFF}), layer.write->data);
}

TEST_F(PtyKeypadTest, FaultsSeenFromTheSerialSide) {
  KeypadOptions options;
  options.SetWrongIdentity();
  options.hangUpAfterBytes = 1 + 6 + 6 + 1;
  StartKeypad(options);
  Send({0xB0});
  EXPECT_EQ(0xC8, Answer());
  EXPECT_EQ(0x05, ReadByte(0xFF6B));
  // The keypad hangs up after the first data byte: the line fails rather
  // than leaving reads to run into their time limit.
  Write(0x0001, {0x11});
  std::uint8_t byte = 0;
  std::uint32_t count = 0;
  const ChannelError result = port.Read(&byte, 1, &count, nullptr, 5000);
  EXPECT_TRUE(result.failed());
  EXPECT_NE(ChannelErrorKind::Timeout, result.kind());
  EXPECT_EQ(0u, count);
  keypad->Stop();
  EXPECT_TRUE(keypad->Snapshot().IsHungUp());
}

TEST_F(PtyKeypadTest, SilentKeypadNeverAnswersAndStopEndsServing) {
  KeypadOptions options;
  options.silent = true;
  StartKeypad(options);
  Send({0xB0});
  EXPECT_EQ(-1, Answer(50));
  // The keypad's thread takes the byte in its own time on a busy machine.
  for (int i = 0; i < 500 && keypad->Snapshot().identityRequests() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  keypad->Stop();  // returns although the keypad is still waiting
  EXPECT_EQ(1u, keypad->Snapshot().identityRequests());
}

TEST_F(PtyKeypadTest, HostThatGaveUpOnALoadCanStartAgain) {
  KeypadOptions options;
  options.SetWrongIdentity();
  options.shiftLoadDelay.reset();
  StartKeypad(options);
  keypad->PressShiftLoad();
  Send({0xB0});
  ASSERT_EQ(0xC8, Answer());
  // The host refused the identity and ends; the next download asks again.
  ASSERT_EQ(ChannelError(), port.Close());
  ASSERT_EQ(ChannelError(), port.Open(keypad->devicePath(), 2048, 2048));
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  Send({0xB0});
  keypad->PressShiftLoad();
  EXPECT_EQ(0xC8, Answer(5000));
  EXPECT_EQ(2u, keypad->Snapshot().identityRequests());
}

// Release takes every byte the program wrote before it closed the device,
// however late the serving thread reads them; while the program still
// holds the device, it waits and then says so.
TEST_F(PtyKeypadTest, ReleaseTakesEveryByteSentBeforeTheProgramClosed) {
  for (const bool closes : {true, false}) {
    SCOPED_TRACE(closes ? "closed" : "still open");
    StartKeypad();
    Send({0xB0});
    ASSERT_EQ(0xC0, Answer());
    Send(Bytes(3000, 0x00));
    if (closes) port.Close();
    EXPECT_EQ(closes, keypad->Release(std::chrono::milliseconds(closes ? 10000 : 100)));
    if (closes) {
      EXPECT_EQ(1u + 3000u, keypad->Snapshot().bytesReceived());
    }
    port.Close();
  }
}

// Keypads on several lines at once, each its own; one taken off its line
// answers nothing until a keypad is put there again.
TEST(PtyKeypadTray, KeypadsOnSeveralLinesAndOneTakenOffAndPutBack) {
  constexpr int kLines = 3;
  std::unique_ptr<PtyKeypad> keypads[kLines];
  SerialPort ports[kLines];
  for (int i = 0; i < kLines; ++i) {
    KeypadOptions options;
    options.byteIdentity = static_cast<std::uint8_t>(0xC0 + i);  // tells the lines apart
    keypads[i] = std::make_unique<PtyKeypad>(options);
    ASSERT_EQ(ChannelError(), keypads[i]->Start());
    ASSERT_EQ(ChannelError(), ports[i].Open(keypads[i]->devicePath(), 2048, 2048));
    ASSERT_EQ(ChannelError(), ports[i].SetupReadTimeouts(SerialPort::ReadBlocking));
  }
  const auto identify = [&](int line, std::uint32_t limitMs) {
    const std::uint8_t request = 0xB0;
    std::uint32_t count = 0;
    ports[line].Write(&request, 1, &count, nullptr, SerialPort::kInfinite);
    std::uint8_t answer = 0;
    ports[line].Read(&answer, 1, &count, nullptr, limitMs);
    return count == 1 ? answer : -1;
  };
  for (int i = 0; i < kLines; ++i) EXPECT_EQ(0xC0 + i, identify(i, 2000));

  keypads[1]->TakeOffLine();
  EXPECT_EQ(-1, identify(1, 100));
  EXPECT_EQ(0xC2, identify(2, 2000));
  KeypadOptions next;
  next.byteIdentity = 0xC0;
  keypads[1]->PutOnLine(next);
  EXPECT_EQ(0xC0, identify(1, 2000));
  EXPECT_EQ(keypads[1]->Snapshot().identityRequests(), 1u);  // the new keypad's own count
}

TEST(LayerDecode, FindsTheImageWriteAndInfersTheTableSize) {
  KeypadOptions options;
  options.layer2Start = 0x8000;
  KeypadModel keypad(options);
  keypad.ReceiveByte(0xB0);
  auto feed = [&keypad](const Bytes& bytes) {
    for (std::uint8_t byte : bytes) keypad.ReceiveByte(byte);
  };
  // A small write to the control area, then the layer-2 image of 1400 bytes.
  feed({0xFF, 0x67, 0x00, 0x02, 0x00, 0xFD, 0x80, 0x00});
  Bytes image(1400, 0);
  image[3] = 0x85;  // key 1 at keypad address 0x8580: offset 0x580 = 1408 > 1383
  image[4] = 0x80;
  feed({0x80, 0x00, 0x05, 0x78, 0x00, 0xFD});
  feed(image);
  const ReceivedLayer layer = FindReceivedLayer(keypad);
  ASSERT_TRUE(layer.found);
  EXPECT_EQ(2, layer.layer);
  EXPECT_EQ(0x8000, layer.start);
  EXPECT_EQ(0x8577, layer.end);
  EXPECT_EQ(1383, InferTableSize(image.data(), image.size(), 0x8000));
  // An offset inside a 360-key table means the small table.
  image[3] = 0x81;
  image[4] = 0xD0;
  EXPECT_EQ(463, InferTableSize(image.data(), image.size(), 0x8000));
  EXPECT_EQ(463, InferTableSize(image.data(), 470, 0x8000));
  EXPECT_NE(std::string::npos, DescribeReceivedLayer(keypad).find("Layer 2 received: start 0x8000"));
}

}  // namespace
}  // namespace lumivane::sim
