#include "station/LogRecorder.h"

namespace lumivane {

StationRecord RecordOf(const StationImageFacts& facts, const StationOutcome& outcome, std::string time) {
  StationRecord record;
  record.time = std::move(time);
  record.slot = outcome.slot.name;
  record.serial = outcome.slot.serialNumber;
  record.source = facts.source;
  record.sha256 = facts.sha256;
  record.length = facts.length;
  record.layer = facts.layer;
  record.base = outcome.outcome.placementBase;
  record.state = DownloadStateName(outcome.outcome.state);
  record.statusLine = outcome.outcome.statusLine;
  record.detailLine = outcome.outcome.detail;
  record.verify = VerifyResultName(outcome.outcome.verify);
  record.keypad = KeypadHoldsName(outcome.outcome.keypad);
  record.durationMs = outcome.duration.count();
  record.exitStatus = outcome.outcome.exitStatus;
  record.result = OutcomeResultName(outcome.result);
  return record;
}

bool LogRecorder::Record(const StationOutcome& outcome, std::string* failure) {
  if (log_ == nullptr) return true;
  LogFailure why;
  if (log_->Append(RecordOf(facts_, outcome, IsoLocalTime(wallClock_())), &why)) return true;
  *failure = why.Text();
  return false;
}

}  // namespace lumivane
