#include <QSignalSpy>
#include <QTest>

#include <cstdio>

#include "DialogTestSupport.h"
#include "ManualClock.h"
#include "sim/PtyKeypad.h"

using namespace lumivane;
using namespace lumivane::test;

namespace {

constexpr int kLongWaitMs = 30000;  // an upper bound for slow machines, not a speed check
const QString kPressLine = QStringLiteral("Press (shift+load) on the Quintrel to continue");
const std::string kOutZeroSource = "<HEADER>\r\n<DELAY 5>\r\n<01>ab\r\n<02>\r\n<OUT 0>\r\n";
const QString kOutZeroDetail = QStringLiteral(
    "bad.pos:5:7: <OUT 0> sends nothing: an OUT number must be 1 to 255 (its low 8 bits must not be 0)");

// Every input of the window: disabled during a download.
QList<QWidget*> Inputs(const MainDialogControls& c) {
  return {c.download, c.browse,   c.edit,   c.pcAt,      c.usb,  c.rs232, c.rs485,    c.modem,
          c.internet, c.wireless, c.layer1, c.layer2, c.emulators, c.keys, c.comPorts, c.path};
}

void VerifyIdle(const MainDialogControls& c) {
  for (QWidget* w : {static_cast<QWidget*>(c.download), static_cast<QWidget*>(c.browse),
                     static_cast<QWidget*>(c.edit), static_cast<QWidget*>(c.usb),
                     static_cast<QWidget*>(c.rs232), static_cast<QWidget*>(c.layer1),
                     static_cast<QWidget*>(c.layer2), static_cast<QWidget*>(c.emulators),
                     static_cast<QWidget*>(c.keys), static_cast<QWidget*>(c.comPorts),
                     static_cast<QWidget*>(c.path)}) {
    QVERIFY2(w->isEnabled(), qPrintable(w->objectName() + w->metaObject()->className()));
  }
  for (QWidget* w : {static_cast<QWidget*>(c.pcAt), static_cast<QWidget*>(c.rs485),
                     static_cast<QWidget*>(c.modem), static_cast<QWidget*>(c.internet),
                     static_cast<QWidget*>(c.wireless), static_cast<QWidget*>(c.yes)}) {
    QVERIFY(!w->isEnabled());
  }
  QVERIFY(c.cancel->isHidden() && !c.cancel->isEnabled());
  QCOMPARE(c.progress->value(), 0);
}

std::string ReadAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

}  // namespace

class MainDialogDownloadTest : public QObject {
  Q_OBJECT

 private slots:
  void failedTranslationReturnsToIdleWithPcAtStillDisabled() {
    DialogFixture fixture;
    const TempDir temp;
    const std::string dir = temp.path();
    WriteFile(dir + "bad.pos", kOutZeroSource);
    fixture.WriteSettings("[Quintrel]\nLinkWith=__PC/AT__\nFileToDownload=" + dir + "bad.pos\n");
    auto dialog = fixture.MakeDialog();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    const MainDialogControls& c = dialog->controls();

    c.download->click();
    for (QWidget* input : Inputs(c)) QVERIFY(!input->isEnabled());
    QVERIFY(c.cancel->isVisible() && c.cancel->isEnabled());
    QCOMPARE(QApplication::focusWidget(), c.cancel);
    QCOMPARE(c.cancel->geometry(), c.download->geometry());

    // The status line, then the detail line that says where and why.
    QTRY_COMPARE_WITH_TIMEOUT(LastStatusLine(*dialog), kOutZeroDetail, kLongWaitMs);
    const QStringList lines = StatusLines(*dialog);
    QCOMPARE(lines.at(lines.size() - 2), QStringLiteral("Translation error for the specified line"));
    QCOMPARE(c.linesTranslated->text(), QStringLiteral("00005"));
    VerifyIdle(c);
    QVERIFY(c.pcAt->isChecked());
    QCOMPARE(QApplication::focusWidget(), c.download);
    QVERIFY(dialog->isVisible());
  }

  void cancelWhileWaitingForTheKeypad() {
    SilentPty pty;
    QVERIFY(!pty.path().empty());
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nLinkWith=RS232\nCOMx=" + pty.path() + "\n");
    MainDialog::Setup setup = fixture.MakeSetup();
    setup.serialDevices = {pty.path()};
    auto dialog = fixture.MakeDialog(std::move(setup));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    const MainDialogControls& c = dialog->controls();
    QCOMPARE(c.comPorts->currentText(), QString::fromStdString(pty.path()));

    c.download->click();
    QTRY_COMPARE_WITH_TIMEOUT(LastStatusLine(*dialog), kPressLine, kLongWaitMs);
    // Still waiting after a few ready-timer ticks.
    QVERIFY(TickReadyTimer(*dialog, 3));
    QCOMPARE(LastStatusLine(*dialog), kPressLine);
    QVERIFY(c.cancel->isVisible() && c.cancel->isEnabled());
    for (QWidget* input : Inputs(c)) QVERIFY(!input->isEnabled());
    QCOMPARE(c.progress->maximum(), 0);  // the bar runs as a busy indicator

    QTest::mouseClick(c.cancel, Qt::LeftButton);
    QCOMPARE(LastStatusLine(*dialog), QStringLiteral("Operation cancelled by user"));
    QVERIFY(c.progress->maximum() > 0);
    VerifyIdle(c);
    QVERIFY(!c.path->text().isEmpty());
    // The port is free again: the next download can open it.
    c.download->click();
    QTRY_COMPARE_WITH_TIMEOUT(LastStatusLine(*dialog), kPressLine, kLongWaitMs);
    c.cancel->click();
    VerifyIdle(c);

    // Escape closes the window even in the middle of a download.
    c.download->click();
    QTRY_COMPARE_WITH_TIMEOUT(LastStatusLine(*dialog), kPressLine, kLongWaitMs);
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    QTest::keyClick(c.cancel, Qt::Key_Escape);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!dialog->isVisible());
  }

  void automaticModeClosesAfterFailureWithStatusOne() {
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nExecRun=auto\nFileToDownload=/nonexistent/missing.pos\n");
    std::FILE* echo = std::tmpfile();
    MainDialog::Setup setup = fixture.MakeSetup();
    setup.statusEcho = echo;
    auto dialog = fixture.MakeDialog(std::move(setup));
    QSignalSpy finished(dialog.get(), &QDialog::finished);

    QVERIFY(dialog->autoRun());
    QVERIFY(finished.wait(kLongWaitMs));
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->AutoRunExitCode(), 1);
    // The failure's line, then the one naming the file and the reason.
    const QStringList lines = StatusLines(*dialog);
    QCOMPARE(lines.value(lines.size() - 2), QStringLiteral("Unable to open file for Download"));
    QCOMPARE(lines.value(lines.size() - 1),
             QStringLiteral("/nonexistent/missing.pos: No such file or directory"));
    // Every line went to the output as well, the start-up lines first.
    QString expected = StatusLines(*dialog).join('\n') + '\n';
    QCOMPARE(QString::fromStdString(ReadAll(echo)), expected);
    QCOMPARE(StatusLines(*dialog).size(), 6);
    std::fclose(echo);
  }

  void automaticModeWritesTheTranslationErrorDetail() {
    DialogFixture fixture;
    const TempDir temp;
    WriteFile(temp.path() + "bad.pos", kOutZeroSource);
    fixture.WriteSettings("[Quintrel]\nExecRun=auto\nFileToDownload=" + temp.path() + "bad.pos\n");
    std::FILE* echo = std::tmpfile();
    MainDialog::Setup setup = fixture.MakeSetup();
    setup.statusEcho = echo;
    auto dialog = fixture.MakeDialog(std::move(setup));
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    QVERIFY(finished.wait(kLongWaitMs));
    QCOMPARE(dialog->AutoRunExitCode(), 1);
    const QString output = QString::fromStdString(ReadAll(echo));
    QVERIFY2(output.endsWith("Translation error for the specified line\n" + kOutZeroDetail + "\n"),
             qPrintable(output));
    std::fclose(echo);
  }

  void automaticModeClosesAfterSuccessWithStatusZero() {
    sim::PtyKeypad keypad;
    const ChannelError started = keypad.Start();
    QVERIFY2(started.ok(), started.Reason().c_str());
    DialogFixture fixture;
    const TempDir temp;
    const std::string dir = temp.path();
    WriteFile(dir + "small.pos", "<HEADER>\r\n<DELAY 5>\r\n<01>ab\r\n");
    fixture.WriteSettings("[Quintrel]\nExecRun=Auto\nLinkWith=RS232\nCOMx=" + keypad.devicePath() +
                          "\nFileToDownload=" + dir + "small.pos\nLayer=2\n");
    MainDialog::Setup setup = fixture.MakeSetup();
    setup.serialDevices = {keypad.devicePath()};
    // The pauses between data bytes pass on a manual clock; the serial
    // port's time limits stay real, as the keypad answers from its thread.
    ManualClock pauses;
    setup.channels.clock = &pauses;
    auto dialog = fixture.MakeDialog(std::move(setup));
    QSignalSpy finished(dialog.get(), &QDialog::finished);

    QVERIFY(finished.wait(kLongWaitMs));
    keypad.Stop();
    QCOMPARE(LastStatusLine(*dialog), QStringLiteral("DOWNLOAD SUCCESSFUL"));
    QCOMPARE(dialog->AutoRunExitCode(), 0);
    QVERIFY(!dialog->isVisible());
    QVERIFY(StatusLines(*dialog).contains(kPressLine));
    QVERIFY(!dialog->controls().bytesTransferred->text().isEmpty());
  }
};

QTEST_MAIN(MainDialogDownloadTest)
#include "MainDialogDownload_test.moc"
