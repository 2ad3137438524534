#pragma once
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "download/DownloadHost.h"
#include "station/DeviceMonitor.h"
#include "station/StationStatus.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace lumivane {

class Clock;
class HidBackend;
class StationTile;
struct StationSummary;

// The station in a window of its own, for the main window's choices when
// it opened: a tile per slot, the summary, the log's file (the StationLog
// setting), Start and Stop. A thin view over StationService: the station
// runs on a thread of its own, and each event it tells reaches the
// widgets only as a queued call on the GUI thread.
//
// Stop asks the transfers under way to finish and arms no more keypads;
// pressed again, it stops them. Closing the window stops the same way, and
// the window closes once the station has ended.
class StationWindow : public QWidget, private StationObserver {
  Q_OBJECT

 public:
  using MonitorOpener = std::function<std::unique_ptr<DeviceMonitor>(
      HidBackend& backend, Clock& clock, const std::function<void(const std::string&)>& notice)>;

  struct Setup {
    DownloadChoices choices;  // source, emulator file, keys, layer, link; portName the first RS232 port
    std::string settingsPath;  // StationLog is read from it and written to it
    HidBackend* hidBackend = nullptr;
    Clock* clock = nullptr;
    std::function<std::string(const std::string& name)> resolvePortName;
    // The USB device monitor; OpenDeviceMonitor when not set.
    MonitorOpener openMonitor;
    // Played on each outcome; a beep when not set.
    std::function<void(OutcomeResult result)> outcomeSound;
  };

  explicit StationWindow(Setup setup, QWidget* parent = nullptr);
  // Stops every download now and waits for the station to end.
  ~StationWindow() override;

  bool serving() const { return serving_; }
  // The tiles in the order their slots were found.
  const std::vector<StationTile*>& tiles() const { return tiles_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* stopButton() const { return stop_; }
  QLineEdit* portsField() const { return ports_; }
  QLineEdit* logField() const { return log_; }
  QString summaryText() const;
  QStringList noticeLines() const;

  void Start();
  void Stop();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Run;

  // StationObserver, on the station's thread: copies and queues.
  void AddChoices(QVBoxLayout* layout, bool rs232);
  void AddButtons(QVBoxLayout* layout);
  void AddTileArea(QVBoxLayout* layout);
  void OnEvent(const StationEvent& event, const StationSnapshot& snapshot) override;
  void ShowEvent(const StationEvent& event, const StationSnapshot& snapshot);
  void Served(const StationSummary& summary);
  void Notice(const QString& line);
  void ShowIdle();
  // The ports of the field, one slot each; empty when the link is USB.
  std::vector<std::string> Ports() const;

  Setup setup_;
  QLabel* image_ = nullptr;
  QLineEdit* ports_ = nullptr;
  QLineEdit* log_ = nullptr;
  QCheckBox* verify_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* summary_ = nullptr;
  QPlainTextEdit* notices_ = nullptr;
  QGridLayout* tileGrid_ = nullptr;
  std::vector<StationTile*> tiles_;
  std::unique_ptr<Run> run_;
  std::thread thread_;
  bool serving_ = false;
  int stopsAsked_ = 0;
  bool closeWhenServed_ = false;
};

}  // namespace lumivane
