#pragma once
// Shared set-up for the window tests: a dialog with its settings file in a
// fresh temporary directory and the real serial port as its only channel;
// a test adds the simulated channels it needs to the setup.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QTimerEvent>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "TestPaths.h"
#include "app/StartupChoices.h"
#include "link/SerialPort.h"
#include "ui/MainDialog.h"
#include "ui/StatusLog.h"

namespace lumivane::test {

// The program directory holds the emulators and the sample; the settings
// file lives in a temporary directory of the test's own.
struct DialogFixture {
  TempDir settingsTemp;
  std::string settingsDir = settingsTemp.path();
  std::string settingsPath = settingsDir + "Lumivane.ini";
  SerialPort serialPort;
  std::vector<std::pair<QString, QStringList>> startedProcesses;
  std::error_code startError;  // what the next start of a process returns
  QString nextChosenFile;

  MainDialog::Setup MakeSetup(const std::string& programDirectory = ProgramDir()) {
    MainDialog::Setup setup;
    setup.paths = LaunchPathsForExecutable(programDirectory + "Lumivane");
    setup.paths.settingsPath = settingsPath;
    setup.channels.serialPort = &serialPort;
    setup.chooseSourceFile = [this](QWidget*) { return nextChosenFile; };
    setup.startDetached = [this](const QString& program, const QStringList& arguments) {
      startedProcesses.emplace_back(program, arguments);
      return startError;
    };
    // No desktop default: Edit falls back to the terminal editor.
    setup.desktop.defaultHandler = [](const std::string&) { return std::string(); };
    setup.statusEcho = nullptr;
    return setup;
  }

  std::unique_ptr<MainDialog> MakeDialog(MainDialog::Setup setup) {
    return std::make_unique<MainDialog>(std::move(setup));
  }

  std::unique_ptr<MainDialog> MakeDialog() { return MakeDialog(MakeSetup()); }

  void WriteSettings(const std::string& text) { WriteFile(settingsPath, text); }
  bool SettingsFileExists() const { return access(settingsPath.c_str(), F_OK) == 0; }
  std::string Setting(const std::string& key) {
    return SettingsStore(settingsPath).Read("Quintrel", key, "<missing>");
  }
};

// A program directory of the test's own in `temp`: the named emulators and
// the sample source (the default FileToDownload), copied from the source
// tree. Empty when a file could not be copied.
inline std::string MakeProgramDir(const TempDir& temp, std::initializer_list<std::string> emulators) {
  const std::string& dir = temp.path();
  if (dir.empty()) return {};
  for (const std::string& name : emulators) {
    std::string bytes = ReadFile(SourceDir() + "/emulators/" + name + ".emu");
    if (bytes.empty() || !WriteFile(dir + name + ".emu", bytes)) return {};
  }
  std::string sample = ReadFile(SourceDir() + "/samples/" + kDefaultSourceName);
  if (sample.empty() || !WriteFile(dir + kDefaultSourceName, sample)) return {};
  return dir;
}

// How the controls differ from those of an idle window (Download focused,
// Cancel hidden, "&Yes" and the unsupported links disabled, progress at 0);
// empty when they do not.
inline QString IdleControlsMismatch(const MainDialogControls& c) {
  QStringList problems;
  const std::initializer_list<std::pair<QWidget*, const char*>> enabled = {
      {c.download, "Download"}, {c.browse, "Browse"},       {c.edit, "Edit"},
      {c.usb, "USB"},           {c.rs232, "RS232"},         {c.layer1, "Layer 1"},
      {c.layer2, "Layer 2"},    {c.emulators, "emulators"}, {c.keys, "keys"},
      {c.comPorts, "COM ports"}, {c.path, "path"}};
  for (const auto& [widget, name] : enabled) {
    if (!widget->isEnabled()) problems << QStringLiteral("%1 disabled").arg(QLatin1String(name));
  }
  const std::initializer_list<std::pair<QWidget*, const char*>> disabled = {
      {c.pcAt, "PC/AT"},       {c.rs485, "RS485"},       {c.modem, "Modem"},
      {c.internet, "Internet"}, {c.wireless, "Wireless"}, {c.yes, "Yes"}};
  for (const auto& [widget, name] : disabled) {
    if (widget->isEnabled()) problems << QStringLiteral("%1 enabled").arg(QLatin1String(name));
  }
  if (!c.cancel->isHidden() || c.cancel->isEnabled()) problems << QStringLiteral("Cancel live");
  if (c.progress->value() != 0) problems << QStringLiteral("progress %1").arg(c.progress->value());
  if (QApplication::focusWidget() != c.download) problems << QStringLiteral("focus not on Download");
  return problems.join(QStringLiteral(", "));
}

// The window's ready timer, as the event dispatcher has it registered:
// its id, or -1 when it is not running.
inline int ReadyTimerId(MainDialog& dialog) {
  for (const QAbstractEventDispatcher::TimerInfo& timer :
       QAbstractEventDispatcher::instance()->registeredTimers(&dialog)) {
    if (timer.interval == 200) return timer.timerId;
  }
  return -1;
}

// Delivers `ticks` ticks of the ready timer at once, as though its periods
// had passed: the test does not wait for them.
inline bool TickReadyTimer(MainDialog& dialog, int ticks) {
  for (int i = 0; i < ticks; ++i) {
    const int id = ReadyTimerId(dialog);
    if (id < 0) return false;
    QTimerEvent tick(id);
    QCoreApplication::sendEvent(&dialog, &tick);
  }
  return true;
}

inline QStringList StatusLines(const MainDialog& dialog) {
  return dialog.controls().statusLog->Lines();
}

inline QString LastStatusLine(const MainDialog& dialog) {
  QStringList lines = StatusLines(dialog);
  return lines.isEmpty() ? QString() : lines.back();
}

// A pseudo-terminal whose far end nobody answers: a serial keypad that
// never presses shift+load.
class SilentPty {
 public:
  SilentPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
      path_ = ptsname(master_);
    }
  }
  ~SilentPty() {
    if (master_ >= 0) close(master_);
  }
  const std::string& path() const { return path_; }

 private:
  int master_ = -1;
  std::string path_;
};

}  // namespace lumivane::test
