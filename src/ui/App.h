#pragma once

namespace lumivane {

// Runs the program: creates the window with the real link channels, runs
// it until it closes, and returns the exit status (0, or in automatic mode
// 1 when the download did not end with "DOWNLOAD SUCCESSFUL"; 128 + the
// signal's number when SIGINT, SIGTERM or SIGHUP ended it).
//
// Two environment variables serve measurements and the documentation:
// LUMIVANE_STARTUP_PROBE=1 prints, once the window is shown, the wall-clock
// time in microseconds since the epoch and quits; LUMIVANE_SCREENSHOT=FILE
// saves a picture of the window to FILE (PNG) and quits.
int RunApp(int argc, char** argv);

}  // namespace lumivane
