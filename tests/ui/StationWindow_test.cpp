// The station window on the offscreen platform: its tiles for simulated
// USB keypads, the log setting, closing while a transfer runs, and the
// main window's "Station…" entry.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "DialogTestSupport.h"
#include "FakeDeviceMonitor.h"
#include "SharedManualClock.h"
#include "sim/SimulatedHid.h"
#include "station/StationLog.h"
#include "ui/StationTile.h"
#include "ui/StationWindow.h"

using namespace lumivane;
using namespace lumivane::test;

namespace {

KeypadDevice Keypad(int socket) {
  return {"/dev/hidraw" + std::to_string(socket), "usb-0:" + std::to_string(socket) + ":1.0",
          "SN" + std::to_string(socket)};
}

// Hands the window a monitor whose events the test adds.
class ForwardingMonitor : public DeviceMonitor {
 public:
  explicit ForwardingMonitor(FakeDeviceMonitor& fake) : fake_(fake) {}
  Failure Run(const EventSink& sink, std::stop_token stop) override { return fake_.Run(sink, stop); }

 private:
  FakeDeviceMonitor& fake_;
};

// Keypads on a simulated HID service, and a station window over them.
struct StationFixture {
  StationFixture() : hid(&clock) {}

  void Plug(int socket, sim::KeypadOptions options = {}) {
    const KeypadDevice device = Keypad(socket);
    hid.AddKeypad(sim::SimulatedHid::KeypadIdentity(device.node, device.port, device.serialNumber), options);
    monitor.Arrive(device);
  }
  StationWindow::Setup Setup() {
    StationWindow::Setup setup;
    setup.choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
    setup.choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
    setup.choices.keysText = "120";
    setup.choices.link = LinkKind::Usb;
    setup.settingsPath = settingsPath;
    setup.hidBackend = &hid;
    setup.clock = &clock;
    setup.openMonitor = [this](HidBackend&, Clock&, const std::function<void(const std::string&)>&) {
      return std::make_unique<ForwardingMonitor>(monitor);
    };
    setup.outcomeSound = [this](OutcomeResult result) { sounds.push_back(result); };
    return setup;
  }

  TempDir temp;
  std::string settingsPath = temp.path() + "Lumivane.ini";
  SharedManualClock clock;
  sim::SimulatedHid hid;
  FakeDeviceMonitor monitor;
  std::vector<OutcomeResult> sounds;
};

QStringList Verdicts(const StationWindow& window) {
  QStringList verdicts;
  for (const StationTile* tile : window.tiles()) verdicts << tile->verdict();
  return verdicts;
}

}  // namespace

class StationWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void tilesShowEachOutcomeUntilTheKeypadIsUnplugged() {
    StationFixture fixture;
    sim::KeypadOptions stuck;
    stuck.stuckBytes = {0x0004};
    fixture.Plug(1);
    fixture.Plug(2, stuck);
    fixture.Plug(3);
    StationWindow window(fixture.Setup());
    window.show();
    const std::string log = fixture.temp.path() + "station.log";
    window.logField()->setText(QString::fromStdString(log));
    window.startButton()->click();
    QVERIFY(window.serving());
    QTRY_COMPARE(Verdicts(window), (QStringList{"PASS", "FAIL", "PASS"}));

    const StationTile* failed = window.tiles()[1];
    QCOMPARE(failed->title(), QStringLiteral("usb-0:2:1.0 (SN2)"));
    QCOMPARE(failed->activity(), QStringLiteral("remove the keypad"));
    QCOMPARE(failed->reason(), QStringLiteral("Verify failed at 0x0004: wrote 0x01, read 0xFF (1 byte differs)"));
    QCOMPARE(window.tiles()[0]->reason(), QString());
    QCOMPARE(window.tiles()[0]->progress()->value(), 609);
    QCOMPARE(fixture.sounds.size(), std::size_t{3});
    QVERIFY(window.summaryText().startsWith(QStringLiteral("2 passed, 1 failed, ")));
    QCOMPARE(SettingsStore(fixture.settingsPath).Read("Quintrel", "StationLog", ""), log);

    // Unplugged, the tile goes; plugged in again, it is served anew.
    fixture.monitor.Leave(Keypad(1));
    QTRY_VERIFY(window.tiles()[0]->isHidden());
    fixture.monitor.Arrive(Keypad(1));
    QTRY_VERIFY(!window.tiles()[0]->isHidden());
    QTRY_COMPARE(fixture.sounds.size(), std::size_t{4});
    QCOMPARE(window.tiles()[0]->verdict(), QStringLiteral("PASS"));

    window.stopButton()->click();
    QTRY_VERIFY(!window.serving());
    QVERIFY(window.startButton()->isEnabled());
    QCOMPARE(window.noticeLines().filter(QStringLiteral("Station: 3 passed, 1 failed, ")).size(), 1);
    StationLogContents logged;
    LogFailure failure;
    QVERIFY(ReadStationLog(log, &logged, &failure));
    QCOMPARE(logged.records.size(), std::size_t{4});
  }

  // A log that cannot be opened stops the station before any keypad is touched.
  void aLogThatCannotBeOpenedServesNoKeypad() {
    StationFixture fixture;
    fixture.Plug(1);
    StationWindow window(fixture.Setup());
    window.logField()->setText(QString::fromStdString(fixture.temp.path()));
    window.startButton()->click();
    QVERIFY(!window.serving());
    QVERIFY(window.noticeLines().last().startsWith(
        QString::fromStdString("Unable to write the log to " + fixture.temp.path() + ": ")));
    QVERIFY(fixture.hid.openAttempts().empty());
  }

  // Closed during a transfer, the window stays until that transfer has
  // finished, and then goes.
  void closingLetsTheTransferFinishFirst() {
    StationFixture fixture;
    fixture.Plug(1);
    fixture.hid.BlockReportsAfter(Keypad(1).node, 60);
    QPointer<StationWindow> window = new StationWindow(fixture.Setup());
    window->show();
    window->startButton()->click();
    QTRY_COMPARE(fixture.hid.BlockedCalls(Keypad(1).node), std::size_t{1});
    window->close();
    QTRY_VERIFY(window->noticeLines().contains(QStringLiteral("Stopping: no more keypads are armed")));
    QVERIFY(window->isVisible());
    fixture.hid.ReleaseBlockedReports(Keypad(1).node);
    QTRY_VERIFY(window.isNull());
    QCOMPARE(fixture.sounds, (std::vector<OutcomeResult>{OutcomeResult::Passed}));
  }

  void theMainWindowsStationEntryOpensItAndHoldsTheDownloadBack() {
    DialogFixture dialogFixture;
    auto dialog = dialogFixture.MakeDialog();
    dialog->show();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dialog->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(dialog.get(), &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu != nullptr);
    QCOMPARE(menu->actions().value(1)->text(), QStringLiteral("&Station\u2026"));
    menu->actions().value(1)->trigger();
    menu->close();

    QPointer<StationWindow> station = dialog->station();
    QVERIFY(station != nullptr);
    QVERIFY(station->isVisible());
    QVERIFY(!dialog->controls().download->isEnabled());
    dialog->StartDownload();
    QVERIFY(!dialog->chain().IsRunning());
    station->close();
    QTRY_VERIFY(station.isNull());
    QVERIFY(dialog->controls().download->isEnabled());
  }
};

QTEST_MAIN(StationWindowTest)
#include "StationWindow_test.moc"
