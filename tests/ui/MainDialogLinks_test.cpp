// Whole downloads in the window over the simulated PC/AT keyboard line and
// the simulated USB keypad: from the Download button to the last status
// line, with the keypad's memory checked afterwards.
#include <QHash>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdint>

#include "DialogTestSupport.h"
#include "ManualClock.h"
#include "sim/KeypadModel.h"
#include "sim/LayerDecode.h"
#include "sim/SimulatedHid.h"
#include "sim/SimulatedKeyboardLine.h"

using namespace lumivane;
using namespace lumivane::test;
using namespace std::chrono_literals;

namespace {

constexpr int kLongWaitMs = 30000;  // an upper bound for slow machines, not a speed check
constexpr int kStartupLines = 4;
const QString kPressLine = QStringLiteral("Press (shift+load) on the Quintrel to continue");
const QString kTransferLine = QStringLiteral("Transfer in progress");
const QString kSuccessLine = QStringLiteral("DOWNLOAD SUCCESSFUL");

// The lines a download added after the start-up lines.
QStringList DownloadLines(const MainDialog& dialog) {
  return StatusLines(dialog).mid(kStartupLines);
}

// What the keypad must hold from the placement base on: the translated
// image, with each defined key-table entry (high byte not 0) turned from an
// image offset into a keypad address and undefined ones sent as 0x0000.
QByteArray RelocatedImage(const ImageBuilder& builder, std::uint16_t base) {
  const std::uint8_t* image = builder.image();
  const int length = builder.imageLength();
  QByteArray expected(reinterpret_cast<const char*>(image), length);
  for (int i = 3; i + 1 < builder.tableSize(); i += 2) {
    if (image[i] == 0) {
      expected[i] = 0;
      expected[i + 1] = 0;
      continue;
    }
    const auto address = static_cast<std::uint16_t>((image[i] << 8 | image[i + 1]) + base);
    expected[i] = static_cast<char>(address >> 8);
    expected[i + 1] = static_cast<char>(address & 0xFF);
  }
  return expected;
}

QByteArray KeypadBytes(const sim::KeypadModel& keypad, std::uint16_t start, int count) {
  QByteArray bytes;
  for (int i = 0; i < count; ++i) {
    bytes.append(static_cast<char>(keypad.Peek(static_cast<std::uint16_t>(start + i))));
  }
  return bytes;
}

// Checks that the keypad holds the window's last translated image in the
// given layer, placed the way the keypad's control area asks for.
void VerifyReceivedImage(const MainDialog& dialog, const sim::KeypadModel& keypad, int layer) {
  const ImageBuilder& builder = dialog.chain().builder();
  const int length = builder.imageLength();
  QVERIFY(length > builder.tableSize());
  const sim::KeypadOptions& area = keypad.options();
  const std::uint16_t base = layer == 1 ? area.layer1Start
                                        : static_cast<std::uint16_t>(area.layer2End - length + 1);

  const sim::ReceivedLayer received = sim::FindReceivedLayer(keypad);
  QVERIFY(received.found);
  QCOMPARE(received.layer, layer);
  QCOMPARE(received.start, base);
  QCOMPARE(received.announced, static_cast<std::size_t>(length));
  QCOMPARE(received.write->data.size(), static_cast<std::size_t>(length));
  QCOMPARE(keypad.pendingWriteBytes(), std::size_t{0});
  QVERIFY(keypad.IsFinished());
  if (layer == 1) {
    QCOMPARE(keypad.PeekPointer(sim::KeypadModel::kLayer1EndAddress),
             static_cast<std::uint16_t>(base + length - 1));
    QCOMPARE(keypad.PeekPointer(sim::KeypadModel::kLayer2StartAddress), area.layer2Start);
  } else {
    QCOMPARE(keypad.PeekPointer(sim::KeypadModel::kLayer2StartAddress), base);
    QCOMPARE(keypad.PeekPointer(sim::KeypadModel::kLayer1EndAddress), area.layer1End);
  }
  QCOMPARE(KeypadBytes(keypad, base, length), RelocatedImage(builder, base));
}

void VerifyFinishedWithSuccess(const MainDialog& dialog) {
  const MainDialogControls& c = dialog.controls();
  const int length = dialog.chain().builder().imageLength();
  QVERIFY(dialog.chain().LastDownloadSucceeded());
  QCOMPARE(c.bytesTransferred->text(), QString::asprintf("%05d", length));
  QCOMPARE(c.progress->maximum(), length);
  const QString mismatch = IdleControlsMismatch(c);
  QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

// Keys typed by the keypad on the keyboard line reach the application as a
// keyboard's do: queued, then pressed and released on the widget with the
// keyboard focus (or the active window), shortcuts first. A keypad may type
// the 'Y' of shift+load with Alt held.
class KeypadTyping : public QObject {
 public:
  explicit KeypadTyping(bool yesWithAlt) : yesWithAlt_(yesWithAlt) {}

  void Type(int key) {
    ++typed;
    QMetaObject::invokeMethod(this, [this, key] { Deliver(key); }, Qt::QueuedConnection);
  }

  int typed = 0;
  int undelivered = 0;  // no window had the keyboard

 private:
  void Deliver(int key) {
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr) target = QApplication::activeWindow();
    if (target == nullptr) {
      ++undelivered;
      return;
    }
    const bool alt = yesWithAlt_ && key == sim::SimulatedKeyboardLine::kYesKey;
    QTest::keyClick(target, static_cast<Qt::Key>(key), alt ? Qt::AltModifier : Qt::NoModifier);
  }

  bool yesWithAlt_;
};

// Counts the key events that reach a window's widgets themselves, that is,
// that got past the application-wide filters and the shortcuts. Modifier
// keys on their own are not counted.
class KeyWitness : public QObject {
 public:
  void Watch(QWidget* window) {
    window->installEventFilter(this);
    for (QWidget* child : window->findChildren<QWidget*>()) child->installEventFilter(this);
  }
  int PressCount() const {
    int count = 0;
    for (int n : presses) count += n;
    return count;
  }

  QHash<QObject*, int> presses;
  QHash<QObject*, int> releases;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Alt:
      case Qt::Key_Shift:
      case Qt::Key_Control:
      case Qt::Key_Meta:
        return false;
      default:
        break;
    }
    ++(event->type() == QEvent::KeyPress ? presses : releases)[watched];
    return false;
  }
};

std::array<char, 16> NibbleKeys(const QByteArray& text) {
  std::array<char, 16> keys{};
  for (int i = 0; i < 16 && i < text.size(); ++i) keys[static_cast<std::size_t>(i)] = text[i];
  return keys;
}

}  // namespace

class MainDialogLinksTest : public QObject {
  Q_OBJECT

 private slots:
  // ---- PC/AT keyboard line ----

  void pcAtDownloadAnswersByTypingAndStartsWithYes_data() {
    QTest::addColumn<QString>("emulation");
    QTest::addColumn<QByteArray>("nibbleKeys");
    QTest::addColumn<int>("layer");
    QTest::addColumn<bool>("yesWithAlt");
    QTest::newRow("US layout, layer 1, Y")
        << "English_US" << QByteArray("ABCDEFGHIJKLMNOP") << 1 << false;
    // A punctuation key among the nibble keys, and the upper layer.
    QTest::newRow("French layout, layer 2, Alt+Y")
        << "French" << QByteArray("QBCDEFGHIJKL,NOP") << 2 << true;
  }

  void pcAtDownloadAnswersByTypingAndStartsWithYes() {
    QFETCH(QString, emulation);
    QFETCH(QByteArray, nibbleKeys);
    QFETCH(int, layer);
    QFETCH(bool, yesWithAlt);
    const TempDir programTemp;
    const std::string programDir = MakeProgramDir(programTemp, {emulation.toStdString()});
    QVERIFY(!programDir.empty());
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nLinkWith=__PC/AT__\nEmulation=" + emulation.toStdString() +
                          "\nLayer=" + std::to_string(layer) + "\n");

    // The keypad, the link's pauses and the window's key waits share a
    // manual clock; time passes 20 ms at each tick of the user's timer.
    ManualClock clock;
    sim::KeypadOptions options;
    options.shiftLoadDelay = 300ms;
    sim::KeypadModel keypad(options, &clock);
    KeypadTyping typing(yesWithAlt);
    sim::SimulatedKeyboardLine line(keypad, NibbleKeys(nibbleKeys),
                                    [&typing](int key) { typing.Type(key); }, {}, &clock);
    // The user at the keypad: shift+load once the delay has passed.
    QTimer userAtKeypad;
    connect(&userAtKeypad, &QTimer::timeout, &userAtKeypad, [&line, &clock] {
      clock.Advance(20ms);
      line.Poll();
    });
    userAtKeypad.start(1);

    MainDialog::Setup setup = fixture.MakeSetup(programDir);
    setup.channels.keyboardLine = &line;
    setup.channels.clock = &clock;
    auto dialog = fixture.MakeDialog(std::move(setup));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    const MainDialogControls& c = dialog->controls();
    QVERIFY(c.pcAt->isChecked());
    QCOMPARE(c.emulators->currentText(), emulation);
    const QString path = c.path->text();
    KeyWitness witness;
    witness.Watch(dialog.get());

    c.download->click();
    QTRY_VERIFY2_WITH_TIMEOUT(!dialog->chain().IsRunning(),
                              qPrintable(DownloadLines(*dialog).join(QStringLiteral(" | "))),
                              kLongWaitMs);

    QCOMPARE(DownloadLines(*dialog), (QStringList{kPressLine, kTransferLine, kSuccessLine}));
    VerifyFinishedWithSuccess(*dialog);
    if (QTest::currentTestFailed()) return;
    VerifyReceivedImage(*dialog, keypad, layer);
    if (QTest::currentTestFailed()) return;

    // The line carried whole bytes and was released.
    QVERIFY(!line.IsOpen());
    QCOMPARE(line.framingErrors(), std::size_t{0});
    QVERIFY(!line.HalfByteWaiting());
    // Every read was answered with two nibble keys; with the 'Y' of
    // shift+load that is every key the keypad typed.
    std::size_t reads = 0;
    for (const sim::KeypadCommand& command : keypad.commands()) {
      if (command.kind != sim::KeypadCommand::Kind::Read) continue;
      QVERIFY(command.answered);
      ++reads;
    }
    QVERIFY(reads >= 6);
    QCOMPARE(typing.typed, static_cast<int>(1 + 2 * reads));
    QCOMPARE(typing.undelivered, 0);
    // None of them reached a widget: the nibble keys went to the link, the
    // 'Y' to the "&Yes" shortcut.
    QCOMPARE(witness.PressCount(), 0);
    QCOMPARE(witness.releases.value(c.path), 0);
    QCOMPARE(c.path->text(), path);
  }

  // ---- USB ----

  void usbDownloadFindsTheKeypadAndWritesTheImage_data() {
    QTest::addColumn<int>("layer");
    QTest::newRow("layer 1") << 1;
    QTest::newRow("layer 2") << 2;
  }

  void usbDownloadFindsTheKeypadAndWritesTheImage() {
    QFETCH(int, layer);
    const TempDir programTemp;
    const std::string programDir = MakeProgramDir(programTemp, {"English_US"});
    QVERIFY(!programDir.empty());
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nLinkWith=USB\nLayer=" + std::to_string(layer) + "\n");

    sim::SimulatedHid hid;
    // Another interface listed first: a keypad-like device of another release.
    HidDeviceInfo other = sim::SimulatedHid::KeypadIdentity("/dev/hidraw1");
    other.releaseNumber = 0x5A4B;
    hid.AddDevice(other);
    sim::KeypadOptions options;
    options.shiftLoadDelay = 500ms;  // a few ready-timer ticks find it not ready
    sim::KeypadModel& keypad = hid.AddKeypad("/dev/hidraw3", options);

    MainDialog::Setup setup = fixture.MakeSetup(programDir);
    setup.channels.hidBackend = &hid;
    auto dialog = fixture.MakeDialog(std::move(setup));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    const MainDialogControls& c = dialog->controls();
    QVERIFY(c.usb->isChecked());

    c.download->click();
    QTRY_VERIFY2_WITH_TIMEOUT(!dialog->chain().IsRunning(),
                              qPrintable(DownloadLines(*dialog).join(QStringLiteral(" | "))),
                              kLongWaitMs);

    QCOMPARE(DownloadLines(*dialog),
             (QStringList{QStringLiteral("Usb Quintrel detected"), kPressLine, kTransferLine,
                          kSuccessLine}));
    VerifyFinishedWithSuccess(*dialog);
    if (QTest::currentTestFailed()) return;
    VerifyReceivedImage(*dialog, keypad, layer);
    if (QTest::currentTestFailed()) return;
    QCOMPARE(keypad.identityRequests(), std::size_t{1});
    QCOMPARE(keypad.identityAnswers(), std::size_t{1});
  }

  void usbWithoutMatchingKeypadEndsAtOnce() {
    const TempDir programTemp;
    const std::string programDir = MakeProgramDir(programTemp, {"English_US"});
    QVERIFY(!programDir.empty());
    DialogFixture fixture;
    fixture.WriteSettings("[Quintrel]\nLinkWith=USB\n");

    sim::SimulatedHid hid;
    HidDeviceInfo otherRelease = sim::SimulatedHid::KeypadIdentity("/dev/hidraw1");
    otherRelease.releaseNumber = 0x5A4B;
    hid.AddDevice(otherRelease);
    HidDeviceInfo otherMaker = sim::SimulatedHid::KeypadIdentity("/dev/hidraw2");
    otherMaker.manufacturer = L"Zoret Ltd";
    hid.AddDevice(otherMaker);

    MainDialog::Setup setup = fixture.MakeSetup(programDir);
    setup.channels.hidBackend = &hid;
    auto dialog = fixture.MakeDialog(std::move(setup));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    const MainDialogControls& c = dialog->controls();

    c.download->click();
    QTRY_VERIFY2_WITH_TIMEOUT(!dialog->chain().IsRunning(),
                              qPrintable(DownloadLines(*dialog).join(QStringLiteral(" | "))),
                              kLongWaitMs);

    const QStringList lines = DownloadLines(*dialog);
    QCOMPARE(lines.value(0), QStringLiteral("Usb Quintrel not detected"));
    QCOMPARE(lines.value(1), QStringLiteral("No HID interface has the keypad's identity (product 0x3A2A, "
                                            "release 0x5A4A, usage page 0xFF00, manufacturer \"Zoret\"); "
                                            "2 HID interfaces are present"));
    QCOMPARE(lines.size(), 2);
    QVERIFY(!dialog->chain().LastDownloadSucceeded());
    // No identity request went out to any interface.
    QVERIFY(hid.reports().empty());
    const QString mismatch = IdleControlsMismatch(c);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    // Nothing is left waiting: no ready timer runs that could add a line.
    QCOMPARE(ReadyTimerId(*dialog), -1);
    QCOMPARE(DownloadLines(*dialog).size(), 2);
  }
};

QTEST_MAIN(MainDialogLinksTest)
#include "MainDialogLinks_test.moc"
