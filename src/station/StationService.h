#pragma once
#include <memory>

#include "station/ChainSlotRunner.h"
#include "station/DeviceMonitor.h"
#include "station/LogRecorder.h"
#include "station/SerialPresenceProbe.h"
#include "station/StationEngine.h"
#include "station/StationJob.h"

namespace lumivane {

// One station run with everything it works with: the real downloads and
// the RS232 probe on the job, the log's recorder (no log: nothing kept),
// the device monitor (USB) and the engine. lumivane-cli and the window
// both serve keypads through it; Run takes the calling thread, the stops
// come from any.
class StationService {
 public:
  StationService(const StationJob& job, StationSetup setup, StationImageFacts facts, StationLog* log,
                 std::unique_ptr<DeviceMonitor> monitor, StationObserver& observer);

  StationSummary Run() { return engine_.Run(); }
  void RequestStop() { engine_.RequestStop(); }
  void StopNow() { engine_.StopNow(); }
  StationEngine& engine() { return engine_; }

 private:
  ChainSlotRunner runner_;
  SerialPresenceProbe probe_;
  LogRecorder recorder_;
  std::unique_ptr<DeviceMonitor> monitor_;
  StationEngine engine_;
};

}  // namespace lumivane
