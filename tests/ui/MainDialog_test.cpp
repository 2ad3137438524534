#include <QAbstractButton>
#include <QDir>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cerrno>

#include "DialogTestSupport.h"
#include "link/KeyboardLine.h"

using namespace lumivane;
using namespace lumivane::test;

// A PC/AT line that takes every setting and never answers.
class QuietKeyboardLine : public KeyboardLine {
 public:
  std::string Name() const override { return "/dev/input/event3"; }
  ChannelError Open() override { return {}; }
  void Close() override {}
  ChannelError SetTypematic(std::uint8_t, std::uint8_t) override { return {}; }
};

class MainDialogTest : public QObject {
  Q_OBJECT

 private:
  // Shows the dialog and makes it the active window, so focus moves count.
  static void ShowActive(MainDialog& dialog) {
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
  }

  static QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
  }

 private slots:
  void startsWithDefaultsAndCreatesNoSettingsFile() {
    DialogFixture fixture;
    const TempDir temp;
    const std::string programDir = temp.path();
    auto dialog = fixture.MakeDialog(fixture.MakeSetup(programDir));
    ShowActive(*dialog);
    const MainDialogControls& c = dialog->controls();

    QCOMPARE(StatusLines(*dialog),
             (QStringList{"Executed from:", QString::fromStdString(programDir + "Lumivane"),
                          "Loaded initialization file from:",
                          QString::fromStdString(fixture.settingsPath)}));
    QCOMPARE(c.path->text(), QString::fromStdString(programDir + "Kt90NewConfig.pos"));
    QCOMPARE(c.emulators->currentText(), QStringLiteral("English_US"));
    QCOMPARE(c.keys->currentText(), QStringLiteral("120"));
    QVERIFY(c.layer1->isChecked() && !c.layer2->isChecked());
    QVERIFY(c.usb->isChecked());
    QVERIFY(!c.comPorts->isVisible() && !c.portNote->isVisible() && c.noSetupNote->isVisible());
    QCOMPARE(QApplication::focusWidget(), c.browse);
    QVERIFY(!dialog->autoRun());
    QVERIFY(!fixture.SettingsFileExists());
  }

  void windowHasTheTemplateControls() {
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nLinkWith=RS232\n");
    auto dialog = fixture.MakeDialog();
    const MainDialogControls& c = dialog->controls();

    QCOMPARE(dialog->windowTitle(), QStringLiteral("Zoret - Lumivane"));
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QCOMPARE(Items(c.emulators).mid(0, 4), (QStringList{"ANSI", "Arabic", "ASCII", "Belgian"}));
    QCOMPARE(Items(c.emulators).size(), 20);
    QCOMPARE(Items(c.keys), (QStringList{"120", "360"}));
    QCOMPARE(Items(c.comPorts), (QStringList{"COM1", "COM2", "COM3", "COM4"}));
    for (QAbstractButton* off : {c.pcAt, c.rs485, c.modem, c.internet, c.wireless}) {
      QVERIFY(!off->isEnabled());
    }
    QVERIFY(c.yes->isDefault() && !c.yes->isEnabled() && c.yes->isHidden());
    QVERIFY(c.cancel->isHidden());
    QCOMPARE(c.cancel->geometry(), c.download->geometry());
    QCOMPARE(c.portNote->pos(), c.noSetupNote->pos());
    QCOMPARE(c.rs232->text(), QStringLiteral("RS&232"));

    // Tab order follows the template: buttons, layers, path, links, lists.
    QList<QWidget*> expected = {c.browse, c.edit, c.download, c.layer1, c.path, c.usb, c.rs232,
                                c.comPorts, c.emulators, c.keys};
    QList<QWidget*> chain;
    for (QWidget* w = c.browse; chain.size() < expected.size(); w = w->nextInFocusChain()) {
      if (expected.contains(w)) chain << w;
    }
    QCOMPARE(chain, expected);
  }

  void restoresStoredChoicesWithTheirQuirks() {
    struct Case {
      const char* settings;
      std::function<void(const MainDialogControls&)> check;
    };
    const std::vector<Case> cases = {
        {"[Quintrel]\nLinkWith=rs232\nCOMx=com3\n",
         [](const MainDialogControls& c) {
           QVERIFY(c.rs232->isChecked());
           QVERIFY(!c.comPorts->isHidden() && !c.portNote->isHidden() && c.noSetupNote->isHidden());
           QCOMPARE(c.comPorts->currentText(), QStringLiteral("COM3"));
         }},
        {"[Quintrel]\nLinkWith=RS232\nCOMx=/dev/pts/7\n",
         [](const MainDialogControls& c) {
           // A device path is offered and selected, so the download opens it.
           QCOMPARE(c.comPorts->currentText(), QStringLiteral("/dev/pts/7"));
           QCOMPARE(c.comPorts->itemText(0), QStringLiteral("/dev/pts/7"));
         }},
        {"[Quintrel]\nLinkWith=RS232\nCOMx=ttyS9\n",
         [](const MainDialogControls& c) {
           QCOMPARE(c.comPorts->currentIndex(), -1);
           QCOMPARE(c.comPorts->count(), 4);
         }},
        {"[Quintrel]\nLinkWith=RS485\n",
         [](const MainDialogControls& c) {
           QVERIFY(c.rs485->isChecked());
           QVERIFY(c.comPorts->isHidden());
         }},
        {"[Quintrel]\nLinkWith=PC/AT\n", [](const MainDialogControls& c) { QVERIFY(c.usb->isChecked()); }},
        {"[Quintrel]\nLinkWith=__PC/AT__\n",
         [](const MainDialogControls& c) { QVERIFY(c.pcAt->isChecked()); }},
        {"[Quintrel]\nEmulation=Eng\nKeys=3\nLayer=2\n",
         [](const MainDialogControls& c) {
           QCOMPARE(c.emulators->currentText(), QStringLiteral("English_UK"));
           QCOMPARE(c.keys->currentText(), QStringLiteral("360"));
           QVERIFY(c.layer2->isChecked());
         }},
        {"[Quintrel]\nEmulation=Klingon\nFileToDownload=\n",
         [](const MainDialogControls& c) {
           QCOMPARE(c.emulators->currentIndex(), -1);
           QCOMPARE(c.emulators->currentText(), QString());
           QCOMPARE(c.path->text(), QString());
         }},
    };
    for (const Case& testCase : cases) {
      DialogFixture fixture;
      fixture.WriteSettings(testCase.settings);
      auto dialog = fixture.MakeDialog();
      testCase.check(dialog->controls());
      if (QTest::currentTestFailed()) qWarning("with settings: %s", testCase.settings);
    }
  }

  void commandLineSourceIsStoredAtOnce() {
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nFileToDownload=old.pos\n");
    MainDialog::Setup setup = fixture.MakeSetup();
    setup.commandLineSource = "relative/new.pos";
    auto dialog = fixture.MakeDialog(std::move(setup));
    // Stored absolute, so that a start from another folder still finds it.
    const std::string absolute = QDir::currentPath().toStdString() + "/relative/new.pos";
    QCOMPARE(dialog->controls().path->text(), QString::fromStdString(absolute));
    QCOMPARE(fixture.Setting("FileToDownload"), absolute);
  }

  void focusOutWritesEachListAndThePath() {
    DialogFixture fixture;
    auto dialog = fixture.MakeDialog();
    ShowActive(*dialog);
    const MainDialogControls& c = dialog->controls();

    c.path->setFocus();
    c.path->clear();
    QTest::keyClicks(c.path, "my source.pos");
    QVERIFY(!fixture.SettingsFileExists());
    c.emulators->setFocus();
    QCOMPARE(fixture.Setting("FileToDownload"), std::string("my source.pos"));

    c.emulators->setCurrentText(QStringLiteral("German"));
    c.keys->setFocus();
    QCOMPARE(fixture.Setting("Emulation"), std::string("German"));
    c.keys->setCurrentIndex(1);
    c.path->setFocus();
    QCOMPARE(fixture.Setting("Keys"), std::string("360"));

    // An emptied path is stored empty.
    c.path->clear();
    c.browse->setFocus();
    QCOMPARE(fixture.Setting("FileToDownload"), std::string(""));

    c.rs232->click();
    c.comPorts->setFocus();
    c.comPorts->setCurrentText(QStringLiteral("COM4"));
    c.browse->setFocus();
    QCOMPARE(fixture.Setting("COMx"), std::string("COM4"));
  }

  void radioClicksWriteAtOnceAndShowPortControls() {
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nCOMx=COM2\n");
    auto dialog = fixture.MakeDialog();
    ShowActive(*dialog);
    const MainDialogControls& c = dialog->controls();

    c.layer2->click();
    QCOMPARE(fixture.Setting("Layer"), std::string("2"));
    c.layer1->click();
    QCOMPARE(fixture.Setting("Layer"), std::string("1"));

    c.rs232->click();
    QCOMPARE(fixture.Setting("LinkWith"), std::string("RS232"));
    QVERIFY(c.comPorts->isVisible() && c.portNote->isVisible() && !c.noSetupNote->isVisible());
    QCOMPARE(c.comPorts->currentText(), QStringLiteral("COM2"));

    c.usb->click();
    QCOMPARE(fixture.Setting("LinkWith"), std::string("USB"));
    QVERIFY(!c.comPorts->isVisible() && c.noSetupNote->isVisible());

    // The radios the window keeps disabled still write their own values.
    for (QAbstractButton* radio : {static_cast<QAbstractButton*>(c.pcAt),
                                   static_cast<QAbstractButton*>(c.rs485)}) {
      radio->setEnabled(true);
    }
    c.rs485->click();
    QCOMPARE(fixture.Setting("LinkWith"), std::string("RS485"));
    QVERIFY(c.comPorts->isVisible());
    c.pcAt->click();
    QCOMPARE(fixture.Setting("LinkWith"), std::string("PC/AT"));
    QVERIFY(!c.comPorts->isVisible());
  }

  void browseAndEdit() {
    DialogFixture fixture;
    auto dialog = fixture.MakeDialog();
    const MainDialogControls& c = dialog->controls();
    QString before = c.path->text();

    fixture.nextChosenFile = QString();
    c.browse->click();
    QCOMPARE(c.path->text(), before);
    QVERIFY(!fixture.SettingsFileExists());

    fixture.nextChosenFile = QStringLiteral("/data/My Configs/till 1.pos");
    c.browse->click();
    QCOMPARE(c.path->text(), fixture.nextChosenFile);
    QCOMPARE(fixture.Setting("FileToDownload"), std::string("/data/My Configs/till 1.pos"));

    c.edit->click();
    fixture.WriteSettings("[Quintrel]\nEditor=\"/opt/my editor/ed\" --new-window\n");
    c.edit->click();
    QCOMPARE(fixture.startedProcesses.size(), size_t(2));
    QCOMPARE(fixture.startedProcesses[0].first, QStringLiteral("x-terminal-emulator"));
    QCOMPARE(fixture.startedProcesses[0].second, (QStringList{"-e", "editor", fixture.nextChosenFile}));
    QCOMPARE(fixture.startedProcesses[1].first, QStringLiteral("/opt/my editor/ed"));
    QCOMPARE(fixture.startedProcesses[1].second,
             (QStringList{"--new-window", fixture.nextChosenFile}));
    // An editor that cannot start is named, with the reason.
    const qsizetype linesBefore = StatusLines(*dialog).size();
    fixture.startError = std::make_error_code(std::errc::no_such_file_or_directory);
    c.edit->click();
    QCOMPARE(StatusLines(*dialog).size(), linesBefore + 1);
    QCOMPARE(LastStatusLine(*dialog),
             QStringLiteral("Cannot start the editor /opt/my editor/ed: No such file or directory"));
  }

  void aboutBoxOpensFromF1AndTheContextMenu() {
    DialogFixture fixture;
    auto dialog = fixture.MakeDialog();
    ShowActive(*dialog);

    // Both return at once, with the about box or the menu open: no nested
    // event loop can hold up a transfer.
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    QWidget* about = QApplication::activeModalWidget();
    QVERIFY(about != nullptr);
    QCOMPARE(about->windowTitle(), QStringLiteral("About Lumivane"));
    QString lines;
    for (QLabel* label : about->findChildren<QLabel*>()) lines += label->text() + '|';
    QVERIFY(lines.contains(QStringLiteral("Zoret Lumivane V5.15c|")));
    QTest::keyClick(dialog.get(), Qt::Key_F1);  // the same box, not a second one
    QCOMPARE(dialog->findChildren<QDialog*>().size(), 1);
    QTest::keyClick(about, Qt::Key_Escape);
    QVERIFY(dialog->isVisible());

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dialog->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(dialog.get(), &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu != nullptr);
    const QString menuEntry = menu->actions().value(0)->text();
    menu->close();
    QCOMPARE(menuEntry, QStringLiteral("&About Lumivane"));
  }

  void yesShortcutActsOnlyWhileYesIsEnabled() {
    {
      DialogFixture fixture;
      auto dialog = fixture.MakeDialog();
      ShowActive(*dialog);
      // Idle: Y is an ordinary key for the focused control.
      QLineEdit* path = dialog->controls().path;
      path->setFocus();
      path->clear();
      QTest::keyClick(path, Qt::Key_Y);
      QCOMPARE(path->text(), QStringLiteral("y"));
      // Enter reaches the hidden default button, which does nothing.
      QTest::keyClick(path, Qt::Key_Return);
      QVERIFY(dialog->isVisible());
    }
    for (auto modifier : {Qt::NoModifier, Qt::AltModifier}) {
      DialogFixture fixture;
      fixture.WriteSettings("[Quintrel]\nLinkWith=__PC/AT__\n");
      QuietKeyboardLine keyboardLine;
      MainDialog::Setup setup = fixture.MakeSetup();
      setup.channels.keyboardLine = &keyboardLine;
      auto dialog = fixture.MakeDialog(std::move(setup));
      ShowActive(*dialog);
      const MainDialogControls& c = dialog->controls();
      c.download->click();
      QTRY_VERIFY_WITH_TIMEOUT(c.yes->isEnabled(), 10000);
      QCOMPARE(LastStatusLine(*dialog), QStringLiteral("Press (shift+load) on the Quintrel to continue"));
      QCOMPARE(QApplication::focusWidget(), c.cancel);

      // The keypad types the button's mnemonic; the command is taken once.
      QTest::keyClick(c.cancel, Qt::Key_Y, modifier);
      QVERIFY(!c.yes->isEnabled());
      QCOMPARE(QApplication::focusWidget(), c.cancel);
      // The transfer message is pending; the dialog goes before it is handled.
    }
  }

  void waitKeyPressTakesKeysAwayFromTheWindow() {
    DialogFixture fixture;
    auto dialog = fixture.MakeDialog();
    ShowActive(*dialog);
    const MainDialogControls& c = dialog->controls();
    c.path->setFocus();
    c.path->clear();

    // Two keys typed in quick succession reach two waits in order.
    QTimer::singleShot(10, this, [&] {
      QTest::keyClick(c.path, Qt::Key_5);
      QTest::keyClick(c.path, Qt::Key_A);
    });
    QCOMPARE(dialog->WaitKeyPress(std::chrono::seconds(5)), int(Qt::Key_5));
    QCOMPARE(dialog->WaitKeyPress(std::chrono::seconds(5)), int(Qt::Key_A));
    QCOMPARE(dialog->WaitKeyPress(std::chrono::milliseconds(20)), -1);
    QCOMPARE(c.path->text(), QString());

    // Outside a wait, keys go to the window again.
    QTest::keyClick(c.path, Qt::Key_B);
    QCOMPARE(c.path->text(), QStringLiteral("b"));
  }
};

QTEST_MAIN(MainDialogTest)
#include "MainDialog_test.moc"
