// lumivane-keypad-sim: a keypad on a pseudo-terminal for RS232 downloads.
// Prints the device path, serves the keypad until the end command (--once)
// or Ctrl-C, then prints a decode of the layer it received.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "sim/LayerDecode.h"
#include "sim/MemoryFile.h"
#include "sim/PtyKeypad.h"
#include "sim/SimulatorOptions.h"

namespace {

using lumivane::sim::SimulatorSettings;

// Written whole under a temporary name first, so that a script waiting for
// the file never reads half a path.
bool WritePathFile(const std::string& file, const std::string& devicePath) {
  const std::string temporary = file + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << devicePath << '\n';
    if (!out) return false;
  }
  return std::rename(temporary.c_str(), file.c_str()) == 0;
}

int Refuse(const std::string& line, int exitStatus) {
  std::fprintf(stderr, "%s\n", line.c_str());
  return exitStatus;
}

// Ctrl-C and termination end the serving loop through a signalfd, so the
// decode is still printed.
int SignalFd() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  return signalfd(-1, &signals, SFD_CLOEXEC);
}

// What the keypad received, as the simulator prints it at the end.
void PrintReceived(const lumivane::sim::KeypadModel& result, int tableSize) {
  if (result.IsHungUp()) {
    std::printf("Hung up after %zu bytes\n", result.bytesReceived());
  } else if (result.StoppedReading()) {
    std::printf("Stopped reading after %zu bytes\n", result.bytesReceived());
  }
  std::fputs(lumivane::sim::DescribeReceivedLayer(result, tableSize).c_str(), stdout);
}

// Serves the keypad until it is done or a signal ends it; the exit status.
int Serve(lumivane::sim::PtyKeypad& keypad, const SimulatorSettings& settings, int signalFd) {
  const bool served = keypad.Serve(signalFd);
  const lumivane::sim::KeypadModel result = keypad.Snapshot();
  // The program checks the line after the end command: stay on it until
  // the program lets go, as a keypad that is done does.
  if (served && settings.once && result.IsFinished()) {
    keypad.WaitForRelease(std::chrono::seconds(5), signalFd);
  }
  PrintReceived(result, settings.tableSize);
  if (signalFd >= 0) close(signalFd);
  if (!settings.memoryFile.empty()) {
    const std::optional<std::string> failure =
        lumivane::sim::SaveMemoryFile(settings.memoryFile, result.memory().data(), result.memory().size());
    if (failure) return Refuse("lumivane-keypad-sim: " + *failure, 1);
  }
  if (!served) return Refuse("lumivane-keypad-sim: the line failed", 1);
  return 0;
}

int Run(const SimulatorSettings& settings) {
  const int signalFd = SignalFd();
  lumivane::sim::PtyKeypad keypad(settings.keypad, settings.once);
  if (const lumivane::ChannelError error = keypad.Open(); error.failed())
    return Refuse("lumivane-keypad-sim: " + error.Reason(), 1);
  std::printf("Keypad listening on %s\n", keypad.devicePath().c_str());
  std::fflush(stdout);
  if (!settings.pathFile.empty() && !WritePathFile(settings.pathFile, keypad.devicePath()))
    return Refuse("lumivane-keypad-sim: cannot write " + settings.pathFile, 1);
  return Serve(keypad, settings, signalFd);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated keypad on a pseudo-terminal (RS232 link)"};
  const lumivane::sim::SimulatorCommandLine commandLine(app);
  CLI11_PARSE(app, argc, argv);
  const lumivane::sim::SimulatorCommandLine::Outcome outcome = commandLine.Settings();
  if (!outcome.settings) return Refuse(outcome.refusal.line, outcome.refusal.exitStatus);
  return Run(*outcome.settings);
}
