#pragma once
#include <cstdint>
#include <string>

namespace lumivane {

struct CliDownloadOptions;
struct KeypadSession;

// Sets up a download's verify (--verify) and backup (--backup): a verify
// on the PC/AT link, about a second for each byte read back, is confirmed
// on the terminal first unless --yes is given; a backup never overwrites
// the source or the emulator file. Returns 0 to go on, else the exit
// status, after a line that says why. Nothing has been sent by then.
int PrepareReadBack(const CliDownloadOptions& options, KeypadSession* session);

// "about 11 minutes for 609 bytes": the time a PC/AT read-back of that
// many bytes takes.
std::string PcAtReadTimeText(std::uint32_t bytes);

}  // namespace lumivane
