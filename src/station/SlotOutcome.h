#pragma once
#include "download/DownloadEvents.h"
#include "translator/DownloadState.h"

namespace lumivane {

// How one download into one slot's keypad ended: the download's own
// outcome as its chain told it (state, status and detail line, exit
// status, what the keypad holds, the verify result, the placement), and
// what only the slot saw.
struct SlotOutcome : DownloadOutcome {
  // The keypad left while the download waited for it, before anything was
  // written (a USB keypad unplugged before shift+load).
  bool keypadLeft = false;
};

// What an outcome counts as at the station.
enum class OutcomeResult {
  Passed,    // the download succeeded: the keypad holds the image
  Failed,    // anything else the keypad got or did
  Unserved,  // ended before anything was written, by the station (it stopped) or because the keypad left
};

// Passed only for a success that left the whole image; Unserved only for a
// run that wrote nothing and was ended by the station, or failed because
// its keypad had left (not detected, the port or line gone).
OutcomeResult ClassifyOutcome(const SlotOutcome& outcome, bool stoppedByStation);

// Stable names for the log: "pass"/"fail"/"unserved", "unchanged"/..., "passed"/...,
// and the download state's ("success", "timeout", "wrong_device_id", ...).
const char* OutcomeResultName(OutcomeResult result);
const char* KeypadHoldsName(KeypadHolds holds);
const char* VerifyResultName(VerifyResult result);
const char* DownloadStateName(DownloadState state);

}  // namespace lumivane
