// What the user and the system do to the window during a transfer: close
// requests wait for the outcome, the about box and the menu do not pause
// the transfer, and a signal stops it after the current byte.
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "DialogTestSupport.h"
#include "sim/SimulatedHid.h"

using namespace lumivane;
using namespace lumivane::test;

namespace {

constexpr int kLongWaitMs = 30000;  // an upper bound for slow machines, not a speed check
const QString kSuccessLine = QStringLiteral("DOWNLOAD SUCCESSFUL");

enum class Action { Escape, CloseBox, F1, ContextMenu, Terminate };

// The window's signal channel, fed by hand: a pipe that carries what a
// signalfd would.
struct FakeSignals {
  int fds[2] = {-1, -1};
  FakeSignals() {
    if (pipe2(fds, O_NONBLOCK) != 0) fds[0] = fds[1] = -1;
  }
  ~FakeSignals() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  void Send(int signalNumber) {
    signalfd_siginfo info{};
    info.ssi_signo = static_cast<std::uint32_t>(signalNumber);
    if (write(fds[1], &info, sizeof info) != static_cast<ssize_t>(sizeof info)) fds[1] = -1;
  }
};

}  // namespace

class MainDialogTransferTest : public QObject {
  Q_OBJECT

 private slots:
  void actionDuringTheTransfer_data() {
    QTest::addColumn<int>("action");
    QTest::newRow("Esc") << static_cast<int>(Action::Escape);
    QTest::newRow("close box") << static_cast<int>(Action::CloseBox);
    QTest::newRow("F1") << static_cast<int>(Action::F1);
    QTest::newRow("context menu") << static_cast<int>(Action::ContextMenu);
    QTest::newRow("SIGTERM") << static_cast<int>(Action::Terminate);
  }

  void actionDuringTheTransfer() {
    QFETCH(int, action);
    const Action what = static_cast<Action>(action);
    const TempDir programTemp;
    const std::string programDir = MakeProgramDir(programTemp, {"English_US"});
    QVERIFY(!programDir.empty());
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nLinkWith=USB\n");
    sim::SimulatedHid hid;
    sim::KeypadModel& keypad = hid.AddKeypad("/dev/hidraw3");
    FakeSignals signalPipe;
    MainDialog::Setup setup = fixture.MakeSetup(programDir);
    setup.channels.hidBackend = &hid;
    setup.signalFd = signalPipe.fds[0];
    auto dialog = fixture.MakeDialog(std::move(setup));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    QString lastLineAtClose;
    connect(dialog.get(), &QDialog::finished, this, [&] { lastLineAtClose = LastStatusLine(*dialog); });

    // Acts once, from inside the transfer (its events run every fourth byte).
    int bytesAtAction = -1;
    bool visibleAfterAction = false;
    QTimer inside;
    connect(&inside, &QTimer::timeout, this, [&] {
      if (bytesAtAction >= 0 || !dialog->chain().IsTransferring()) return;
      bytesAtAction = dialog->controls().bytesTransferred->text().toInt();
      switch (what) {
        case Action::Escape: QTest::keyClick(dialog.get(), Qt::Key_Escape); break;
        case Action::CloseBox: dialog->close(); break;
        case Action::F1: QTest::keyClick(dialog.get(), Qt::Key_F1); break;
        case Action::ContextMenu: {
          QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dialog->mapToGlobal(QPoint(5, 5)));
          QApplication::sendEvent(dialog.get(), &event);
          break;
        }
        case Action::Terminate: signalPipe.Send(SIGTERM); break;
      }
      visibleAfterAction = dialog->isVisible();
    });
    inside.start(0);
    // A modal loop would hold the transfer; this closes whatever it shows
    // after a while, so that such a fault fails the test instead of hanging it.
    QTimer::singleShot(5000, dialog.get(), [] {
      if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });

    dialog->controls().download->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->chain().IsRunning(), kLongWaitMs);
    inside.stop();
    QVERIFY2(bytesAtAction >= 0, "the action came during the transfer");
    const int length = dialog->chain().builder().imageLength();
    QVERIFY(bytesAtAction < length);
    QVERIFY2(visibleAfterAction, "the window stays while the transfer runs");
    const QStringList lines = StatusLines(*dialog);

    if (what == Action::Terminate) {
      // Stopped after the current byte: no end command, the outcome said, then closed.
      QCOMPARE(lines.mid(lines.size() - 2),
               (QStringList{QStringLiteral("Operation cancelled by user"),
                            QStringLiteral("The Quintrel holds an incomplete image: download it again")}));
      QVERIFY(!keypad.IsFinished());
      QVERIFY(finished.count() == 1 || finished.wait(kLongWaitMs));
      QCOMPARE(lastLineAtClose, lines.back());
      QCOMPARE(dialog->ExitStatus(), 128 + SIGTERM);
      return;
    }
    // The transfer went on to the end and reported it.
    QCOMPARE(lines.back(), kSuccessLine);
    QVERIFY(keypad.IsFinished());
    QCOMPARE(dialog->controls().bytesTransferred->text().toInt(), length);
    if (what == Action::F1 || what == Action::ContextMenu) {
      // Still open when the transfer ended: it never held the transfer up.
      QWidget* shown = what == Action::F1 ? QApplication::activeModalWidget()
                                          : QApplication::activePopupWidget();
      QVERIFY(shown != nullptr && shown->isVisible());
      shown->close();
      QVERIFY(dialog->isVisible());
      QCOMPARE(finished.count(), 0);
      return;
    }
    // The close took effect once the outcome was in the status log.
    QVERIFY(finished.count() == 1 || finished.wait(kLongWaitMs));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(lastLineAtClose, kSuccessLine);
    QVERIFY(!dialog->isVisible());
  }

  void signalWhileWaitingOrIdleClosesWithItsStatus() {
    DialogFixture fixture;
    SilentPty pty;
    QVERIFY(!pty.path().empty());
    fixture.WriteSettings("[Quintrel]\nLinkWith=RS232\nCOMx=" + pty.path() + "\nWaitLimit=60\n");
    FakeSignals signalPipe;
    MainDialog::Setup setup = fixture.MakeSetup();
    setup.serialDevices = {pty.path()};
    setup.signalFd = signalPipe.fds[0];
    auto dialog = fixture.MakeDialog(std::move(setup));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    dialog->controls().download->click();
    QTRY_COMPARE_WITH_TIMEOUT(LastStatusLine(*dialog),
                              QStringLiteral("Press (shift+load) on the Quintrel to continue"), kLongWaitMs);
    signalPipe.Send(SIGINT);
    QVERIFY(finished.wait(kLongWaitMs));
    QCOMPARE(LastStatusLine(*dialog), QStringLiteral("Operation cancelled by user"));
    QVERIFY(!dialog->chain().IsRunning());
    QCOMPARE(dialog->ExitStatus(), 128 + SIGINT);
  }

  // Verify=1: the verify pass is the progress bar's second pass, and its
  // outcome decides the exit status of automatic mode.
  void verifyFromTheSettings_data() {
    QTest::addColumn<bool>("stuck");
    QTest::newRow("sound keypad") << false;
    QTest::newRow("stuck byte") << true;
  }
  void verifyFromTheSettings() {
    QFETCH(bool, stuck);
    const TempDir programTemp;
    const std::string programDir = MakeProgramDir(programTemp, {"English_US"});
    QVERIFY(!programDir.empty());
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nExecRun=Auto\nLinkWith=USB\nVerify=1\n");
    sim::SimulatedHid hid;
    sim::KeypadOptions options;
    if (stuck) options.stuckBytes = {0x0004};
    sim::KeypadModel& keypad = hid.AddKeypad("/dev/hidraw3", options);
    MainDialog::Setup setup = fixture.MakeSetup(programDir);
    setup.channels.hidBackend = &hid;
    auto dialog = fixture.MakeDialog(std::move(setup));
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    QVERIFY(finished.wait(kLongWaitMs));
    const QStringList lines = StatusLines(*dialog);
    if (stuck) {
      QCOMPARE(lines.back(), QStringLiteral("Verify failed at 0x0004: wrote 0x01, read 0xFF (1 byte differs)"));
      QCOMPARE(dialog->ExitStatus(), 1);
    } else {
      QCOMPARE(lines.mid(lines.size() - 2), (QStringList{QStringLiteral("Verified 609 bytes"), kSuccessLine}));
      QCOMPARE(dialog->ExitStatus(), 0);
    }
    QVERIFY(keypad.IsFinished());
    QCOMPARE(dialog->controls().progress->maximum(), 609);
    QCOMPARE(dialog->controls().bytesTransferred->text(), QStringLiteral("00609"));
  }

  void waitLimitFromTheSettingsEndsTheWait() {
    DialogFixture fixture;
    SilentPty pty;
    QVERIFY(!pty.path().empty());
    fixture.WriteSettings("[Quintrel]\nExecRun=Auto\nLinkWith=RS232\nCOMx=" + pty.path() +
                          "\nWaitLimit=0.4\n");
    MainDialog::Setup setup = fixture.MakeSetup();
    setup.serialDevices = {pty.path()};
    auto dialog = fixture.MakeDialog(std::move(setup));
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    QVERIFY(finished.wait(kLongWaitMs));
    QCOMPARE(StatusLines(*dialog).mid(StatusLines(*dialog).size() - 2),
             (QStringList{QStringLiteral("Operation cancelled by user"),
                          QStringLiteral("The wait limit of 0.4 s was reached")}));
    QCOMPARE(dialog->ExitStatus(), 1);
  }
};

QTEST_MAIN(MainDialogTransferTest)
#include "MainDialogTransfer_test.moc"
