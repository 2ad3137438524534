#pragma once
#include <stop_token>

#include "link/Clock.h"

namespace lumivane {

// Sleeps on the clock until `deadline`, woken early by the stop: the
// pauses of a slot's own thread, which must never hold up a stop.
void SleepUnlessStopped(Clock& clock, Clock::TimePoint deadline, std::stop_token stop);

}  // namespace lumivane
