#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "translator/DownloadState.h"

namespace lumivane {

// Where a download is. One run goes
//   Idle -> Translating -> Preparing -> Waiting -> Transferring [-> Verifying] -> Ending -> Idle
// and leaves that path for Ending or Idle wherever it fails or is stopped.
// Preparing and Ending are entered when the outcome of a phase is reported
// (the translation's, the transfer's, a wrong or lost keypad's); a run that
// is cancelled or stopped, or ends without a report, goes to Idle directly.
enum class DownloadPhase : std::uint8_t { Idle, Translating, Preparing, Waiting, Transferring, Verifying, Ending };

// "waiting", for logs and station lines.
const char* PhaseName(DownloadPhase phase);

struct PhaseChange {
  DownloadPhase from = DownloadPhase::Idle;
  DownloadPhase to = DownloadPhase::Idle;
  // Waiting: the keypad confirms by typing "&Yes" (PC/AT) instead of
  // answering the identity request.
  bool awaitsYes = false;
};

// The passes over the keypad's memory that count bytes.
enum class ProgressPass : std::uint8_t { Transfer, Verify, Read, Backup };

// "Transfer", "Verify", "Read", "Backup".
const char* PassLabel(ProgressPass pass);

struct DownloadProgress {
  ProgressPass pass = ProgressPass::Transfer;
  std::uint32_t done = 0;
  std::uint32_t total = 0;
  // The pass begins: its total is known, nothing is counted yet.
  bool begins = false;
};

// What the run does meanwhile: busy (translating, transferring) or waiting
// for the keypad (from the prompt for shift+load until it answers or the
// download ends).
enum class DownloadActivity : std::uint8_t { None, Busy, Waiting };

enum class LineKind : std::uint8_t {
  Status,  // a line of its own
  Detail,  // the line after a failure's status line: which file, port or device and why
};

// What the keypad holds after the run.
enum class KeypadHolds : std::uint8_t {
  Unchanged,   // nothing was written (a read, or a run that ended before the transfer)
  Complete,    // the whole image, with the end command
  Incomplete,  // part of an image: download it again
};

// What the verify pass of a download found.
enum class VerifyResult : std::uint8_t {
  NotRun,  // not chosen, or the pass did not run to its end (the keypad stopped answering, a stop)
  Passed,  // every written byte read back as written
  Failed,  // some byte differs from what was written
};

// How one run ended: every host renders it.
struct DownloadOutcome {
  // The last phase's state: Success, a failure's state, or None for a run
  // that was cancelled, stopped, or failed without a state of its own.
  DownloadState state = DownloadState::None;
  bool succeeded = false;
  // The outcome's first status line and the line after it (may be empty);
  // both have been told as line events already.
  std::string statusLine;
  std::string detail;
  // The exit status lumivane-cli gives for it (common/ExitStatus.h): 0 after
  // a success, before what the command does with the result.
  int exitStatus = 0;
  KeypadHolds keypad = KeypadHolds::Unchanged;
  VerifyResult verify = VerifyResult::NotRun;
  // Where the placement put the image, once it found room for it.
  std::optional<std::uint16_t> placementBase;
};

// What a download tells as it runs. Hosts map the events to their own
// output: the window to its controls, lumivane-cli to its lines.
class DownloadEvents {
 public:
  virtual ~DownloadEvents() = default;
  virtual void OnPhase(const PhaseChange& change) = 0;
  virtual void OnLine(const std::string& line, LineKind kind) = 0;
  // The translation's line counter: once with 1, then at every fourth line,
  // and the line it ended at.
  virtual void OnLinesTranslated(int lines) { (void)lines; }
  virtual void OnProgress(const DownloadProgress& progress) { (void)progress; }
  virtual void OnActivity(DownloadActivity activity) { (void)activity; }
  virtual void OnOutcome(const DownloadOutcome& outcome) = 0;
};

}  // namespace lumivane
