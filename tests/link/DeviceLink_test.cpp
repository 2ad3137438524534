#include "link/PcAtLink.h"
#include "link/SerialLink.h"
#include "link/UsbLink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <functional>

#include "FakeDownloadHost.h"
#include "LinkFakes.h"

namespace lumivane::test {
namespace {

using std::chrono::milliseconds;

// ---- USB: feature reports ----

class UsbLinkTest : public ::testing::Test {
 protected:
  UsbLinkTest() : link(clock, device) {}
  ManualClock clock;
  RecordingHidDevice device;
  UsbLink link;
};

TEST_F(UsbLinkTest, WriteOf470BytesAndEndTakes61ReportsWithTheTailFlushedByTheEnd) {
  link.BeginWrite(0x0001, 470);
  for (int i = 0; i < 470; ++i) link.WriteByte(static_cast<std::uint8_t>(i));
  EXPECT_EQ(device.sent.size(), 1u + 58u);
  link.EndWrite();
  ASSERT_EQ(device.sent.size(), 61u);

  EXPECT_EQ(device.sent[0], (Bytes{0, 0x00, 0x01, 0x01, 0xD6, 0x00, 0xFD, 0, 0}));
  // The last data report: bytes 464..469 (low bytes 0xD0..0xD5), then the
  // previous report's bytes 7 and 8 (462, 463 -> 0xCE, 0xCF) left standing.
  EXPECT_EQ(device.sent[59], (Bytes{0, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xCE, 0xCF}));
  // The end command keeps data bytes 7 and 8 of the report before it.
  EXPECT_EQ(device.sent[60], (Bytes{0, 0, 0, 0, 0, 0, 0, 0xCE, 0xCF}));
  for (const auto& report : device.sent) {
    ASSERT_EQ(report.size(), 9u);
    EXPECT_EQ(report[0], 0) << "report ID";
  }
}

TEST_F(UsbLinkTest, EightBytesFillOneReportAndNoEmptyReportPrecedesTheNextCommand) {
  link.BeginWrite(0x1000, 8);
  for (int i = 1; i <= 8; ++i) link.WriteByte(static_cast<std::uint8_t>(i));
  EXPECT_EQ(device.sent.size(), 2u);
  link.EndWrite();
  ASSERT_EQ(device.sent.size(), 3u);
  EXPECT_EQ(device.sent[1], (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(device.sent[2], (Bytes{0, 0, 0, 0, 0, 0, 0, 7, 8}));
}

TEST_F(UsbLinkTest, NinthByteLeavesWithTheNextCommandBesideStaleBytes) {
  link.BeginWrite(0x1000, 9);
  for (int i = 1; i <= 9; ++i) link.WriteByte(static_cast<std::uint8_t>(0x10 * i));
  link.ReadByte(0x2000);
  // command, full report, flushed partial report, read command
  ASSERT_EQ(device.sent.size(), 4u);
  EXPECT_EQ(device.sent[2], (Bytes{0, 0x90, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80}));
  EXPECT_EQ(device.sent[3], (Bytes{0, 0x20, 0x00, 0, 0, 0, 0x0E, 0x70, 0x80}));
}

TEST_F(UsbLinkTest, FirstCommandAfterTheIdentityRequestCarriesItsLastTwoBytes) {
  ASSERT_EQ(link.Prepare({}).end, LinkOpening::End::Ready);  // the identity request 0xB0..0xB7
  device.answers.push_back({0x42, 9, 9, 9, 9, 9, 9, 9});
  EXPECT_EQ(link.ReadByte(0xFF6B), 0x42);
  ASSERT_EQ(device.sent.size(), 2u);
  EXPECT_EQ(device.sent[1], (Bytes{0, 0xFF, 0x6B, 0, 0, 0, 0x0E, 0xB6, 0xB7}));
  ASSERT_EQ(device.fetchedWithId.size(), 1u);
  EXPECT_EQ(device.fetchedWithId[0][0], 0) << "report ID set before the fetch";
}

TEST_F(UsbLinkTest, FailedFeatureReportBreaksTheLinkAndNothingMoreIsSent) {
  link.BeginWrite(0x0001, 20);
  device.failing = true;
  for (int i = 0; i < 8; ++i) link.WriteByte(1);
  EXPECT_EQ(link.fault(), LinkFault::Broken);
  device.failing = false;
  link.WriteByte(2);
  link.EndWrite();
  EXPECT_EQ(link.ReadByte(0x10), 0);
  EXPECT_EQ(device.sent.size(), 1u);
  EXPECT_EQ(link.fault(), LinkFault::Broken);
}

// ---- RS232 ----

class SerialLinkTest : public ::testing::Test {
 protected:
  SerialLinkTest() : link(clock, &port) {}
  ManualClock clock;
  RecordingSerialPort port;
  SerialLink link;
};

TEST_F(SerialLinkTest, CommandsAreOneBoundedWriteAndReadsWaitTwoSeconds) {
  port.answers.push_back(0x5A);
  EXPECT_EQ(link.ReadByte(0xFF63), 0x5A);
  link.BeginWrite(0xFF65, 2);
  link.WriteByte(0x01);
  link.EndWrite();
  ASSERT_EQ(port.writes.size(), 4u);
  EXPECT_EQ(port.writes[0], (Bytes{0xFF, 0x63, 0, 0, 0, 0x0E}));
  EXPECT_EQ(port.writes[1], (Bytes{0xFF, 0x65, 0, 2, 0, 0xFD}));
  EXPECT_EQ(port.writes[2], (Bytes{0x01}));
  EXPECT_EQ(port.writes[3], (Bytes{0, 0, 0, 0, 0, 0}));
  // 2 s plus the bytes' time at 9600 baud.
  EXPECT_EQ(port.writeTimeouts, (std::vector<std::uint32_t>{2007, 2007, 2002, 2007}));
  EXPECT_EQ(port.readTimeouts, (std::vector<std::uint32_t>{2000}));
  // Stale input dropped before the read; a look for stray answers before
  // the write and the end command.
  EXPECT_EQ(port.discards, (std::vector<std::uint32_t>{5, 0, 0}));
  EXPECT_EQ(link.fault(), LinkFault::None);
}

// Once the keypad has answered a read, a byte that no read asked for may
// already have been taken for an answer: the link cannot trust its reads.
TEST_F(SerialLinkTest, StrayByteAfterAnAnswerPutsTheAnswersOutOfStep) {
  const struct {
    const char* name;
    std::deque<bool> found;  // what each look for stray input finds, in order
    bool broken;
  } cases[] = {
      {"before the first read (after the identity)", {true}, false},
      {"before a later read", {false, true}, true},
      {"before the write", {false, false, true}, true},
      {"while the data went out", {false, false, false, true}, true},
      {"nowhere", {}, false},
  };
  for (const auto& c : cases) {
    RecordingSerialPort stray;
    SerialLink strayLink(clock, &stray, {{}, "/dev/ttyS0", {}});
    stray.dropping = c.found;
    stray.answers = {1, 2};
    strayLink.ReadByte(0xFF63);
    strayLink.ReadByte(0xFF64);
    strayLink.BeginWrite(0xFF65, 1);
    strayLink.WriteByte(9);
    strayLink.EndWrite();
    EXPECT_EQ(strayLink.fault() == LinkFault::Broken, c.broken) << c.name;
    const bool endSent = !stray.writes.empty() && stray.writes.back() == Bytes(6, 0);
    EXPECT_EQ(endSent, !c.broken) << c.name;
    if (c.broken) {
      EXPECT_EQ(strayLink.faultDetail(), "/dev/ttyS0: the keypad's answers came out of step");
    }
  }
}

TEST_F(SerialLinkTest, EachDataBytePausesTenMillisecondsAndCommandsDoNot) {
  link.BeginWrite(0x0001, 3);
  EXPECT_EQ(clock.slept(), milliseconds(0));
  for (int i = 0; i < 3; ++i) link.WriteByte(0xAA);
  EXPECT_EQ(clock.slept(), milliseconds(30));
}

TEST_F(SerialLinkTest, ReadWithoutAnswerYieldsZeroAndNoAnswer) {
  EXPECT_EQ(link.ReadByte(0xFF6B), 0);
  EXPECT_EQ(link.fault(), LinkFault::NoAnswer);
  // A later answered read does not hide the missing answer.
  port.answers.push_back(7);
  EXPECT_EQ(link.ReadByte(0xFF6C), 7);
  EXPECT_EQ(link.fault(), LinkFault::NoAnswer);
  // The missing answer may still come: the next read drops it, waiting up
  // to the answer limit for it, and checks that its own answer came alone.
  EXPECT_EQ(port.discards, (std::vector<std::uint32_t>{5, 2000, 50}));
}

TEST(SerialLinkAnswers, AfterAMissingAnswerAByteFromNowhereMeansTheyAreOutOfStep) {
  // Which of the drops after the unanswered read find a byte: the wait for
  // the late answer before the next read, the check after its answer, the
  // drop before the read after that.
  const struct {
    const char* what;
    std::deque<bool> dropping;
    bool outOfStep;
  } cases[] = {
      {"the late answer, while waited for", {true, false, false, false}, false},
      {"a second byte after an answer", {false, true}, true},
      {"a byte before a later read", {false, false, true}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ManualClock clock;
    RecordingSerialPort port;
    SerialLink link(clock, &port, {{}, "/dev/ttyS0", {}});
    EXPECT_EQ(link.ReadByte(0xFF6B), 0);
    link.ClearFault();
    port.dropping = c.dropping;
    port.answers = {0x12, 0x34};
    link.ReadByte(0xFF63);
    link.ReadByte(0xFF64);
    EXPECT_EQ(port.discards.size() > 1 ? port.discards[1] : 0u, 2000u) << "the late answer is waited for";
    EXPECT_EQ(link.fault() == LinkFault::Broken, c.outOfStep);
    if (c.outOfStep) {
      EXPECT_EQ(link.faultDetail(), "/dev/ttyS0: the keypad's answers came out of step");
    }
  }
}

// A read run clears the input before each read without waiting for quiet
// once the keypad has answered; at its end the line must stay quiet for
// twice the longest answer time (at least 50 ms) before the answers count.
TEST_F(SerialLinkTest, ReadRunWaitsForQuietOnlyBeforeItsFirstAnswerAndAtItsEnd) {
  port.answers = {1, 2, 3};
  port.whileAnswering = [this] { clock.Advance(milliseconds(40)); };
  link.BeginReadRun();
  for (std::uint16_t address : {0x10, 0x11, 0x12}) link.ReadByte(address);
  link.EndReadRun();
  EXPECT_EQ(link.fault(), LinkFault::None);
  EXPECT_EQ(port.discards, (std::vector<std::uint32_t>{5, 0, 0, 80}));
  // Outside a run every read waits for quiet again.
  port.answers = {4};
  link.ReadByte(0x13);
  EXPECT_EQ(port.discards.back(), 5u);
}

// Any byte that no read asked for, found before a read of the run or at
// its end, ends the link: the answers may lag by one.
TEST(SerialLinkReadRun, AByteFromNowhereAnywhereInTheRunPutsTheAnswersOutOfStep) {
  const struct {
    const char* where;
    std::deque<bool> dropping;  // before reads 1, 2, 3, then at the end
    bool outOfStep;
  } cases[] = {
      {"nowhere", {}, false},
      {"before the first read (after the identity)", {true}, false},
      {"before the second read", {false, true}, true},
      {"at the end", {false, false, false, true}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    ManualClock clock;
    RecordingSerialPort port;
    SerialLink link(clock, &port, {{}, "/dev/ttyS0", {}});
    port.dropping = c.dropping;
    port.answers = {1, 2, 3};
    link.BeginReadRun();
    for (std::uint16_t address : {0x10, 0x11, 0x12}) link.ReadByte(address);
    link.EndReadRun();
    EXPECT_EQ(link.fault() == LinkFault::Broken, c.outOfStep);
    if (c.outOfStep) {
      EXPECT_EQ(link.faultDetail(), "/dev/ttyS0: the keypad's answers came out of step");
    }
  }
}

TEST_F(SerialLinkTest, DeliveryIsConfirmedOnlyWhileTheLineIsUp) {
  SerialLink link(clock, &port, {{}, "/dev/ttyS0", {}});
  link.EndWrite();
  link.ConfirmDelivery();
  EXPECT_EQ(link.fault(), LinkFault::None);
  EXPECT_EQ(port.lineChecks, 1);
  port.lineFailure = ChannelError(ChannelErrorKind::HungUp, EIO);
  link.ConfirmDelivery();
  EXPECT_EQ(link.fault(), LinkFault::Broken);
  EXPECT_EQ(link.faultDetail(), "/dev/ttyS0: the line was hung up");
}

TEST_F(SerialLinkTest, FailedWriteBreaksTheLinkAndStopsFurtherWrites) {
  port.writesBeforeFailure = 2;
  link.BeginWrite(0x0001, 5);
  link.WriteByte(1);
  link.WriteByte(2);  // fails
  EXPECT_EQ(link.fault(), LinkFault::Broken);
  link.WriteByte(3);
  link.EndWrite();
  EXPECT_EQ(link.ReadByte(0), 0);
  EXPECT_EQ(port.writes.size(), 2u);
  EXPECT_TRUE(port.readTimeouts.empty());
}

// ---- PC/AT keyboard line ----

class PcAtLinkTest : public ::testing::Test {
 protected:
  PcAtLinkTest() : host(&clock), link(clock, &line, &host, UsNibbles()) {}
  // Nibble keys for a US layout: the letters A..P.
  static std::array<char, 16> UsNibbles() {
    std::array<char, 16> nibbles{};
    for (int i = 0; i < 16; ++i) nibbles[i] = static_cast<char>('A' + i);
    return nibbles;
  }
  void Type(int key, int afterMs = 0) { host.keys.push_back({key, milliseconds(afterMs)}); }

  ManualClock clock;
  FakeDownloadHost host;
  RecordingKeyboardLine line;
  std::array<char, 16> nibbles = UsNibbles();
  PcAtLink link;
};

TEST_F(PcAtLinkTest, ByteTransmissionSendsLowSevenBitsThenTheTopBit) {
  link.WriteByte(0xFF);
  link.WriteByte(0x80);
  link.WriteByte(0x3C);
  link.WriteByte(0x3C);  // a repeated byte still reaches the line
  using P = std::pair<int, int>;
  EXPECT_EQ(line.settings, (std::vector<P>{P{31, 3}, P{1, 0}, P{0, 0}, P{1, 0}, P{28, 1}, P{0, 0},
                                           P{28, 1}, P{0, 0}}));
  EXPECT_EQ(clock.slept(), milliseconds(0)) << "no pause around data bytes";
}

TEST_F(PcAtLinkTest, CommandsPauseFirstAndReadsCombineLowThenHighNibble) {
  Type('F');  // 5
  Type('K');  // 10
  EXPECT_EQ(link.ReadByte(0xFF63), 0xA5);
  EXPECT_EQ(clock.slept(), milliseconds(100));
  ASSERT_EQ(line.settings.size(), 12u);
  // 0xFF -> (31,3),(1,0); 0x63 -> (3,3),(0,0); zeros; 0x0E -> (14,0),(0,0)
  EXPECT_EQ(line.settings[0], std::make_pair(31, 3));
  EXPECT_EQ(line.settings[2], std::make_pair(3, 3));
  EXPECT_EQ(line.settings[10], std::make_pair(14, 0));
  EXPECT_EQ(link.fault(), LinkFault::None);
}

TEST_F(PcAtLinkTest, KeysTypedBeforeTheCommandNeverAnswerIt) {
  host.typedKeys = {'B', 'C'};  // the late answer of an earlier read
  Type('F');
  Type('K');
  EXPECT_EQ(link.ReadByte(0xFF63), 0xA5);
  EXPECT_EQ(link.fault(), LinkFault::None);
}

// A nibble key typed before a command is complete answers nothing; once a
// read was answered it shows that answers and reads no longer pair up.
TEST_F(PcAtLinkTest, NibbleKeyTypedDuringACommandAfterAnAnswerEndsTheTransfer) {
  const struct {
    int key;
    bool broken;
  } cases[] = {{'B', true}, {'Z', false}};
  for (const auto& c : cases) {
    ManualClock keyClock;
    FakeDownloadHost keys(&keyClock);
    RecordingKeyboardLine keyboard;
    PcAtLink pcAt(keyClock, &keyboard, &keys, nibbles);
    keys.keys = {{'F'}, {'K'}, {'F'}, {'K'}};
    EXPECT_EQ(pcAt.ReadByte(0xFF67), 0xA5);
    // The key arrives while the second read command goes out (setting 15 of 24).
    keyboard.afterSetting = [&](std::size_t taken) {
      if (taken == 15) keys.typedKeys.push_back(c.key);
    };
    const std::uint8_t second = pcAt.ReadByte(0xFF68);
    EXPECT_EQ(pcAt.fault() == LinkFault::Broken, c.broken) << static_cast<char>(c.key);
    if (c.broken) {
      EXPECT_EQ(pcAt.faultDetail(), "/dev/input/event3: the keypad's answers came out of step");
      EXPECT_EQ(keyboard.settings.size(), 23u) << "the command's last setting is not sent";
    } else {
      EXPECT_EQ(second, 0xA5);
    }
  }
}

TEST_F(PcAtLinkTest, ForeignKeyIsDroppedAndTheDeadlineStays) {
  Type('Z', 1500);  // no nibble key
  Type('B', 400);   // at 1900 ms: still in time
  Type('C', 0);
  EXPECT_EQ(link.ReadByte(0), 0x21);
  EXPECT_EQ(link.fault(), LinkFault::None);

  // The same, but the nibble key comes after the fixed deadline.
  Type('Z', 1500);
  Type('B', 600);
  EXPECT_EQ(link.ReadByte(0), 0);
  EXPECT_EQ(link.fault(), LinkFault::NoAnswer);
}

TEST_F(PcAtLinkTest, TimeoutsOfEitherOrBothKeys) {
  // First key missing: the read has failed at once, without the second wait.
  Type('D', 2500);
  auto before = clock.Now();
  EXPECT_EQ(link.ReadByte(0), 0);
  EXPECT_EQ(link.fault(), LinkFault::NoAnswer);
  EXPECT_EQ(clock.Now() - before, milliseconds(100 + 2000));
  host.keys.clear();

  link.ClearFault();
  Type('D');
  EXPECT_EQ(link.ReadByte(0), 0x03);  // second key missing: low alone
  EXPECT_EQ(link.fault(), LinkFault::NoAnswer);

  link.ClearFault();
  before = clock.Now();
  EXPECT_EQ(link.ReadByte(0), 0);  // both missing: one wait
  EXPECT_EQ(link.fault(), LinkFault::NoAnswer);
  EXPECT_EQ(clock.Now() - before, milliseconds(100 + 2000));
}

TEST_F(PcAtLinkTest, LineThatRefusesASettingBreaksTheLink) {
  line.failing = true;
  link.BeginWrite(0x0001, 1);
  EXPECT_EQ(link.fault(), LinkFault::Broken);
  line.failing = false;
  link.WriteByte(1);
  EXPECT_TRUE(line.settings.empty());
}

// ---- What the fault detail names ----

TEST(LinkFaultDetail, NamesTheChannelAndTheReadOrReportThatFailed) {
  const struct {
    const char* name;
    std::function<std::string(ManualClock&)> run;  // returns the link's fault detail
    const char* detail;
  } cases[] = {
      {"RS232 read without answer",
       [](ManualClock& clock) {
         RecordingSerialPort port;
         SerialLink link(clock, &port, {{}, "COM2 (/dev/ttyUSB1)", {}});
         link.ReadByte(0xFF63);
         port.answers.push_back(7);
         link.ReadByte(0xFF64);  // answered: the first missing answer stays named
         return link.faultDetail();
       },
       "COM2 (/dev/ttyUSB1): no answer to a read of 0xFF63 within 2 s"},
      {"RS232 line hung up after a missing answer",
       [](ManualClock& clock) {
         RecordingSerialPort port;
         SerialLink link(clock, &port, {{}, "/dev/ttyS0", {}});
         link.ReadByte(0xFF67);
         port.writesBeforeFailure = 0;
         port.lineFailure = ChannelError(ChannelErrorKind::HungUp, EIO);
         link.BeginWrite(0xFF65, 2);
         return link.faultDetail();
       },
       "/dev/ttyS0: the line was hung up"},
      {"PC/AT read without its keys",
       [](ManualClock& clock) {
         FakeDownloadHost host(&clock);
         RecordingKeyboardLine line;
         PcAtLink link(clock, &line, &host, {});
         link.ReadByte(0xFF6B);
         return link.faultDetail();
       },
       "/dev/input/event3: no answer to a read of 0xFF6B within 2 s"},
      {"USB report that moved part of its bytes",
       [](ManualClock& clock) {
         RecordingHidDevice device;
         device.sendMoves = 5;
         UsbLink link(clock, device, "/dev/hidraw3");
         link.ReadByte(0xFF63);
         return link.faultDetail();
       },
       "/dev/hidraw3: a feature report moved 5 of 9 bytes"},
      {"USB report that failed",
       [](ManualClock& clock) {
         RecordingHidDevice device;
         device.failing = true;
         UsbLink link(clock, device, "/dev/hidraw3");
         link.BeginWrite(0x0001, 1);
         return link.faultDetail();
       },
       "/dev/hidraw3: a feature report failed (the keypad was unplugged or stopped answering)"},
  };
  for (const auto& c : cases) {
    ManualClock clock;
    EXPECT_EQ(c.run(clock), c.detail) << c.name;
  }
}

}  // namespace
}  // namespace lumivane::test
