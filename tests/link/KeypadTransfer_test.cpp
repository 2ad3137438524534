#include "link/KeypadTransfer.h"

#include <gtest/gtest.h>

#include "FakeDownloadHost.h"
#include "LinkFakes.h"
#include "link/SerialLink.h"

namespace lumivane::test {
namespace {

class CountingObserver : public TransferObserver {
 public:
  void OnProgressStep(std::uint16_t counter) override { steps.push_back(counter); }
  void OnDataWritten(std::uint16_t counter) override { written = counter; }
  void OnVerifyBegin(std::uint32_t total) override { verifyTotal = total; }
  void OnVerifyStep(std::uint32_t checked) override { verifySteps.push_back(checked); }
  bool StopRequested() override {
    return stopAtVerifyStep >= 0 && verifySteps.size() >= static_cast<std::size_t>(stopAtVerifyStep);
  }
  std::vector<std::uint16_t> steps;
  int written = -1;
  std::uint32_t verifyTotal = 0;
  std::vector<std::uint32_t> verifySteps;
  int stopAtVerifyStep = -1;
};

// A 120-key image of `length` bytes: key 1 defined at offset 464, key 2's
// entry with a high byte of 0 but a stray low byte, data ending with 0xFF.
Bytes MakeImage(std::size_t length = 470) {
  Bytes image(length, 0x00);
  image[1] = 0x01;
  image[2] = 0x2C;
  image[3] = 0x01;  // key 1 -> 0x01D0
  image[4] = 0xD0;
  image[6] = 0x05;  // key 2: high byte 0, so undefined
  for (std::size_t i = 463; i < length; ++i) image[i] = static_cast<std::uint8_t>(i);
  image[463] = 0xFF;
  image[length - 1] = 0xFF;
  return image;
}

class TransferTest : public ::testing::Test {
 protected:
  TransferTest() : link(clock, &keypad) {
    keypad.SetPointer(keypad::kLayer1Start, 0x0001);
    keypad.SetPointer(keypad::kLayer2Start, 0x4000);
    keypad.SetPointer(keypad::kLayer2End, 0xFEFF);
  }

  DownloadState Run(int layer, const Bytes& image) {
    const TransferImage view{image.data(), static_cast<std::uint16_t>(image.size()), 463};
    return RunTransfer(link, view, layer, observer).state;
  }
  DownloadState RunVerified(int layer, const Bytes& image) {
    const TransferImage view{image.data(), static_cast<std::uint16_t>(image.size()), 463};
    TransferOptions options;
    options.verify = true;
    const TransferResult result = RunTransfer(link, view, layer, observer, options);
    report = result.verify;
    return result.state;
  }
  // The data bytes of the image write (after the pointer writes).
  Bytes ImageData(std::size_t length) const {
    return Bytes(keypad.data.end() - static_cast<std::ptrdiff_t>(length), keypad.data.end());
  }

  ManualClock clock;
  MemoryKeypadPort keypad;
  SerialLink link;
  CountingObserver observer;
  VerifyReport report;
};

TEST_F(TransferTest, Layer1DownloadMakesExactlyTheExpectedCalls) {
  const Bytes image = MakeImage();
  ASSERT_EQ(Run(1, image), DownloadState::Success);
  EXPECT_EQ(keypad.operations,
            (std::vector<std::string>{"read FF6B", "read FF6C", "read FF63", "read FF64", "read FF67",
                                      "read FF68", "write FF65 2", "write 0001 470", "end"}));
  ASSERT_EQ(keypad.data.size(), 2u + 470u);
  EXPECT_EQ(keypad.data[0], 0x01);
  EXPECT_EQ(keypad.data[1], 0xD6);
  Bytes expected = image;
  expected[4] = 0xD1;  // 0x01D0 + placement 0x0001
  expected[6] = 0x00;  // high byte 0: the entry goes out as 0x0000
  EXPECT_EQ(ImageData(470), expected);
  EXPECT_EQ(keypad.Pointer(keypad::kLayer1End), 0x01D6);
}

TEST_F(TransferTest, ProgressStepsCoverTableAndDataAndEndAtTheImageLength) {
  ASSERT_EQ(Run(1, MakeImage()), DownloadState::Success);
  ASSERT_EQ(observer.steps.size(), 470u - 3u);
  EXPECT_EQ(observer.steps.front(), 4);
  EXPECT_EQ(observer.steps.back(), 470);
  EXPECT_EQ(observer.written, 470);
}

TEST_F(TransferTest, UpperLayer1StartRelocatesEntriesWithoutProbing) {
  keypad.SetPointer(keypad::kLayer1Start, 0x6001);
  keypad.SetPointer(keypad::kLayer2Start, 0x8000);
  const Bytes image = MakeImage();
  ASSERT_EQ(Run(1, image), DownloadState::Success);
  EXPECT_EQ(keypad.Count("read 5F"), 0u);
  EXPECT_EQ(keypad.Count("write FF63"), 0u);
  const Bytes sent = ImageData(470);
  EXPECT_EQ(sent[3], 0x61);
  EXPECT_EQ(sent[4], 0xD1);
  EXPECT_EQ(keypad.Pointer(keypad::kLayer1End), 0x6001 + 470 - 1);
}

TEST_F(TransferTest, ProbeChoosesTheLayer1StartWhenTheStoredOneIsUnknown) {
  // All five pairs equal: mirrored memory, start 0x6001.
  keypad.SetPointer(keypad::kLayer1Start, 0x1234);
  keypad.SetPointer(keypad::kLayer2Start, 0x8000);
  ASSERT_EQ(Run(1, MakeImage()), DownloadState::Success);
  EXPECT_EQ(keypad.Count("read 5F"), 5u);
  EXPECT_EQ(keypad.Count("read 7F"), 5u);
  EXPECT_EQ(keypad.Pointer(keypad::kLayer1Start), 0x6001);

  // The first pair differs: start 0x0001 after two probe reads.
  keypad.operations.clear();
  keypad.SetPointer(keypad::kLayer1Start, 0xFFFF);
  keypad.memory[0x5FF1] = 1;
  ASSERT_EQ(Run(1, MakeImage()), DownloadState::Success);
  EXPECT_EQ(keypad.Count("read 5FF"), 1u);
  EXPECT_EQ(keypad.Count("read 7FF"), 1u);
  EXPECT_EQ(keypad.Pointer(keypad::kLayer1Start), 0x0001);
  EXPECT_EQ(keypad.operations[6], "write FF63 2");
}

TEST_F(TransferTest, Layer1BoundariesAgainstLayer2StartAndTheAddressSpace) {
  // end = 0x0001 + 470 - 1 = 0x01D6
  keypad.SetPointer(keypad::kLayer2Start, 0x01D6);
  EXPECT_EQ(Run(1, MakeImage()), DownloadState::NoMemory);
  EXPECT_EQ(keypad.Count("write"), 0u);

  keypad.SetPointer(keypad::kLayer2Start, 0x01D7);
  EXPECT_EQ(Run(1, MakeImage()), DownloadState::Success);

  // From 0x6001 an image of 0xA000 bytes would end past 0xFFFF.
  keypad.operations.clear();
  keypad.SetPointer(keypad::kLayer1Start, 0x6001);
  keypad.SetPointer(keypad::kLayer2Start, 0xFFFF);
  EXPECT_EQ(Run(1, MakeImage(0xA000)), DownloadState::NoMemory);
  EXPECT_EQ(keypad.Count("write"), 0u);
}

TEST_F(TransferTest, Layer2PlacesBelowItsEndAndAboveLayer1End) {
  keypad.SetPointer(keypad::kLayer2End, 0x8000);
  keypad.SetPointer(keypad::kLayer1End, 0x8000 - 470 + 1);  // the start would equal it
  EXPECT_EQ(Run(2, MakeImage()), DownloadState::NoMemory);
  EXPECT_EQ(keypad.Count("write"), 0u);

  keypad.SetPointer(keypad::kLayer1End, 0x8000 - 470);
  ASSERT_EQ(Run(2, MakeImage()), DownloadState::Success);
  const std::uint16_t start = 0x8000 - 470 + 1;
  EXPECT_EQ(keypad.Pointer(keypad::kLayer2Start), start);
  const Bytes sent = ImageData(470);
  EXPECT_EQ(sent[3] << 8 | sent[4], 0x01D0 + start);

  // Layer-2 end equal to the image length: start 0, always refused.
  keypad.SetPointer(keypad::kLayer2End, 470);
  keypad.SetPointer(keypad::kLayer1End, 0);
  EXPECT_EQ(Run(2, MakeImage()), DownloadState::NoMemory);
}

TEST_F(TransferTest, UnansweredVersionByteOnlySkipsTheSecond) {
  keypad.silentAddresses = {0xFF6B};
  ASSERT_EQ(Run(1, MakeImage()), DownloadState::Success);
  EXPECT_EQ(keypad.operations[0], "read FF6B");
  EXPECT_EQ(keypad.operations[1], "read FF63");
}

TEST_F(TransferTest, FirstUnansweredReadFromTheLayer1StartOnEndsAtOnce) {
  for (std::uint16_t silent : {0xFF64, 0x7FF1, 0xFF67, 0xFF6A, 0xFF66}) {
    SCOPED_TRACE(silent);
    keypad.operations.clear();
    keypad.writes.clear();
    keypad.SetPointer(keypad::kLayer1Start, silent == 0x7FF1 ? 0x2222 : 0x0001);
    keypad.SetPointer(keypad::kLayer1End, 0x0000);
    keypad.silentAddresses = {silent};
    char text[16];
    std::snprintf(text, sizeof text, "read %04X", silent);
    EXPECT_EQ(Run(silent == 0xFF6A || silent == 0xFF66 ? 2 : 1, MakeImage()), DownloadState::Timeout);
    EXPECT_EQ(keypad.operations.back(), text) << "nothing after the unanswered read";
  }
}

TEST_F(TransferTest, PortLostDuringTheImageEndsWithTimeoutAndNoEndCommand) {
  keypad.writesBeforeFailure = 100;
  EXPECT_EQ(Run(1, MakeImage()), DownloadState::Timeout);
  EXPECT_EQ(keypad.Count("end"), 0u);
  EXPECT_LT(observer.written, 0);
}

// ---- Verify ----

// The reads after the image write, as "read XXXX" operations.
std::vector<std::string> ReadsAfterTheImage(const MemoryKeypadPort& keypad) {
  std::vector<std::string> reads;
  bool afterImage = false;
  for (const std::string& op : keypad.operations) {
    if (afterImage && op.rfind("read", 0) == 0) reads.push_back(op);
    if (op.rfind("write", 0) == 0 && op.substr(11) != "2") afterImage = true;  // not a pointer
  }
  return reads;
}

TEST_F(TransferTest, VerifyReadsBackTheImageAndThePointersWrittenThenEnds) {
  const struct {
    const char* name;
    std::uint16_t layer1Start;
    int layer;
    std::vector<std::uint16_t> pointers;  // control-area bytes read back
  } cases[] = {
      {"layer 1", 0x0001, 1, {0xFF65, 0xFF66}},
      {"layer 1 after the probe rewrote its start", 0x1234, 1, {0xFF63, 0xFF64, 0xFF65, 0xFF66}},
      {"layer 2", 0x0001, 2, {0xFF67, 0xFF68}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    keypad.operations.clear();
    observer = CountingObserver{};
    keypad.SetPointer(keypad::kLayer1Start, c.layer1Start);
    keypad.SetPointer(keypad::kLayer1End, 0x0000);
    keypad.SetPointer(keypad::kLayer2Start, 0x8000);
    keypad.memory[0x5FF1] = 1;  // probe: plain memory
    ASSERT_EQ(RunVerified(c.layer, MakeImage()), DownloadState::Success);
    const std::uint16_t base = c.layer == 1 ? 0x0001 : 0xFEFF - 470 + 1;
    std::vector<std::string> expected;
    char text[16];
    for (int i = 0; i < 470; ++i) {
      std::snprintf(text, sizeof text, "read %04X", base + i);
      expected.push_back(text);
    }
    for (std::uint16_t address : c.pointers) {
      std::snprintf(text, sizeof text, "read %04X", address);
      expected.push_back(text);
    }
    EXPECT_EQ(ReadsAfterTheImage(keypad), expected);
    EXPECT_EQ(keypad.operations.back(), "end");
    EXPECT_TRUE(report.complete);
    EXPECT_EQ(report.checked, expected.size());
    EXPECT_EQ(report.differing, 0u);
    EXPECT_EQ(observer.verifyTotal, expected.size());
    EXPECT_EQ(observer.verifySteps.back(), expected.size());
  }
}

TEST_F(TransferTest, VerifyNamesTheFirstDifferenceCountsAllAndStillEnds) {
  // Image byte 3 (the relocated entry's high byte, 0x01) and byte 470 (0xFF);
  // memory holds 0 at both.
  keypad.stuckAddresses = {0x0001 + 469, 0x0001 + 3, 0xFF66};
  ASSERT_EQ(RunVerified(1, MakeImage()), DownloadState::Success);
  EXPECT_EQ(keypad.operations.back(), "end");
  EXPECT_TRUE(report.complete);
  EXPECT_EQ(report.differing, 3u);
  EXPECT_EQ(report.firstAddress, 0x0004);
  EXPECT_EQ(report.wrote, 0x01);
  EXPECT_EQ(report.read, 0x00);
}

TEST_F(TransferTest, VerifyEndsWithoutTheEndCommandWhenAReadGoesUnansweredAndEndsItOnAStop) {
  keypad.silentAddresses = {0x0001 + 100};
  EXPECT_EQ(RunVerified(1, MakeImage()), DownloadState::Timeout);
  EXPECT_EQ(keypad.operations.back(), "read 0065");
  EXPECT_FALSE(report.complete);
  EXPECT_FALSE(report.endSent);

  // A stop during the pass comes after the whole image: the end command follows.
  keypad.silentAddresses.clear();
  keypad.operations.clear();
  observer = CountingObserver{};
  observer.stopAtVerifyStep = 10;
  EXPECT_EQ(RunVerified(1, MakeImage()), DownloadState::None);
  EXPECT_EQ(keypad.operations.back(), "end");
  EXPECT_EQ(ReadsAfterTheImage(keypad).size(), 10u);
  EXPECT_TRUE(report.endSent);
  EXPECT_FALSE(report.complete);
}

}  // namespace
}  // namespace lumivane::test
