// The non-Qt driver: one chain run to its end on the calling thread, and
// several such runs at once, one per thread, sharing nothing.
#include "download/ChainDriver.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "HeldImage.h"
#include "ManualClock.h"
#include "TestPaths.h"
#include "download/DownloadChain.h"
#include "sim/SimulatedHid.h"

namespace lumivane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr const char* kPress = "Press (shift+load) on the Quintrel to continue";

// Keeps the lines and the outcome; tells a waiting thread when a line came.
class LineSink : public DownloadEvents {
 public:
  void OnPhase(const PhaseChange&) override {}
  void OnLine(const std::string& line, LineKind) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    lines.push_back(line);
    changed_.notify_all();
  }
  void OnOutcome(const DownloadOutcome& done) override { outcome = done; }
  void WaitFor(const std::string& line) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return std::find(lines.begin(), lines.end(), line) != lines.end(); });
  }

  std::vector<std::string> lines;
  DownloadOutcome outcome;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
};

// One USB download of `source` into its own simulated keypad, on its own
// clock, with everything it uses made here.
struct UsbStation {
  explicit UsbStation(std::string source, std::chrono::milliseconds shiftLoad) : hid(&clock) {
    sim::KeypadOptions options;
    options.shiftLoadDelay = shiftLoad;
    hid.AddKeypad("/dev/hidraw1", options);
    choices.sourcePath = std::move(source);
    choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
    choices.keysText = "120";
    choices.link = LinkKind::Usb;
    choices.verify = true;
  }

  void Run(const ImageBuilder* translated = nullptr) {
    ChainDriver driver(choices, sink, clock);
    LinkChannels channels;
    channels.hidBackend = &hid;
    channels.clock = &clock;
    DownloadChain chain(driver, channels, SourceDir() + "/emulators/");
    chain.UseTranslatedImage(translated);
    driver.Run(chain);
    built.assign(chain.builder().image(), chain.builder().image() + chain.builder().imageLength());
    tableSize = chain.builder().tableSize();
  }

  Bytes Held() { return HeldImage(*hid.KeypadAt("/dev/hidraw1"), tableSize); }

  ManualClock clock;
  sim::SimulatedHid hid;
  DownloadChoices choices;
  LineSink sink;
  Bytes built;
  int tableSize = 0;
};

TEST(ChainDriver, TwoDownloadsOnTwoThreadsEachWriteTheirOwnImageWhole) {
  const TempDir temp;
  WriteFile(temp.path() + "other.pos", "<HEADER>\n<DELAY 5>\n<01>xyz\n<02>second keypad\n");
  UsbStation first(SourceDir() + "/samples/Kt90NewConfig.pos", std::chrono::milliseconds(400));
  UsbStation second(temp.path() + "other.pos", std::chrono::milliseconds(1000));
  std::thread a([&] { first.Run(); });
  std::thread b([&] { second.Run(); });
  a.join();
  b.join();
  for (UsbStation* station : {&first, &second}) {
    SCOPED_TRACE(station->choices.sourcePath);
    EXPECT_EQ(station->sink.lines.back(), "DOWNLOAD SUCCESSFUL");
    EXPECT_TRUE(station->sink.outcome.succeeded);
    EXPECT_EQ(station->sink.outcome.keypad, KeypadHolds::Complete);
    ASSERT_FALSE(station->built.empty());
    EXPECT_EQ(station->Held(), station->built);
  }
  EXPECT_NE(first.built, second.built);
}

// Chains that share one translated image read neither source nor emulator.
TEST(ChainDriver, ChainsSharingATranslatedImageEachWriteItWhole) {
  ImageBuilder shared;
  ASSERT_EQ(shared.Translate({SourceDir() + "/samples/Kt90NewConfig.pos", SourceDir() + "/emulators/English_US.emu",
                              "120", false}),
            DownloadState::ImageReady);
  const Bytes image(shared.image(), shared.image() + shared.imageLength());
  UsbStation first("/nonexistent/never-read.pos", std::chrono::milliseconds(200));
  UsbStation second("/nonexistent/never-read.pos", std::chrono::milliseconds(600));
  std::thread a([&] { first.Run(&shared); });
  std::thread b([&] { second.Run(&shared); });
  a.join();
  b.join();
  for (UsbStation* station : {&first, &second}) {
    EXPECT_EQ(station->sink.lines.back(), "DOWNLOAD SUCCESSFUL");
    EXPECT_EQ(station->built, image);
    EXPECT_EQ(station->Held(), image);
  }
}

TEST(ChainDriver, AStopFromAnotherThreadEndsTheWaitWithItsLines) {
  UsbStation station(SourceDir() + "/samples/Kt90NewConfig.pos", std::chrono::milliseconds(0));
  sim::KeypadOptions neverReady;
  neverReady.shiftLoadDelay.reset();
  sim::SimulatedHid silent(&station.clock);
  silent.AddKeypad("/dev/hidraw1", neverReady);
  ChainDriver driver(station.choices, station.sink, station.clock);
  LinkChannels channels;
  channels.hidBackend = &silent;
  channels.clock = &station.clock;
  DownloadChain chain(driver, channels, SourceDir() + "/emulators/");
  std::thread stopper([&] {
    station.sink.WaitFor(kPress);
    driver.RequestStop({"Operation cancelled by user"});
    driver.RequestStop({"a later request does not count"});
  });
  driver.Run(chain);
  stopper.join();
  EXPECT_EQ(station.sink.lines, (std::vector<std::string>{"Usb Quintrel detected", kPress,
                                                          "Operation cancelled by user"}));
  EXPECT_EQ(station.sink.outcome.keypad, KeypadHolds::Unchanged);
  EXPECT_TRUE(silent.KeypadAt("/dev/hidraw1")->commands().empty());
}

}  // namespace
}  // namespace lumivane::test
