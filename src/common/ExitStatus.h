#pragma once
#include <algorithm>
#include <string>

// The exit statuses of lumivane-cli, one table for every subcommand; each
// value has one meaning. The failure states of a download keep their own
// numbers (1 and 4 to 9), so a script can read them as the window's states.
namespace lumivane::exit_status {

inline constexpr int kSuccess = 0;              // image built, download successful, file read, keypad equal, station passed
inline constexpr int kTranslationError = 1;     // state 1; `check` found an error
inline constexpr int kUsage = 2;                // options or arguments not understood
inline constexpr int kWrongVersion = 4;         // state 4
inline constexpr int kNoMemory = 5;             // state 5: the image does not fit the layer
inline constexpr int kTimeout = 6;              // state 6: the keypad stopped answering, the line was lost
inline constexpr int kSourceUnavailable = 7;    // state 7
inline constexpr int kEmulatorUnavailable = 8;  // state 8
inline constexpr int kWrongDeviceId = 9;        // state 9
inline constexpr int kOutputUnwritable = 10;    // --output, --backup or --log cannot be written
inline constexpr int kOutputIsInput = 11;       // --output names the source or the emulator
inline constexpr int kLinkNotPrepared = 12;     // port, USB keypad or keyboard node not usable; link not supported
inline constexpr int kWaitEnded = 13;           // the wait limit passed, or standard input ended
inline constexpr int kVerifyFailed = 14;        // the keypad does not hold what was written
inline constexpr int kKeypadDiffers = 15;       // compare: the keypad holds another image
inline constexpr int kLayerEmpty = 16;          // read, compare: the layer holds no image
inline constexpr int kNotConfirmed = 17;        // --verify on pcat not confirmed: nothing was sent
inline constexpr int kKeypadFailed = 18;        // station: at least one keypad failed
inline constexpr int kLogUnreadable = 19;       // station-report: the log cannot be read
inline constexpr int kSignalBase = 128;         // 128 + the signal: 129 SIGHUP, 130 SIGINT, 143 SIGTERM

// The table as --help, the README and the man page give it.
struct Entry {
  const char* codes;
  const char* meaning;
};
inline constexpr Entry kTable[] = {
    {"0", "success: image built (and written), DOWNLOAD SUCCESSFUL, layer read, keypad equal, "
          "station: all passed"},
    {"1", "translation error for the line shown (state 1); check: errors were found"},
    {"2", "the command line was not understood"},
    {"4", "wrong keypad version (state 4)"},
    {"5", "not enough memory in the keypad's layer (state 5)"},
    {"6", "communication timeout: the keypad stopped answering or the line was lost (state 6)"},
    {"7", "the source cannot be read (state 7)"},
    {"8", "the emulator cannot be read, or lacks a nibble key on pcat (state 8)"},
    {"9", "wrong device identity (state 9)"},
    {"10", "--output, --backup or --log cannot be written (after a failed backup nothing was written)"},
    {"11", "--output or --backup names the source or the emulator file"},
    {"12", "the link could not be prepared: port, USB keypad or keyboard node not usable, or the "
           "link not supported"},
    {"13", "the wait ended: the --wait limit passed, or standard input ended on pcat"},
    {"14", "--verify found bytes that differ from those written"},
    {"15", "compare: the keypad holds another image"},
    {"16", "read, compare: the layer holds no image"},
    {"17", "--verify on pcat was not confirmed (no terminal and no --yes, or not answered yes)"},
    {"18", "station: at least one keypad failed"},
    {"19", "station-report: the log cannot be read"},
    {"129, 130, 143", "ended by SIGHUP, SIGINT or SIGTERM (128 + the signal)"},
};

// The table as lines of text, each indented by two blanks.
inline std::string TableText() {
  std::string text;
  for (const Entry& entry : kTable) {
    std::string codes = entry.codes;
    codes.resize(std::max<std::size_t>(codes.size(), 14), ' ');
    text += "  " + codes + " " + entry.meaning + "\n";
  }
  return text;
}

}  // namespace lumivane::exit_status
