// A station serving simulated USB keypads at once, with the real download
// (verify pass on) into each: 1 keypad against 8. Each feature report
// takes 1 ms, as a USB control transfer does, so a download waits on its
// device most of the time, as with real keypads. Reports the real time of
// the whole run (from the station's start until every keypad has passed),
// the CPU time of the whole process, and the CPU time per keypad.
//
// Eight keypads should take at most 1.2 times as long as one: compare the
// two rows' real times.
#include <benchmark/benchmark.h>
#include <time.h>

#include <string>

#include "FakeDeviceMonitor.h"
#include "StationFakes.h"
#include "TestPaths.h"
#include "link/Clock.h"
#include "sim/SimulatedHid.h"
#include "station/ChainSlotRunner.h"
#include "station/StationEngine.h"
#include "translator/ImageBuilder.h"

namespace {

using namespace lumivane;

constexpr std::chrono::microseconds kReportTime{1000};

// CPU seconds of every thread of the process so far.
double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void StationOfUsbKeypads(benchmark::State& state) {
  const int keypads = static_cast<int>(state.range(0));
  ImageBuilder image;
  if (image.Translate({test::SourceDir() + "/samples/Kt90NewConfig.pos",
                       test::SourceDir() + "/emulators/English_US.emu", "120", false}) != DownloadState::ImageReady) {
    state.SkipWithError("the sample does not translate");
    return;
  }
  SteadyClock clock;
  DownloadChoices choices;
  choices.link = LinkKind::Usb;
  choices.verify = true;
  std::size_t passed = 0;
  double cpu = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sim::SimulatedHid hid(&clock);
    hid.SetReportTime(kReportTime);
    test::FakeDeviceMonitor monitor;
    for (int i = 0; i < keypads; ++i) {
      const std::string node = "/dev/hidraw" + std::to_string(i);
      const std::string port = "usb-0:" + std::to_string(i + 1) + ":1.0";
      hid.AddKeypad(sim::SimulatedHid::KeypadIdentity(node, port, "SN" + std::to_string(i)));
      monitor.Arrive({node, port, "SN" + std::to_string(i)});
    }
    const StationJob job{choices, image, &hid, {}, clock};
    ChainSlotRunner runner(job);
    test::RecordingObserver observer;
    test::MemoryRecorder recorder;
    StationSetup setup;
    setup.passLimit = static_cast<std::size_t>(keypads);
    StationEngine engine(setup, {runner, clock, observer, recorder, &monitor, nullptr});
    state.ResumeTiming();
    const double before = ProcessCpuSeconds();
    passed += engine.Run().counts.passed;
    cpu += ProcessCpuSeconds() - before;
  }
  if (passed != static_cast<std::size_t>(keypads) * state.iterations()) state.SkipWithError("a keypad did not pass");
  state.counters["cpu_ms_per_keypad"] = 1000.0 * cpu / static_cast<double>(keypads * state.iterations());
}

// Every thread's CPU counts, the slots' threads and the engine's.
BENCHMARK(StationOfUsbKeypads)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
