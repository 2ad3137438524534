#include "station/StationService.h"

namespace lumivane {

StationService::StationService(const StationJob& job, StationSetup setup, StationImageFacts facts,
                               StationLog* log, std::unique_ptr<DeviceMonitor> monitor, StationObserver& observer)
    : runner_(job),
      probe_(job.clock, job.resolvePortName),
      recorder_(log, std::move(facts)),
      monitor_(std::move(monitor)),
      engine_(std::move(setup), {runner_, job.clock, observer, recorder_, monitor_.get(),
                                 job.choices.link == LinkKind::Rs232 ? &probe_ : nullptr}) {}

}  // namespace lumivane
