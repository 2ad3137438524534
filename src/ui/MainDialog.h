#pragma once
#include <QBasicTimer>
#include <QDialog>
#include <QPointer>
#include <QShortcut>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/DesktopEditor.h"
#include "app/LaunchPaths.h"
#include "app/SettingsStore.h"
#include "download/DownloadChain.h"
#include "download/DownloadHost.h"
#include "link/Clock.h"
#include "ui/MainDialogControls.h"
#include "ui/StationWindow.h"

namespace lumivane {

class AboutDialog;
class KeyPressCollector;

// The program's window: the controls, the settings they carry from run to
// run, and the Qt side of a download (message queue, ready timer, cursor,
// key presses) that the download chain runs on.
class MainDialog : public QDialog, public DownloadHost {
  Q_OBJECT

 public:
  struct Setup {
    LaunchPaths paths;
    std::optional<std::string> commandLineSource;
    // Serial devices offered in the port list beside COM1..COM4.
    std::vector<std::string> serialDevices;
    LinkChannels channels;
    // Browse: returns the chosen file, or an empty text when cancelled.
    std::function<QString(QWidget* parent)> chooseSourceFile;
    // Edit: starts a process without waiting for it; returns 0, or the
    // errno of why it could not be started.
    std::function<std::error_code(const QString& program, const QStringList& arguments)> startDetached;
    // Edit without an Editor setting: the desktop's default editor. Taken
    // from the environment when it has no handler query.
    DesktopLookup desktop;
    // Automatic mode copies every status line here (flushed) as it is added.
    std::FILE* statusEcho = stdout;
    // A signalfd for the signals that end the program (SignalChannel); -1
    // for none.
    int signalFd = -1;
    // The station window's USB device monitor; udev's (or polling) when not set.
    StationWindow::MonitorOpener openDeviceMonitor;
  };

  explicit MainDialog(Setup setup, QWidget* parent = nullptr);
  ~MainDialog() override;

  bool autoRun() const { return autoRun_; }
  // Exit status of an automatic run: 0 after "DOWNLOAD SUCCESSFUL", else 1.
  int AutoRunExitCode() const;
  // The program's exit status: 128 + the number of a signal that ended it,
  // else that of an automatic run, else 0.
  int ExitStatus() const;
  const MainDialogControls& controls() const { return controls_; }
  const DownloadChain& chain() const { return *chain_; }

  void StartDownload();
  void CancelDownload();
  void OnYes();
  void Browse();
  void Edit();
  // Shows the about box without a nested event loop: nothing the user does
  // may pause a transfer.
  void ShowAbout();
  // Opens the station window for the current choices (or raises it); the
  // window's own download controls stay disabled while it is open. Not
  // while a download runs.
  void ShowStation();
  StationWindow* station() const { return station_; }
  // A close request (Esc, the close box, the window manager) during a
  // transfer takes effect once the download has reported its outcome; one
  // during the wait for the keypad cancels the download and closes.
  void done(int result) override;

  // DownloadHost.
  DownloadChoices ReadChoices() override;
  void Post(DownloadMessage message) override;
  void StartReadyTimer(int periodMs) override;
  void StopReadyTimer() override;
  void DeliverStopRequests() override;
  int WaitKeyPress(std::chrono::milliseconds timeout) override;
  std::vector<int> DiscardTypedKeys() override;
  // The download's events, mapped to the controls.
  void OnPhase(const PhaseChange& change) override;
  void OnLine(const std::string& line, LineKind kind) override;
  void OnLinesTranslated(int lines) override;
  void OnProgress(const DownloadProgress& progress) override;
  void OnActivity(DownloadActivity activity) override;
  void OnOutcome(const DownloadOutcome& outcome) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void customEvent(QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void ConnectControls();
  void InitializeFromSettings();
  void AddLine(const std::string& line);
  void WriteSetting(const char* key, const QString& value);
  void SelectByPrefix(QComboBox* list, const std::string& value);
  void SelectPort(const std::string& value);
  void OnLinkClicked(int linkId);
  void ShowPortControls();
  void HidePortControls();
  void SelectStoredPort();
  // SIGINT, SIGTERM or SIGHUP: stop the download (a transfer after the
  // current byte) and close.
  void HandleSignal(int signalNumber);
  void CloseIfPending();
  // Control changes at the start of a download: Cancel enabled, shown and
  // focused in place of Download; every input disabled.
  void ShowDownloadControls();
  // Control changes at the end of a download: the idle state, "&Yes" disabled.
  void ShowIdleControls();
  void SetYesEnabled(bool enabled);
  void SetBytesTransferred(std::uint32_t bytes);
  void SetProgressRange(int maximum);
  void SetProgressPosition(int position);
  // While the keypad is awaited the progress bar runs as a busy indicator.
  void ShowWaitingForKeypad(bool waiting);
  void SetWaitCursor(bool on);
  // Lets at most one pending event through, so the window stays painted.
  void DispatchOnePendingEvent();
  // Automatic mode: close the window (end the program) once control returns.
  void RequestClose();
  void SetStationOpen(bool open);

  // The window's waits and the download's run on setup_.channels.clock;
  // this one stands in when the setup gives none.
  SteadyClock steadyClock_;
  Setup setup_;
  SettingsStore settings_;
  MainDialogControls controls_;
  KeyPressCollector* keyCollector_ = nullptr;
  QShortcut* yesShortcut_ = nullptr;
  QShortcut* altYesShortcut_ = nullptr;
  QBasicTimer readyTimer_;
  bool waitCursorShown_ = false;
  // While the keypad is awaited the bar runs as a busy indicator; its range
  // and position are kept for when the transfer starts.
  bool progressBusy_ = false;
  int progressMaximum_ = 100;
  int progressPosition_ = 0;
  bool autoRun_ = false;
  std::optional<int> pendingClose_;  // the result of a close that waits for the transfer's outcome
  bool closed_ = false;
  int endingSignal_ = 0;
  QPointer<AboutDialog> about_;
  QPointer<StationWindow> station_;
  bool stationOpen_ = false;
  std::unique_ptr<DownloadChain> chain_;
};

}  // namespace lumivane
