#include "station/StationReport.h"

#include <algorithm>
#include <cstdio>

namespace lumivane {

namespace {

void Count(OutcomeCounts* counts, const std::string& result) {
  if (result == "pass") ++counts->passed;
  if (result == "fail") ++counts->failed;
}

template <typename Entry, typename Matches>
Entry& FindOrAdd(std::vector<Entry>& entries, Matches matches, Entry fresh) {
  const auto found = std::find_if(entries.begin(), entries.end(), matches);
  if (found != entries.end()) return *found;
  entries.push_back(std::move(fresh));
  return entries.back();
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvRow(const char* kind, const std::string& slot, const std::string& sha256, const std::string& length,
                   const OutcomeCounts& counts) {
  return std::string(kind) + "," + CsvField(slot) + "," + sha256 + "," + length + "," +
         std::to_string(counts.passed) + "," + std::to_string(counts.failed) + "\n";
}

std::string CountColumns(const OutcomeCounts& counts) {
  char text[48];
  std::snprintf(text, sizeof text, "%8zu %8zu", counts.passed, counts.failed);
  return text;
}

}  // namespace

StationReport SummariseStationLog(const std::vector<StationRecord>& records) {
  StationReport report;
  for (const StationRecord& record : records) {
    if (record.result != "pass" && record.result != "fail") continue;
    StationReport::Slot& slot = FindOrAdd(
        report.slots, [&](const StationReport::Slot& s) { return s.slot == record.slot; },
        StationReport::Slot{record.slot, {}});
    Count(&slot.counts, record.result);
    StationReport::Image& image = FindOrAdd(
        report.images,
        [&](const StationReport::Image& i) { return i.sha256 == record.sha256 && i.length == record.length; },
        StationReport::Image{record.sha256, record.length, {}});
    Count(&image.counts, record.result);
    Count(&report.total, record.result);
  }
  return report;
}

std::string FormatReportText(const StationReport& report) {
  std::size_t width = 5;  // "Total"
  for (const StationReport::Slot& slot : report.slots) width = std::max(width, slot.slot.size());
  const auto padded = [width](const std::string& text) { return text + std::string(width - text.size(), ' '); };
  std::string text = padded("Slot") + "   Passed   Failed\n";
  for (const StationReport::Slot& slot : report.slots) text += padded(slot.slot) + " " + CountColumns(slot.counts) + "\n";
  text += padded("Total") + " " + CountColumns(report.total) + "\n";
  text += "\nImages (SHA-256, bytes):\n";
  if (report.images.empty()) text += "  none\n";
  for (const StationReport::Image& image : report.images) {
    text += "  " + image.sha256 + " " + std::to_string(image.length) + " bytes: " +
            std::to_string(image.counts.passed) + " passed, " + std::to_string(image.counts.failed) + " failed\n";
  }
  return text;
}

std::string FormatReportCsv(const StationReport& report) {
  std::string csv = "kind,slot,sha256,length,passed,failed\n";
  for (const StationReport::Slot& slot : report.slots) csv += CsvRow("slot", slot.slot, "", "", slot.counts);
  csv += CsvRow("total", "", "", "", report.total);
  for (const StationReport::Image& image : report.images) {
    csv += CsvRow("image", "", CsvField(image.sha256), std::to_string(image.length), image.counts);
  }
  return csv;
}

}  // namespace lumivane
