#pragma once

// The exit statuses of lumivane-cli, one table for every subcommand; each
// value has one meaning. The failure states of a download keep their own
// numbers (1 and 4 to 9), so a script can read them as the window's states.
namespace lumivane::exit_status {

inline constexpr int kSuccess = 0;              // image built, download successful, keypad equal
inline constexpr int kTranslationError = 1;     // state 1; `check` found an error
inline constexpr int kUsage = 2;                // options or arguments not understood
inline constexpr int kWrongVersion = 4;         // state 4
inline constexpr int kNoMemory = 5;             // state 5: the image does not fit the layer
inline constexpr int kTimeout = 6;              // state 6: the keypad stopped answering, the line was lost
inline constexpr int kSourceUnavailable = 7;    // state 7
inline constexpr int kEmulatorUnavailable = 8;  // state 8
inline constexpr int kWrongDeviceId = 9;        // state 9
inline constexpr int kOutputUnwritable = 10;    // --output or --backup cannot be written
inline constexpr int kOutputIsInput = 11;       // --output names the source or the emulator
inline constexpr int kLinkNotPrepared = 12;     // port, USB keypad or keyboard node not usable; link not supported
inline constexpr int kWaitEnded = 13;           // the wait limit passed, or standard input ended
inline constexpr int kVerifyFailed = 14;        // the keypad does not hold what was written
inline constexpr int kKeypadDiffers = 15;       // compare: the keypad holds another image
inline constexpr int kLayerEmpty = 16;          // read, compare: the layer holds no image
inline constexpr int kSignalBase = 128;         // 128 + the signal: 129 SIGHUP, 130 SIGINT, 143 SIGTERM

}  // namespace lumivane::exit_status
