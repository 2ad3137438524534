// RS232 transfer of a 470-byte image into the keypad simulator on a
// pseudo-terminal, through the whole download chain with the real serial
// port and clock. Reports our transfer time against the protocol's floor
// (10 ms after each data byte plus the measured round trips of the reads)
// and the largest gap between two dispatches of pending events.
//
// Then the bundled sample (607 bytes) downloaded with --verify: the time
// of the download itself next to the time of the verify pass.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "FakeDownloadHost.h"
#include "TestPaths.h"
#include "link/Clock.h"
#include "link/SerialLink.h"
#include "download/DownloadChain.h"
#include "link/SerialPort.h"
#include "sim/PtyKeypad.h"

namespace {

using Clock = std::chrono::steady_clock;
using lumivane::test::FakeDownloadHost;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A host that notes when the transfer starts, ends and dispatches.
class TimingHost : public FakeDownloadHost {
 public:
  void OnLine(const std::string& line, lumivane::LineKind kind) override {
    if (line == "Transfer in progress") transferStart = Clock::now();
    FakeDownloadHost::OnLine(line, kind);
  }
  void Post(lumivane::DownloadMessage message) override {
    if (message == lumivane::DownloadMessage::Report && transferStart != Clock::time_point{})
      transferEnd = Clock::now();
    FakeDownloadHost::Post(message);
  }
  // The verify pass begins a second pass and runs to its end; each step
  // after the first byte is where the window lets an event through.
  void OnProgress(const lumivane::DownloadProgress& progress) override {
    if (progress.begins && ++ranges == 2) {
      verifyStart = Clock::now();
      verifyTotal = static_cast<int>(progress.total);
    }
    if (!progress.begins && progress.done > 0) dispatchTimes.push_back(Clock::now());
    if (ranges == 2 && static_cast<int>(progress.done) == verifyTotal) verifyEnd = Clock::now();
    FakeDownloadHost::OnProgress(progress);
  }
  Clock::time_point transferStart{}, transferEnd{};
  Clock::time_point verifyStart{}, verifyEnd{};
  int ranges = 0;
  int verifyTotal = -1;
  std::vector<Clock::time_point> dispatchTimes;
};

// Runs one download of `source` into a fresh simulated keypad on a
// pseudo-terminal; false with the reason in *error.
bool DownloadOverPty(TimingHost& host, const std::string& source, bool verify, std::string* error,
                     std::uint16_t* imageLength) {
  lumivane::sim::PtyKeypad keypad;
  if (const lumivane::ChannelError started = keypad.Start(); started.failed()) {
    *error = started.Reason();
    return false;
  }
  host.choices.sourcePath = source;
  host.choices.emulatorFile = lumivane::test::SourceDir() + "/emulators/English_US.emu";
  host.choices.keysText = "120";
  host.choices.link = lumivane::LinkKind::Rs232;
  host.choices.portName = keypad.devicePath();
  host.choices.verify = verify;
  lumivane::SerialPort port;
  lumivane::LinkChannels channels;
  channels.serialPort = &port;
  lumivane::DownloadChain chain(host, channels, "");
  chain.StartDownload();
  host.Run(chain, 0);
  while (chain.IsRunning()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    chain.OnReadyTimer();
    host.Run(chain, 0);
  }
  *imageLength = chain.builder().imageLength();
  if (!chain.LastDownloadSucceeded()) *error = "the download did not succeed";
  return chain.LastDownloadSucceeded();
}

bool OpenAsTheDownloadDoes(lumivane::SerialPort& port, const std::string& path) {
  using lumivane::SerialPort;
  return port.Open(path, 2048, 2048).ok() && port.Setup(9600, 8, 0, 0).ok() &&
         port.SetupHandshaking(SerialPort::HandshakeOff).ok() &&
         port.SetupReadTimeouts(SerialPort::ReadBlocking).ok();
}

// Mean round trip of one read command on the simulator, in ms.
double MeasureReadRoundTrip(const std::string& path, int reads) {
  lumivane::SerialPort port;
  if (!OpenAsTheDownloadDoes(port, path)) return -1;
  const char request[2] = {static_cast<char>(0xB0), 0};
  port.Write(request, nullptr, nullptr, lumivane::SerialPort::kInfinite);
  std::uint8_t answer = 0;
  std::uint32_t got = 0;
  port.Read(&answer, 1, &got, nullptr, 2000);
  if (got != 1 || answer != 0xC0) return -1;
  lumivane::SteadyClock clock;
  lumivane::SerialLink link(clock, &port);
  const auto start = Clock::now();
  for (int i = 0; i < reads; ++i) link.ReadByte(0xFF6B);
  const double mean = Ms(Clock::now() - start) / reads;
  link.EndWrite();  // back to idle: the download asks for shift+load again
  port.Close();
  return link.fault() == lumivane::LinkFault::None ? mean : -1;
}

void BM_Rs232Transfer470(benchmark::State& state) {
  const lumivane::test::TempDir temp;
  const std::string dir = temp.path();
  // Header, key table and "<01>abcde": 463 + 7 = 470 bytes.
  lumivane::test::WriteFile(dir + "bench.pos", "<HEADER>\n<DELAY 5>\n<01>abcde");

  for (auto _ : state) {
    lumivane::sim::PtyKeypad keypad;
    if (const lumivane::ChannelError error = keypad.Start(); error.failed()) {
      state.SkipWithError(error.Reason().c_str());
      return;
    }
    const double roundTrip = MeasureReadRoundTrip(keypad.devicePath(), 20);

    TimingHost host;
    host.choices.sourcePath = dir + "bench.pos";
    host.choices.emulatorFile = lumivane::test::SourceDir() + "/emulators/English_US.emu";
    host.choices.keysText = "120";
    host.choices.link = lumivane::LinkKind::Rs232;
    host.choices.portName = keypad.devicePath();
    lumivane::SerialPort port;
    lumivane::LinkChannels channels;
    channels.serialPort = &port;
    lumivane::DownloadChain chain(host, channels, "");
    chain.StartDownload();
    host.Run(chain, 0);
    while (chain.IsRunning()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      chain.OnReadyTimer();
      host.Run(chain, 0);
    }
    if (!chain.LastDownloadSucceeded() || chain.builder().imageLength() != 470) {
      state.SkipWithError("the download did not succeed");
      return;
    }

    const double ours = Ms(host.transferEnd - host.transferStart);
    // Layer 1 with the start in place: six reads, the two end-pointer bytes, 470 image bytes.
    const double floor = 10.0 * (470 + 2) + 6 * roundTrip;
    double largestGap = 0;
    for (std::size_t i = 1; i < host.dispatchTimes.size(); ++i)
      largestGap = std::max(largestGap, Ms(host.dispatchTimes[i] - host.dispatchTimes[i - 1]));

    state.SetIterationTime(ours / 1000.0);
    state.counters["ours_ms"] = ours;
    state.counters["floor_ms"] = floor;
    state.counters["over_floor_pct"] = 100.0 * (ours - floor) / floor;
    state.counters["read_rtt_ms"] = roundTrip;
    state.counters["max_dispatch_gap_ms"] = largestGap;
    state.counters["dispatches"] = static_cast<double>(host.dispatchTimes.size());
  }
}
BENCHMARK(BM_Rs232Transfer470)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Rs232VerifySample(benchmark::State& state) {
  for (auto _ : state) {
    TimingHost host;
    std::string error;
    std::uint16_t length = 0;
    if (!DownloadOverPty(host, lumivane::test::SourceDir() + "/samples/Kt90NewConfig.pos", true, &error,
                         &length)) {
      state.SkipWithError(error.c_str());
      return;
    }
    const double download = Ms(host.verifyStart - host.transferStart);
    const double verify = Ms(host.verifyEnd - host.verifyStart);
    // From the last byte read back to the report: the quiet check and the end command.
    const double ending = Ms(host.transferEnd - host.verifyEnd);
    state.SetIterationTime(verify / 1000.0);
    state.counters["image_bytes"] = length;
    state.counters["verified_bytes"] = host.verifyTotal;
    state.counters["download_ms"] = download;
    state.counters["verify_ms"] = verify;
    state.counters["end_ms"] = ending;
  }
}
BENCHMARK(BM_Rs232VerifySample)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
