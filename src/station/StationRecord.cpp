#include "station/StationRecord.h"

#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

namespace lumivane {

namespace {

using Json = nlohmann::json;

template <typename Value>
void Take(const Json& object, const char* key, Value* value) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return;
  if constexpr (std::is_same_v<Value, std::string>) {
    if (found->is_string()) *value = found->template get<std::string>();
  } else {
    if (found->is_number_integer()) *value = found->template get<Value>();
  }
}

}  // namespace

std::string RecordLine(const StationRecord& record) {
  // In this order for a reader of the file.
  const nlohmann::ordered_json object = {
      {"time", record.time},
      {"slot", record.slot},
      {"serial", record.serial},
      {"source", record.source},
      {"sha256", record.sha256},
      {"length", record.length},
      {"layer", record.layer},
      {"base", record.base ? nlohmann::ordered_json(*record.base) : nlohmann::ordered_json(nullptr)},
      {"state", record.state},
      {"status_line", record.statusLine},
      {"detail_line", record.detailLine},
      {"verify", record.verify},
      {"keypad", record.keypad},
      {"duration_ms", record.durationMs},
      {"exit_status", record.exitStatus},
      {"result", record.result},
  };
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::optional<StationRecord> ParseRecordLine(std::string_view line, std::string* why) {
  const Json object = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (object.is_discarded() || !object.is_object()) {
    *why = "not a JSON object";
    return std::nullopt;
  }
  for (const char* key : {"slot", "sha256", "result"}) {
    if (!object.contains(key) || !object[key].is_string()) {
      *why = std::string("no \"") + key + "\" text";
      return std::nullopt;
    }
  }
  if (!object.contains("length") || !object["length"].is_number_unsigned()) {
    *why = "no \"length\" count";
    return std::nullopt;
  }
  StationRecord record;
  Take(object, "time", &record.time);
  Take(object, "slot", &record.slot);
  Take(object, "serial", &record.serial);
  Take(object, "source", &record.source);
  Take(object, "sha256", &record.sha256);
  Take(object, "length", &record.length);
  Take(object, "layer", &record.layer);
  if (object.contains("base") && object["base"].is_number_unsigned() && object["base"].get<unsigned>() <= 0xFFFF) {
    record.base = static_cast<std::uint16_t>(object["base"].get<unsigned>());
  }
  Take(object, "state", &record.state);
  Take(object, "status_line", &record.statusLine);
  Take(object, "detail_line", &record.detailLine);
  Take(object, "verify", &record.verify);
  Take(object, "keypad", &record.keypad);
  Take(object, "duration_ms", &record.durationMs);
  Take(object, "exit_status", &record.exitStatus);
  Take(object, "result", &record.result);
  return record;
}

std::string IsoLocalTime(std::chrono::system_clock::time_point time) {
  const auto sinceEpoch = time.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  const long long millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm local{};
  ::localtime_r(&whole, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff / 60;  // minutes east of UTC
  const long magnitude = offset < 0 ? -offset : offset;
  char text[128];
  std::snprintf(text, sizeof text, "%s.%03lld%c%02ld:%02ld", date, millis, offset < 0 ? '-' : '+',
                magnitude / 60, magnitude % 60);
  return text;
}

}  // namespace lumivane
