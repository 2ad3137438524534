#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "station/StationRecord.h"

namespace lumivane {

struct OutcomeCounts {
  std::size_t passed = 0;
  std::size_t failed = 0;
};

// A log summed up: per slot and in all, the keypads that passed and
// failed, and every distinct image with its own counts. Runs the station
// ended before anything was written ("unserved") count in none of them.
struct StationReport {
  struct Slot {
    std::string slot;
    OutcomeCounts counts;
  };
  struct Image {
    std::string sha256;
    std::size_t length = 0;
    OutcomeCounts counts;
  };
  std::vector<Slot> slots;    // in the order of their first record
  OutcomeCounts total;
  std::vector<Image> images;  // likewise
};

StationReport SummariseStationLog(const std::vector<StationRecord>& records);

// As a table for a reader.
std::string FormatReportText(const StationReport& report);
// As one CSV table (RFC 4180 quoting, lines ended by LF): kind,slot,sha256,length,passed,failed, with
// a row per slot, one for the total and one per image.
std::string FormatReportCsv(const StationReport& report);

}  // namespace lumivane
