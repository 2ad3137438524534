#include "cli/StationCommand.h"

#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <memory>
#include <set>

#include "app/EmulatorFiles.h"
#include "app/FileLayout.h"
#include "app/SignalChannel.h"
#include "app/StartupChoices.h"
#include "common/ExitStatus.h"
#include "cli/HelpText.h"
#include "cli/StationSession.h"
#include "cli/TranslationFailure.h"
#include "link/HidapiBackend.h"
#include "link/PortNames.h"
#include "station/StationService.h"
#include "station/Sha256.h"
#include "station/StationPrinter.h"
#include "station/UdevDeviceMonitor.h"
#include "translator/ImageBuilder.h"

namespace lumivane {

namespace {

using PortResolver = std::function<std::string(const std::string&)>;

int UsageError(const std::string& line) {
  std::fprintf(stderr, "lumivane-cli station: %s\n", line.c_str());
  return exit_status::kUsage;
}

// The device a port opens, through any link, for telling two names of one line apart.
std::string LineIdentity(const std::string& device) {
  char resolved[PATH_MAX];
  return ::realpath(device.c_str(), resolved) ? std::string(resolved) : device;
}

// One slot per RS232 line, and none given on USB.
int CheckPorts(const CliStationOptions& options, const PortResolver& resolve) {
  if (options.link == "usb") {
    return options.ports.empty() ? 0 : UsageError("--port is not used on usb: every keypad plugged in is a slot");
  }
  if (options.ports.empty()) return UsageError("--link rs232 needs a --port for each slot");
  std::set<std::string> lines;
  for (const std::string& port : options.ports) {
    if (!lines.insert(LineIdentity(resolve(port))).second) {
      return UsageError("--port " + port + " names a line already given: one slot per line");
    }
  }
  return 0;
}

DownloadChoices ChoicesFor(const CliStationOptions& options, const LaunchPaths& paths) {
  DownloadChoices choices;
  choices.sourcePath = options.source;
  choices.emulatorName = options.emulator;
  choices.emulatorFile = EmulatorPathFor(options.emulator, paths.emulatorDirectories);
  choices.emulatorDirectories = LayoutFoldersFor(options.emulator, paths.emulatorDirectories);
  choices.keysText = options.keys;
  choices.link = options.link == "rs232" ? LinkKind::Rs232 : LinkKind::Usb;
  choices.layer = options.layer == "2" ? 2 : 1;
  choices.verify = !options.noVerify;
  return choices;
}

// The engine with its runner, probe, monitor, view and log, to its end.
int Serve(const CliStationOptions& options, const StationJob& job, StationLog* log, int signalFd,
          const std::string& sha256) {
  const bool rs232 = job.choices.link == LinkKind::Rs232;
  const auto print = [](const std::string& line) { std::printf("%s\n", line.c_str()); };
  std::unique_ptr<DeviceMonitor> monitor = rs232 ? nullptr : OpenDeviceMonitor(*job.hidBackend, job.clock, print);
  StationPrinter printer(stdout, isatty(STDOUT_FILENO), job.clock);
  StationSetup setup;
  setup.link = rs232 ? StationSetup::Link::Rs232 : StationSetup::Link::Usb;
  setup.ports = options.ports;
  setup.passLimit = options.count;
  StationService service(job, setup, {options.source, sha256, job.image.imageLength(), job.choices.layer}, log,
                         std::move(monitor), printer);
  const StationSummary summary = ServeWithSignals(service.engine(), signalFd);
  PrintStationSummary(stdout, summary);
  return StationExitStatus(summary);
}

}  // namespace

int RunStationCommand(const CliStationOptions& options, const LaunchPaths& paths) {
  // Before any other thread exists, so that none takes a signal's default action.
  SignalChannel signals;
  const SettingsStore settings = SettingsStoreFor(paths);
  const PortResolver resolve = [ports = settings.ReadSection(kPortsSection)](const std::string& name) {
    return ResolvePortName(name, ports);
  };
  if (const int refused = CheckPorts(options, resolve); refused != 0) return refused;

  const DownloadChoices choices = ChoicesFor(options, paths);
  ImageBuilder builder;
  const DownloadState state = builder.Translate({options.source, choices.emulatorFile, options.keys, false});
  if (state != DownloadState::ImageReady) {
    return PrintTranslationFailure(state, builder, options.source, options.emulator, choices.emulatorFile, paths);
  }
  const std::string sha256 = Sha256Hex(builder.image(), builder.imageLength());
  std::printf("Image: %u bytes, SHA-256 %s\n", static_cast<unsigned>(builder.imageLength()), sha256.c_str());
  std::fflush(stdout);

  std::unique_ptr<StationLog> log;
  if (!options.log.empty()) {
    LogFailure failure;
    log = StationLog::Open(options.log, &failure);
    if (!log) {
      std::fprintf(stderr, "Unable to write the log to %s: %s\n", options.log.c_str(), failure.reason.c_str());
      return exit_status::kOutputUnwritable;
    }
  }
  SteadyClock clock;
  std::unique_ptr<HidapiBackend> hidBackend;
  if (choices.link == LinkKind::Usb) {
    std::setlocale(LC_ALL, "");  // hidapi decodes the manufacturer string with it
    hidBackend = std::make_unique<HidapiBackend>();
  }
  const StationJob job{choices, builder, hidBackend.get(), resolve, clock};
  return Serve(options, job, log.get(), signals.fd(), sha256);
}

}  // namespace lumivane
