#pragma once
#include <cstdint>

namespace lumivane {

// Outcome of the last phase of a download. The numeric values are the
// codes the command line reports as exit status, so they never change.
enum class DownloadState : std::uint8_t {
  None = 0,
  TranslationError = 1,   // "Translation error for the specified line"
  ImageReady = 2,         // image built; the link is prepared next
  Success = 3,            // "DOWNLOAD SUCCESSFUL"
  WrongVersion = 4,       // "Wrong Quintrel version"
  NoMemory = 5,           // "Not enough memory in the Quintrel"
  Timeout = 6,            // "Quintrel communication timeout"
  SourceUnavailable = 7,  // "Unable to open file for Download"
  EmulatorUnavailable = 8,  // "Unable to open the selected emulator"
  WrongDeviceId = 9,      // "Wrong Device ID"
};

// The status line written for a state, or nullptr for states without one
// (None, ImageReady, and any value outside 1..9).
const char* StatusLineFor(DownloadState state);

}  // namespace lumivane
