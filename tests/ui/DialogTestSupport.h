#pragma once
// Shared set-up for the window tests: a dialog with its settings file in a
// fresh temporary directory and the real serial port as its only channel.
#include <QApplication>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "TestPaths.h"
#include "link/SerialPort.h"
#include "ui/MainDialog.h"
#include "ui/StatusLog.h"

namespace lumivane::test {

// The program directory holds the emulators and the sample; the settings
// file lives in a temporary directory of the test's own.
struct DialogFixture {
  std::string settingsDir = MakeTempDir();
  std::string settingsPath = settingsDir + "Lumivane.ini";
  SerialPort serialPort;
  std::vector<std::pair<QString, QStringList>> startedProcesses;
  QString nextChosenFile;

  MainDialog::Setup MakeSetup(const std::string& programDirectory = ProgramDir()) {
    MainDialog::Setup setup;
    setup.paths.programDirectory = programDirectory;
    setup.paths.executableName = "Lumivane";
    setup.paths.settingsPath = settingsPath;
    setup.channels.serialPort = &serialPort;
    setup.chooseSourceFile = [this](QWidget*) { return nextChosenFile; };
    setup.startDetached = [this](const QString& program, const QStringList& arguments) {
      startedProcesses.emplace_back(program, arguments);
      return true;
    };
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
