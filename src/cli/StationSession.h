#pragma once
#include <cstdio>

#include "station/StationEngine.h"

namespace lumivane {

// Runs the station until it ends, with the signals of `signalFd` (a
// SignalChannel's): SIGINT asks the transfers under way to finish and arms
// no more keypads, a second SIGINT stops them; SIGTERM and SIGHUP stop
// them at once. -1: no signals.
StationSummary ServeWithSignals(StationEngine& engine, int signalFd);

// The closing lines: the counts and rate, and each slot left with an incomplete image.
void PrintStationSummary(std::FILE* out, const StationSummary& summary);

// 0 when every keypad served passed; 18 when one failed; else 10 when the
// log failed, 12 when the device monitor did.
int StationExitStatus(const StationSummary& summary);

}  // namespace lumivane
