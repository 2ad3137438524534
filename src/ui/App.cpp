#include "ui/App.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/FileLayout.h"
#include "app/SettingsStore.h"
#include "app/StartupChoices.h"
#include "link/Clock.h"
#include "link/EvdevKeyboardLine.h"
#include "link/HidapiBackend.h"
#include "link/PortNames.h"
#include "link/SerialPort.h"
#include "app/SignalChannel.h"
#include "ui/MainDialog.h"

namespace lumivane {
namespace {

// The hidden measurement and screenshot modes act once the window is up.
void ScheduleProbes(MainDialog& dialog) {
  const char* screenshot = std::getenv("LUMIVANE_SCREENSHOT");
  const char* probe = std::getenv("LUMIVANE_STARTUP_PROBE");
  if (probe != nullptr && *probe != '\0') {
    QTimer::singleShot(0, &dialog, [&dialog] {
      auto now = std::chrono::system_clock::now().time_since_epoch();
      std::printf("window shown at %lld us\n", static_cast<long long>(
          std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
      std::fflush(stdout);
      dialog.done(QDialog::Accepted);
    });
  } else if (screenshot != nullptr && *screenshot != '\0') {
    QString file = QString::fromLocal8Bit(screenshot);
    QTimer::singleShot(0, &dialog, [&dialog, file] {
      bool saved = dialog.grab().save(file, "PNG");
      dialog.done(saved ? QDialog::Accepted : QDialog::Rejected);
    });
  }
}

}  // namespace

int RunApp(int argc, char** argv) {
  // Before QApplication starts any thread, so that every thread blocks the
  // signals and the window takes them in order (the transfer stopped after
  // a byte, the keyboard line restored).
  SignalChannel signalChannel;
  // Automatic mode echoes the status lines on standard output: a reader
  // that goes away must not end the download halfway.
  std::signal(SIGPIPE, SIG_IGN);
  QApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);
  // The installed desktop entry's name: desktops match the window to it
  // (its icon, its name in the task list).
  QGuiApplication::setDesktopFileName(QStringLiteral("com.zoret.Lumivane"));

  // Portable beside the executable, or installed with per-user settings.
  LaunchPaths paths = ResolveFileLayout(argc > 0 ? argv[0] : "");
  SettingsStore settings = SettingsStoreFor(paths);

  // The one clock of every wait and time limit.
  SteadyClock clock;
  SerialPort serialPort(clock);
  HidapiBackend hidBackend;
  EvdevKeyboardLine keyboardLine(
      settings.Read(kSettingsSection, settings_key::kKeyboard, EvdevKeyboardLine::kDefaultNode), clock);

  MainDialog::Setup setup;
  setup.paths = paths;
  // Qt has taken its own options out of argv; the first remaining argument
  // names the configuration source, further ones are ignored.
  if (argc >= 2) setup.commandLineSource = argv[1];
  setup.serialDevices = ListSerialDevices();
  setup.signalFd = signalChannel.fd();
  setup.channels.clock = &clock;
  setup.channels.serialPort = &serialPort;
  setup.channels.hidBackend = &hidBackend;
  setup.channels.keyboardLine = &keyboardLine;
  setup.channels.resolvePortName = [&settings](const std::string& name) {
    return ResolvePortName(name, settings.ReadSection(kPortsSection));
  };

  MainDialog dialog(std::move(setup));
  QEventLoop loop;
  QObject::connect(&dialog, &QDialog::finished, &loop, [&loop] { loop.exit(); });
  // In automatic mode the window stays hidden; its download is under way.
  if (!dialog.autoRun()) {
    dialog.show();
    ScheduleProbes(dialog);
  }
  loop.exec();
  return dialog.ExitStatus();
}

}  // namespace lumivane
