#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumivane {

// One outcome as the station log keeps it: one JSON object on one line.
struct StationRecord {
  std::string time;    // ISO 8601 with the zone: "2025-03-04T09:15:02.250+01:00"
  std::string slot;    // the physical USB port (ID_PATH), or the RS232 port
  std::string serial;  // the USB serial number string; empty when none
  std::string source;  // the source's path as given
  std::string sha256;  // the image's, 64 lower-case hexadecimal digits
  std::size_t length = 0;  // the image's bytes
  int layer = 1;
  std::optional<std::uint16_t> base;  // where the image was placed; none when it never was
  std::string state;       // the download state's name ("success", "timeout", ...)
  std::string statusLine;  // the line that ended the download
  std::string detailLine;  // the line after it; may be empty
  std::string verify;      // "passed", "failed" or "not_run"
  std::string keypad;      // what the keypad holds: "complete", "incomplete" or "unchanged"
  long long durationMs = 0;
  int exitStatus = 0;   // what `lumivane-cli download` would have exited with
  std::string result;   // "pass", "fail" or "unserved"

  bool operator==(const StationRecord&) const = default;
};

// The record as its log line, without the line end. Text that is not
// UTF-8 has its stray bytes replaced by U+FFFD.
std::string RecordLine(const StationRecord& record);

// The record a log line holds; nullopt with why when the line is no JSON
// object or lacks a field that a summary needs (slot, sha256, length,
// result).
std::optional<StationRecord> ParseRecordLine(std::string_view line, std::string* why);

// The time in the local zone, to the millisecond, with the zone's offset.
std::string IsoLocalTime(std::chrono::system_clock::time_point time);

}  // namespace lumivane
