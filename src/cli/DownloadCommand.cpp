#include "cli/DownloadCommand.h"

#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <memory>

#include "app/EmulatorFiles.h"
#include "app/FileLayout.h"
#include "app/SettingsStore.h"
#include "app/StartupChoices.h"
#include "cli/CliHost.h"
#include "cli/DiagnosticPrinter.h"
#include "common/ExitStatus.h"
#include "cli/DownloadReadBack.h"
#include "cli/KeypadSession.h"
#include "download/DownloadChain.h"
#include "link/Clock.h"
#include "link/EvdevKeyboardLine.h"
#include "link/HidapiBackend.h"
#include "link/PortNames.h"
#include "link/SerialPort.h"
#include "app/SignalChannel.h"

namespace lumivane {

namespace {

// Key presses from a terminal one at a time, without echo; Ctrl-C still
// interrupts. Restores the terminal when done.
class RawKeys {
 public:
  explicit RawKeys(int fd) : fd_(fd) {
    if (!isatty(fd_) || tcgetattr(fd_, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
  ~RawKeys() {
    if (active_) tcsetattr(fd_, TCSANOW, &saved_);
  }

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

}  // namespace

LinkKind CliLinkKind(const std::string& name) {
  if (name == "pcat") return LinkKind::PcAt;
  if (name == "rs232") return LinkKind::Rs232;
  return LinkKind::Usb;
}

int RunDownloadCommand(const CliDownloadOptions& options, const LaunchPaths& paths) {
  KeypadSession session = SessionFor(options, paths);
  if (const int refused = PrepareReadBack(options, &session); refused != 0) return refused;
  return RunKeypadSession(session, paths);
}

KeypadSession SessionFor(const CliKeypadOptions& options, const LaunchPaths& paths) {
  KeypadSession session;
  DownloadChoices& choices = session.choices;
  choices.sourcePath = options.source;
  choices.emulatorName = options.emulator;
  choices.emulatorFile = EmulatorPathFor(options.emulator, paths.emulatorDirectories);
  choices.emulatorDirectories = LayoutFoldersFor(options.emulator, paths.emulatorDirectories);
  choices.keysText = options.keys;
  choices.portName = options.port;
  choices.link = CliLinkKind(options.link);
  choices.layer = options.layer == "2" ? 2 : 1;
  choices.waitLimit = std::chrono::milliseconds(static_cast<long long>(options.waitSeconds * 1000.0));
  session.port = options.port;
  return session;
}

int RunKeypadSession(const KeypadSession& session, const LaunchPaths& paths) {
  // Before any other thread exists (hidapi's among them), so that none
  // takes a signal's default action.
  SignalChannel signals;
  const DownloadChoices& choices = session.choices;

  // Only the chosen link's channel is created: hidapi and the keyboard node
  // are not touched by a serial download.
  // The one clock of every wait and time limit.
  SteadyClock clock;
  SerialPort serialPort(clock);
  std::unique_ptr<HidapiBackend> hidBackend;
  std::unique_ptr<EvdevKeyboardLine> keyboardLine;
  // The window's settings, read and never written: a port name means what
  // it means in the window, and the PC/AT node is the one it uses.
  const SettingsStore settings = SettingsStoreFor(paths);
  LinkChannels channels;
  channels.clock = &clock;
  channels.serialPort = &serialPort;
  channels.resolvePortName = [ports = settings.ReadSection(kPortsSection)](const std::string& name) {
    return ResolvePortName(name, ports);
  };
  if (choices.link == LinkKind::Usb) {
    std::setlocale(LC_ALL, "");  // hidapi decodes the manufacturer string with it
    hidBackend = std::make_unique<HidapiBackend>();
    channels.hidBackend = hidBackend.get();
  } else if (choices.link == LinkKind::PcAt) {
    // --port names the keyboard's event node on this link.
    keyboardLine = std::make_unique<EvdevKeyboardLine>(
        session.port.empty()
            ? settings.Read(kSettingsSection, settings_key::kKeyboard, EvdevKeyboardLine::kDefaultNode)
            : session.port,
        clock);
    channels.keyboardLine = keyboardLine.get();
  }

  const bool readKeys = choices.link == LinkKind::PcAt;
  RawKeys rawKeys(readKeys ? STDIN_FILENO : -1);
  CliHost host(choices, stdout, readKeys ? STDIN_FILENO : -1, signals.fd(), clock,
               isatty(STDERR_FILENO) ? stderr : nullptr, session.saveBackup);
  DownloadChain chain(host.driver(), std::move(channels), paths.programDirectory);
  host.Run(chain);
  if (chain.state() == DownloadState::TranslationError) {
    std::fflush(stdout);
    PrintCompilerDiagnostics(stderr, choices.sourcePath, chain.builder(), isatty(STDERR_FILENO));
  }

  if (chain.LastDownloadSucceeded()) return session.onSuccess ? session.onSuccess(chain) : 0;
  // Killed by a signal, as a shell counts it: 130 for SIGINT, 143 for SIGTERM.
  if (host.endingSignal() != 0) return exit_status::kSignalBase + host.endingSignal();
  return chain.outcome().exitStatus;
}

}  // namespace lumivane
