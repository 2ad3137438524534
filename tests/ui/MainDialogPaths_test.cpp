// Paths that are not valid UTF-8 pass through the window byte for byte:
// the source, the program directory, Browse and Edit. An installed window
// names and uses the files of the installed layout.
#include <QFile>
#include <QTest>

#include <sys/stat.h>


#include "DialogTestSupport.h"
#include "app/FileLayout.h"
#include "ui/PathText.h"

using namespace lumivane;
using namespace lumivane::test;

class MainDialogPathsTest : public QObject {
  Q_OBJECT

 private slots:
  void pathTextRoundTripsAnyBytes() {
    const std::string allBytes = [] {
      std::string bytes;
      for (int b = 1; b < 256; ++b) bytes += static_cast<char>(b);
      return bytes;
    }();
    const std::string cases[] = {
        "caf\xe9/Kass\xe9.pos", "\xc3\xa9t\xc3\xa9", "\xf0\x9f\x98\x80", "\xed\xb2\x80 surrogate",
        "\xc0\xaf overlong", "cut \xe2\x82", "\xf4\x90\x80\x80 too high", allBytes};
    for (const std::string& bytes : cases) {
      QCOMPARE(TextToPath(PathToText(bytes)), bytes);
    }
    // Valid UTF-8 reads as Qt reads it.
    QCOMPARE(PathToText("\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"),
             QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"));
  }

  void nonUtf8SourceAndProgramDirectoryWork() {
    const TempDir temp;
    const std::string base = temp.path();
    const std::string programDir = base + "caf\xe9/";
    QVERIFY(mkdir(programDir.c_str(), 0700) == 0);
    const std::string sample = ReadFile(SourceDir() + "/samples/" + kDefaultSourceName);
    QVERIFY(WriteFile(programDir + "English_US.emu", ReadFile(SourceDir() + "/emulators/English_US.emu")));
    QVERIFY(WriteFile(programDir + kDefaultSourceName, sample));
    const std::string source = base + "Kass\xe9.pos";
    QVERIFY(WriteFile(source, sample));
    SilentPty pty;

    // The source from the command line, then the program's own sample.
    for (const std::optional<std::string>& argument : {std::optional<std::string>(source),
                                                       std::optional<std::string>()}) {
      DialogFixture fixture;
      fixture.WriteSettings("[Quintrel]\nLinkWith=RS232\nCOMx=" + pty.path() + "\n");
      MainDialog::Setup setup = fixture.MakeSetup(programDir);
      setup.commandLineSource = argument;
      auto dialog = fixture.MakeDialog(std::move(setup));
      const std::string expected = argument ? source : programDir + kDefaultSourceName;
      QCOMPARE(TextToPath(dialog->controls().path->text()), expected);
      QCOMPARE(fixture.Setting("FileToDownload"), argument ? source : std::string("<missing>"));

      dialog->controls().download->click();
      QTRY_COMPARE_WITH_TIMEOUT(LastStatusLine(*dialog),
                                QStringLiteral("Press (shift+load) on the Quintrel to continue"), 10000);
      dialog->controls().cancel->click();
      QCOMPARE(TextToPath(StatusLines(*dialog).at(1)), programDir + "Lumivane");
    }

    // Qt's file dialog shows the name with U+FFFD; the file's own bytes are
    // stored, and the editor gets them too.
    DialogFixture fixture;
    auto dialog = fixture.MakeDialog(fixture.MakeSetup(programDir));
    fixture.nextChosenFile = QFile::decodeName(QByteArray::fromStdString(source));
    QVERIFY(fixture.nextChosenFile.contains(QChar::ReplacementCharacter));
    dialog->controls().browse->click();
    QCOMPARE(fixture.Setting("FileToDownload"), source);
    dialog->controls().edit->click();
    QCOMPARE(fixture.startedProcesses.size(), size_t(1));
    QCOMPARE(TextToPath(fixture.startedProcesses[0].second.back()), source);
  }

  void installedWindowUsesTheUsersSettingsAndBothEmulatorFolders() {
    const TempDir tempDir;
    const std::string& base = tempDir.path();
    const std::string data = base + "usr/share/lumivane/";
    const std::string userLayouts = base + "home/.local/share/lumivane/emulators/";
    for (const std::string& folder : {base + "usr/bin", data + "emulators", userLayouts}) {
      std::filesystem::create_directories(folder);
    }
    for (const std::string& file : {data + "emulators/English_US.emu", data + "emulators/German.emu",
                                    userLayouts + "German.emu", userLayouts + "Mine.emu"}) {
      QVERIFY(WriteFile(file, "a=28\n"));
    }
    DialogFixture fixture;
    MainDialog::Setup setup = fixture.MakeSetup();
    setup.paths = ChooseFileLayout(LaunchPathsForExecutable(base + "usr/bin/Lumivane"),
                                   {base + "home", "", ""});
    auto dialog = fixture.MakeDialog(std::move(setup));

    const std::string settings = base + "home/.config/lumivane/Lumivane.ini";
    QCOMPARE(StatusLines(*dialog), (QStringList{"Executed from:", PathToText(base + "usr/bin/Lumivane"),
                                                "Loaded initialization file from:", PathToText(settings)}));
    QCOMPARE(TextToPath(dialog->controls().path->text()), data + kDefaultSourceName);
    QStringList layouts;
    for (int i = 0; i < dialog->controls().emulators->count(); ++i) {
      layouts << dialog->controls().emulators->itemText(i);
    }
    QCOMPARE(layouts, (QStringList{"English_US", "German", "Mine"}));
    // The user's German wins over the installed one.
    dialog->controls().emulators->setCurrentText(QStringLiteral("German"));
    QCOMPARE(dialog->ReadChoices().emulatorFile, userLayouts + "German.emu");
    dialog->controls().emulators->setCurrentText(QStringLiteral("English_US"));
    QCOMPARE(dialog->ReadChoices().emulatorFile, data + "emulators/English_US.emu");

    // A choice goes to the user's settings file, in folders made for it.
    dialog->controls().layer2->click();
    QCOMPARE(SettingsStore(settings).Read("Quintrel", "Layer", ""), std::string("2"));
    QVERIFY(std::filesystem::is_empty(base + "usr/bin"));
    QVERIFY(!fixture.SettingsFileExists());
  }
};

QTEST_MAIN(MainDialogPathsTest)
#include "MainDialogPaths_test.moc"
