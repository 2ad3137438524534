// Feature reports of a 470-byte image write over USB, against the
// simulated keypad: the count (one command report, 58 full data reports,
// the last 6 bytes flushed before the end command, the end command: 61)
// and the time our side spends per report (link framing plus the
// simulated device; the real device's transfer time is not included).
//
// Then the verify pass of those 470 bytes: a read command report and a
// fetch for each byte, the first read flushing the last 6 data bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "FakeDownloadHost.h"
#include "link/UsbLink.h"
#include "link/VerifyPass.h"
#include "sim/SimulatedHid.h"

namespace {

using namespace lumivane;

constexpr std::uint16_t kImageLength = 470;
constexpr std::size_t kExpectedReports = 61;

struct ReadyKeypad {
  sim::SimulatedHid hid;
  std::unique_ptr<HidDevice> device;

  bool Prepare() {
    hid.AddKeypad("/dev/hidraw0");
    device = hid.Open("/dev/hidraw0").device;
    if (!device) return false;
    const std::uint8_t request[9] = {0, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};
    std::uint8_t answer[9] = {};
    if (device->SendFeatureReport(request, sizeof request) != 9 ||
        device->GetFeatureReport(answer, sizeof answer) != 9 || answer[1] != 0xC0) {
      return false;
    }
    hid.ClearRecord();
    return true;
  }
};

void BM_UsbWrite470(benchmark::State& state) {
  test::ManualClock clock;
  std::uint8_t image[kImageLength];
  for (std::size_t i = 0; i < kImageLength; ++i) image[i] = static_cast<std::uint8_t>(i * 7);

  std::size_t reports = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto keypad = std::make_unique<ReadyKeypad>();
    if (!keypad->Prepare()) {
      state.SkipWithError("the simulated keypad did not identify itself");
      break;
    }
    UsbLink link(clock, *keypad->device);
    state.ResumeTiming();

    link.BeginWrite(0x0001, kImageLength);
    for (std::uint8_t b : image) link.WriteByte(b);
    link.EndWrite();

    state.PauseTiming();
    reports = keypad->hid.SentReportCount();
    if (reports != kExpectedReports) {
      state.SkipWithError("wrong number of feature reports");
      break;
    }
    keypad.reset();
    state.ResumeTiming();
  }
  state.counters["reports"] = static_cast<double>(reports);
  // Seconds per report; the console shows it with its unit (us, ns).
  state.counters["per_report"] = benchmark::Counter(
      static_cast<double>(kExpectedReports),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_UsbWrite470)->Unit(benchmark::kMicrosecond);

class QuietObserver : public TransferObserver {
 public:
  void OnProgressStep(std::uint16_t) override {}
  void OnDataWritten(std::uint16_t) override {}
};

void BM_UsbVerify470(benchmark::State& state) {
  test::ManualClock clock;
  std::vector<std::uint8_t> image(kImageLength);
  for (std::size_t i = 0; i < kImageLength; ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  QuietObserver observer;
  std::size_t calls = 0, sent = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto keypad = std::make_unique<ReadyKeypad>();
    if (!keypad->Prepare()) {
      state.SkipWithError("the simulated keypad did not identify itself");
      break;
    }
    UsbLink link(clock, *keypad->device);
    link.BeginWrite(0x0001, kImageLength);
    for (std::uint8_t b : image) link.WriteByte(b);
    keypad->hid.ClearRecord();
    state.ResumeTiming();

    const VerifyPassResult pass = VerifyWrittenBlocks(link, {{0x0001, image}}, observer);
    const VerifyEnd end = pass.end;
    const VerifyReport& report = pass.report;

    state.PauseTiming();
    if (end != VerifyEnd::Done || report.differing != 0 || report.checked != kImageLength) {
      state.SkipWithError("the verify pass failed");
      break;
    }
    calls = keypad->hid.reports().size();
    sent = keypad->hid.SentReportCount();
    keypad.reset();
    state.ResumeTiming();
  }
  state.counters["feature_reports"] = static_cast<double>(calls);
  state.counters["set_reports"] = static_cast<double>(sent);
  state.counters["get_reports"] = static_cast<double>(calls - sent);
}
BENCHMARK(BM_UsbVerify470)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
