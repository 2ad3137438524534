#include "station/SlotOutcome.h"

#include "common/ExitStatus.h"

namespace lumivane {

OutcomeResult ClassifyOutcome(const SlotOutcome& outcome, bool stoppedByStation) {
  if (outcome.succeeded && outcome.keypad == KeypadHolds::Complete) return OutcomeResult::Passed;
  if (outcome.keypad != KeypadHolds::Unchanged) return OutcomeResult::Failed;
  // Only a failure that the keypad's leaving explains: its device or line
  // was gone. A keypad that answered wrongly failed, whenever it left.
  const bool leftFirst = outcome.keypadLeft && (outcome.exitStatus == exit_status::kLinkNotPrepared ||
                                                outcome.state == DownloadState::Timeout);
  return stoppedByStation || leftFirst ? OutcomeResult::Unserved : OutcomeResult::Failed;
}

const char* OutcomeResultName(OutcomeResult result) {
  switch (result) {
    case OutcomeResult::Passed: return "pass";
    case OutcomeResult::Failed: return "fail";
    case OutcomeResult::Unserved: return "unserved";
  }
  return "fail";
}

const char* KeypadHoldsName(KeypadHolds holds) {
  switch (holds) {
    case KeypadHolds::Unchanged: return "unchanged";
    case KeypadHolds::Complete: return "complete";
    case KeypadHolds::Incomplete: return "incomplete";
  }
  return "incomplete";
}

const char* VerifyResultName(VerifyResult result) {
  switch (result) {
    case VerifyResult::NotRun: return "not_run";
    case VerifyResult::Passed: return "passed";
    case VerifyResult::Failed: return "failed";
  }
  return "not_run";
}

const char* DownloadStateName(DownloadState state) {
  switch (state) {
    case DownloadState::None: return "none";
    case DownloadState::TranslationError: return "translation_error";
    case DownloadState::ImageReady: return "image_ready";
    case DownloadState::Success: return "success";
    case DownloadState::WrongVersion: return "wrong_version";
    case DownloadState::NoMemory: return "no_memory";
    case DownloadState::Timeout: return "timeout";
    case DownloadState::SourceUnavailable: return "source_unavailable";
    case DownloadState::EmulatorUnavailable: return "emulator_unavailable";
    case DownloadState::WrongDeviceId: return "wrong_device_id";
  }
  return "none";
}

}  // namespace lumivane
