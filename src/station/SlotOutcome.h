#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "translator/DownloadState.h"

namespace lumivane {

// What a keypad holds after a download.
enum class KeypadContents {
  Unchanged,   // nothing was written
  Complete,    // the whole image and the end command
  Incomplete,  // writing began and did not finish: the keypad must be downloaded again
};

enum class VerifyResult { NotRun, Passed, Failed };

// How one download into one slot's keypad ended, as the slot runner saw it.
struct SlotOutcome {
  DownloadState state = DownloadState::None;
  std::string statusLine;  // the line that ended it: "DOWNLOAD SUCCESSFUL", "Quintrel communication timeout"
  std::string detailLine;  // the line after it that names the port or device and why; may be empty
  int exitStatus = 0;      // what `lumivane-cli download` would have exited with
  KeypadContents keypad = KeypadContents::Unchanged;
  VerifyResult verify = VerifyResult::NotRun;
  std::optional<std::uint16_t> placementBase;  // where the image was placed, once known
};

// What an outcome counts as at the station.
enum class OutcomeResult {
  Passed,    // the download succeeded: the keypad holds the image
  Failed,    // anything else the keypad got or did
  Unserved,  // the station ended the run before anything was written (it stopped, or the keypad left)
};

// Passed only for a success that left the whole image; Unserved only when
// the station itself ended a run that wrote nothing.
OutcomeResult ClassifyOutcome(const SlotOutcome& outcome, bool stoppedByStation);

// Stable names for the log: "pass"/"fail"/"unserved", "unchanged"/..., "passed"/...,
// and the download state's ("success", "timeout", "wrong_device_id", ...).
const char* OutcomeResultName(OutcomeResult result);
const char* KeypadContentsName(KeypadContents contents);
const char* VerifyResultName(VerifyResult result);
const char* DownloadStateName(DownloadState state);

}  // namespace lumivane
