#include "link/EvdevKeyboardLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstdint>
#include <optional>
#include <vector>

#include "ManualClock.h"
#include "sim/SimulatedKeyboardNode.h"

namespace lumivane {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using TimePoint = std::chrono::steady_clock::time_point;

constexpr const auto& kPeriods = sim::kKernelPeriodsMs;
constexpr const auto& kDelays = sim::kKernelDelaysMs;
using sim::KernelIndex;
using KernelModel = sim::SimulatedKeyboardNode;

class EvdevKeyboardLineTest : public ::testing::Test {
 protected:
  EvdevKeyboardLineTest() {
    auto owned = std::make_unique<KernelModel>(clock);
    kernel = owned.get();
    line = std::make_unique<EvdevKeyboardLine>("/dev/input/event3", std::move(owned), clock);
  }

  // Opens the line, whose check sent the node's own setting (250/33 ms:
  // parameter byte 0x00) once, and forgets that setting.
  void OpenChecked() {
    ASSERT_TRUE(line->Open().ok());
    ASSERT_THAT(kernel->line, ElementsAre(0x00));
    kernel->line.clear();
    kernel->eventsPerRequest.clear();
  }

  // The two settings of one byte, as the link sends them.
  bool SendByte(std::uint8_t b) {
    return line->SetTypematic(b & 0x1F, (b >> 5) & 3).ok() && line->SetTypematic(b >> 7, 0).ok();
  }

  test::ManualClock clock;
  KernelModel* kernel = nullptr;
  std::unique_ptr<EvdevKeyboardLine> line;
};

// ---- The requested values ----

TEST(RepeatRequest, EveryIndexPairRoundsToItselfAndIsNeverDropped) {
  const RepeatSetting holds[] = {{250, 33}, {1000, 500}, {500, 133}};
  for (unsigned rate = 0; rate < 32; ++rate) {
    for (unsigned delay = 0; delay < 4; ++delay) {
      const RepeatSetting same = {kDelays[delay], kPeriods[rate]};
      for (const RepeatSetting& held : {holds[0], holds[1], holds[2], same}) {
        const RepeatSetting r = RepeatRequestFor(rate, delay, held);
        EXPECT_EQ(KernelIndex(kPeriods, r.periodMs), rate) << rate << "/" << delay;
        EXPECT_EQ(KernelIndex(kDelays, r.delayMs), delay) << rate << "/" << delay;
        // Something always changes, so the driver always sends the setting.
        EXPECT_TRUE(r.periodMs != held.periodMs || r.delayMs != held.delayMs)
            << rate << "/" << delay;
      }
    }
  }
  EXPECT_EQ(RepeatRequestFor(0, 0, {500, 100}).periodMs, 32u);
  EXPECT_EQ(RepeatRequestFor(0, 0, {500, 100}).delayMs, 249u);
}

// ---- Through the driver model ----

TEST_F(EvdevKeyboardLineTest, BytesReachTheLineAsTwoParameterBytesEach) {
  OpenChecked();
  // 0xFF: rate 31 delay 3, then rate 1 delay 0; 0x80: 0/0 then 1/0.
  for (std::uint8_t b : {0xFF, 0x80, 0x00, 0x00, 0x41, 0x41, 0x7F, 0x7F}) ASSERT_TRUE(SendByte(b));

  EXPECT_THAT(kernel->line, ElementsAreArray<std::uint8_t>({0x7F, 0x01, 0x00, 0x01, 0x00, 0x00,
                                                            0x00, 0x00, 0x41, 0x00, 0x41, 0x00,
                                                            0x7F, 0x00, 0x7F, 0x00}));
}

TEST_F(EvdevKeyboardLineTest, RequestsAreSpacedAndCarryOneEventUnlessBothIndicesChange) {
  OpenChecked();
  for (std::uint8_t b : {0x05, 0x05, 0x65, 0x00, 0x20}) ASSERT_TRUE(SendByte(b));

  // The check's setting at Open counts for the spacing too.
  ASSERT_EQ(kernel->requestTimes.size(), 11u);
  for (std::size_t i = 1; i < kernel->requestTimes.size(); ++i) {
    EXPECT_GE(kernel->requestTimes[i] - kernel->requestTimes[i - 1], 60ms) << i;
  }
  // Two events only where both indices change: 0x65 is rate 5, delay 3
  // after rate 0, delay 0, and back. 0x20 changes the delay alone.
  EXPECT_THAT(kernel->eventsPerRequest, ElementsAre(1, 1, 1, 1, 2, 2, 1, 1, 1, 1));
  EXPECT_THAT(kernel->line,
              ElementsAre(0x05, 0x00, 0x05, 0x00, 0x65, 0x00, 0x00, 0x00, 0x20, 0x00));
}

TEST_F(EvdevKeyboardLineTest, SettingThatNeverShowsOnTheNodeFails) {
  OpenChecked();
  kernel->softRepeat = true;
  clock.Advance(100ms);  // past the spacing after the check's setting
  const TimePoint start = clock.Now();
  const ChannelError error = line->SetTypematic(3, 1);
  EXPECT_TRUE(error.failed());
  EXPECT_GE(clock.Now() - start, EvdevKeyboardLine::kConfirmTimeout);
  EXPECT_LT(clock.Now() - start, EvdevKeyboardLine::kConfirmTimeout + 50ms);
  const std::string detail = DescribeKeyboardLineFailure(*line, error);
  EXPECT_EQ(detail.rfind("/dev/input/event3: the repeat setting 499/45 ms was not rounded", 0), 0u)
      << detail;
}

// A node that cannot carry the link is refused at Open, before the
// download waits for the keypad, and keeps its repeat values.
TEST_F(EvdevKeyboardLineTest, OpenRefusesANodeWhoseDriverSendsNoSettings) {
  const struct {
    const char* name;
    bool softRepeat;
    NodeIdentity identity;
    RepeatSetting atOpen;
    const char* refusal;  // the start of the detail line; null: the node opens
    std::vector<std::uint8_t> sent;  // parameter bytes the check sent to the keyboard
  } cases[] = {
      {"PS/2", false, {BUS_I8042, 1, 1}, {500, 100}, nullptr, {0x2C}},
      {"soft repeat", true, {BUS_I8042, 1, 1}, {600, 40},
       "/dev/input/event3: the repeat setting 749/41 ms was not rounded to the keyboard's 750/42 ms", {}},
      {"virtual", true, {BUS_VIRTUAL, 0, 0}, {250, 33},
       "/dev/input/event3: the repeat setting 250/32 ms was not rounded to the keyboard's 250/33 ms", {}},
      {"USB", false, {BUS_USB, 0x046d, 0xc31c}, {250, 33},
       "/dev/input/event3: a USB keyboard (vendor 046d, product c31c), whose driver sends no", {}},
      {"Bluetooth", false, {BUS_BLUETOOTH, 0x05ac, 0x0255}, {250, 33}, "/dev/input/event3: a Bluetooth keyboard", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    kernel->softRepeat = c.softRepeat;
    kernel->identity = c.identity;
    kernel->rep = c.atOpen;
    kernel->line.clear();
    const TimePoint start = clock.Now();
    const ChannelError error = line->Open();
    EXPECT_LE(clock.Now() - start, EvdevKeyboardLine::kConfirmTimeout + 10ms);
    const std::string detail = DescribeKeyboardLineFailure(*line, error);
    EXPECT_EQ(error.ok(), c.refusal == nullptr) << detail;
    if (c.refusal) {
      EXPECT_EQ(error.kind(), ChannelErrorKind::Unsupported);
      EXPECT_EQ(detail.rfind(c.refusal, 0), 0u) << detail;
      EXPECT_FALSE(kernel->open);
    }
    EXPECT_EQ(kernel->rep, c.atOpen);
    EXPECT_EQ(kernel->line, c.sent);
    line->Close();
  }
}

TEST_F(EvdevKeyboardLineTest, CloseRestoresTheRepeatSettingsOfOpen) {
  const struct {
    RepeatSetting atOpen;
    std::vector<std::uint8_t> bytes;
    std::optional<std::uint8_t> restoreByte;  // the parameter byte the restore sends
  } cases[] = {
      {{750, 42}, {0x05, 0xFF}, 0x42},
      {{1000, 500}, {0x00}, 0x7F},
      {{500, 100}, {}, std::nullopt},  // nothing sent: nothing to restore
      {{250, 37}, {0xFF}, std::nullopt},  // the last setting left it as it was
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.atOpen.delayMs);
    kernel->rep = c.atOpen;
    kernel->line.clear();
    kernel->requestTimes.clear();
    ASSERT_TRUE(line->Open().ok());
    for (std::uint8_t b : c.bytes) ASSERT_TRUE(SendByte(b));
    const std::size_t sentBytes = kernel->line.size();
    const std::size_t requests = kernel->requestTimes.size();
    line->Close();
    clock.Advance(100ms);  // the driver's work runs
    kernel->RunDueWork();
    EXPECT_EQ(kernel->rep, c.atOpen);
    EXPECT_FALSE(kernel->open);
    if (!c.restoreByte) {
      EXPECT_EQ(kernel->line.size(), sentBytes);
      continue;
    }
    ASSERT_EQ(kernel->line.size(), sentBytes + 1);
    EXPECT_EQ(kernel->line.back(), *c.restoreByte);
    ASSERT_EQ(kernel->requestTimes.size(), requests + 1);
    EXPECT_GE(kernel->requestTimes.back() - kernel->requestTimes[requests - 1], 60ms);
  }
}

// A sysfs tree as the kernel lays it out for an event node whose keyboard
// sits on the given subsystem with the given driver.
class FakeSysfs {
 public:
  FakeSysfs(const std::string& subsystem, const std::string& driver, const char* softrepeat) {
    namespace fs = std::filesystem;
    root_ = fs::temp_directory_path() / ("lumivane-sysfs-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    const fs::path keyboard = root_ / "devices/platform/keyboard0";
    const fs::path input = keyboard / "input/input3";
    fs::create_directories(input / "event3");
    fs::create_directories(root_ / "dev/char");
    fs::create_directories(root_ / "bus" / subsystem / "drivers" / driver);
    fs::create_directory_symlink(input / "event3", root_ / "dev/char/1:3");
    fs::create_directory_symlink(input, input / "event3/device");
    fs::create_directory_symlink(keyboard, input / "device");
    fs::create_directory_symlink(root_ / "bus" / subsystem, keyboard / "subsystem");
    fs::create_directory_symlink(root_ / "bus" / subsystem / "drivers" / driver, keyboard / "driver");
    if (softrepeat) std::ofstream(keyboard / "softrepeat") << softrepeat << "\n";
  }
  ~FakeSysfs() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  std::string root() const { return root_.string(); }

 private:
  std::filesystem::path root_;
};

TEST(KeyboardNodeRefusal, SysfsNamesTheKeyboardsThatCannotCarryTheLink) {
  test::ManualClock clock;
  // /dev/null stands for the event node: a character device, 1:3.
  const struct {
    const char* subsystem;
    const char* driver;
    const char* softrepeat;
    const char* refusal;  // start of the reason; null: the node opens
  } cases[] = {
      {"serio", "atkbd", "0", nullptr},
      {"serio", "atkbd", "1", "the PS/2 keyboard driver runs with softrepeat"},
      {"hid", "hid-generic", nullptr, "a HID (USB or Bluetooth) keyboard"},
      {"serio", "other", "1", nullptr},  // nothing known about this driver
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.subsystem) + "/" + c.driver);
    FakeSysfs sysfs(c.subsystem, c.driver, c.softrepeat);
    EvdevKeyboardLine line("/dev/null", std::make_unique<KernelModel>(clock), clock, sysfs.root());
    const ChannelError error = line.Open();
    const std::string detail = DescribeKeyboardLineFailure(line, error);
    EXPECT_EQ(error.ok(), c.refusal == nullptr) << detail;
    if (c.refusal) {
      EXPECT_EQ(detail.rfind(std::string("/dev/null: ") + c.refusal, 0), 0u) << detail;
    }
  }
  // Without sysfs entries nothing is known, and nothing is refused.
  EvdevKeyboardLine bare("/dev/null", std::make_unique<KernelModel>(clock), clock, "/nonexistent-sysfs");
  EXPECT_TRUE(bare.Open().ok());
}

TEST_F(EvdevKeyboardLineTest, FailuresReturnFalseAndOpenNamesTheNode) {
  EXPECT_FALSE(line->SetTypematic(0, 0).ok());  // not open
  kernel->openError = EACCES;
  EXPECT_EQ(DescribeKeyboardLineFailure(*line, line->Open()), "/dev/input/event3: Permission denied");
  kernel->openError = 0;
  kernel->getError = ENOSYS;  // a node without hardware repeat
  EXPECT_EQ(DescribeKeyboardLineFailure(*line, line->Open()),
            "/dev/input/event3: Function not implemented");
  EXPECT_FALSE(kernel->open);

  kernel->getError = 0;
  ASSERT_TRUE(line->Open().ok());
  EXPECT_FALSE(line->SetTypematic(32, 0).ok());
  EXPECT_FALSE(line->SetTypematic(0, 4).ok());
  kernel->setError = ENODEV;  // the keyboard is gone
  EXPECT_FALSE(line->SetTypematic(1, 1).ok());

  EvdevKeyboardLine missing("/nonexistent/event-kbd", clock);
  EXPECT_EQ(DescribeKeyboardLineFailure(missing, missing.Open()),
            "/nonexistent/event-kbd: No such file or directory");
}

}  // namespace
}  // namespace lumivane
