#include "ui/MainDialog.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QMenu>
#include <QSocketNotifier>

#include "app/DetachedProcess.h"
#include "app/EditorCommand.h"
#include "app/FileLayout.h"
#include "app/StartupChoices.h"
#include "app/TextCase.h"
#include "app/SignalChannel.h"
#include "ui/AboutDialog.h"
#include "ui/DialogUnits.h"
#include "ui/KeyPressCollector.h"
#include "ui/PathText.h"
#include "ui/ProgramIcon.h"
#include "ui/StatusLog.h"

namespace lumivane {
namespace {

QString ChooseSourceWithFileDialog(QWidget* parent) {
  QString startDirectory;
  if (auto* dialog = qobject_cast<MainDialog*>(parent)) {
    QFileInfo current(dialog->controls().path->text());
    if (!dialog->controls().path->text().isEmpty() && current.dir().exists()) {
      startDirectory = current.absolutePath();
    }
  }
  return QFileDialog::getOpenFileName(parent, QString(), startDirectory, QStringLiteral("*.pos"));
}

// The editor gets the path's own bytes, which QProcess would pass as UTF-8.
std::error_code StartEditorProcess(const QString& program, const QStringList& arguments) {
  std::vector<std::string> byteArguments;
  for (const QString& argument : arguments) byteArguments.push_back(TextToPath(argument));
  return StartDetachedProcess(TextToPath(program), byteArguments);
}

// Texts that may hold paths cross into the window losslessly (PathText.h).
QString ToQString(const std::string& text) { return PathToText(text); }

}  // namespace

MainDialog::MainDialog(Setup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup)), settings_(SettingsStoreFor(setup_.paths)) {
  if (!setup_.chooseSourceFile) setup_.chooseSourceFile = ChooseSourceWithFileDialog;
  if (!setup_.startDetached) setup_.startDetached = StartEditorProcess;
  if (!setup_.desktop.defaultHandler) setup_.desktop = DesktopLookup::FromEnvironment();
  if (setup_.channels.clock == nullptr) setup_.channels.clock = &steadyClock_;

  setWindowTitle(QStringLiteral("Zoret - Lumivane"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(ProgramIcon());
  DialogUnits units(font());
  setFixedSize(units.X(375), units.Y(213));

  controls_ = BuildMainDialogControls(this, units);
  FillList(controls_.emulators, EmulatorListItems(setup_.paths));
  FillList(controls_.keys, KeysItems());
  FillList(controls_.comPorts, ComPortItems(setup_.serialDevices));

  keyCollector_ = new KeyPressCollector(this);
  QCoreApplication::instance()->installEventFilter(keyCollector_);

  ConnectControls();
  if (setup_.signalFd >= 0) {
    auto* notifier = new QSocketNotifier(setup_.signalFd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
      if (const int signalNumber = SignalChannel::TakeFrom(setup_.signalFd)) HandleSignal(signalNumber);
    });
  }
  InitializeFromSettings();
}

MainDialog::~MainDialog() {
  chain_.reset();
  SetWaitCursor(false);
}

void MainDialog::ConnectControls() {
  const MainDialogControls& c = controls_;
  connect(c.browse, &QPushButton::clicked, this, &MainDialog::Browse);
  connect(c.edit, &QPushButton::clicked, this, &MainDialog::Edit);
  connect(c.download, &QPushButton::clicked, this, &MainDialog::StartDownload);
  connect(c.cancel, &QPushButton::clicked, this, &MainDialog::CancelDownload);
  connect(c.yes, &QPushButton::clicked, this, &MainDialog::OnYes);
  connect(c.layerGroup, &QButtonGroup::idClicked, this,
          [this](int layer) { WriteSetting(settings_key::kLayer, QString::number(layer)); });
  connect(c.linkGroup, &QButtonGroup::idClicked, this, &MainDialog::OnLinkClicked);
  for (QWidget* writer : {static_cast<QWidget*>(c.path), static_cast<QWidget*>(c.emulators),
                          static_cast<QWidget*>(c.keys), static_cast<QWidget*>(c.comPorts)}) {
    writer->installEventFilter(this);
  }

  // A hidden button does not answer its mnemonic, so "&Yes" gets explicit
  // shortcuts that are live only while the button is enabled.
  auto pressYes = [this] {
    if (controls_.yes->isEnabled()) OnYes();
  };
  yesShortcut_ = new QShortcut(QKeySequence(Qt::Key_Y), this, pressYes);
  altYesShortcut_ = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Y), this, pressYes);
  yesShortcut_->setEnabled(false);
  altYesShortcut_->setEnabled(false);
  new QShortcut(QKeySequence(Qt::Key_F1), this, [this] { ShowAbout(); });
}

void MainDialog::InitializeFromSettings() {
  const LaunchPaths& paths = setup_.paths;
  AddLine("Executed from:");
  AddLine(paths.programDirectory + paths.executableName);
  AddLine("Loaded initialization file from:");
  AddLine(paths.settingsPath);

  RestoredChoices choices = RestoreChoices(settings_, paths.sampleDirectory, setup_.commandLineSource);
  controls_.path->setText(ToQString(choices.sourcePath));
  SelectByPrefix(controls_.emulators, choices.emulation);
  SelectByPrefix(controls_.keys, choices.keys);
  (choices.layer == 2 ? controls_.layer2 : controls_.layer1)->setChecked(true);
  autoRun_ = choices.autoRun;
  controls_.RadioFor(choices.link)->setChecked(true);
  if (choices.showPortControls) {
    ShowPortControls();
    SelectPort(choices.comPort);
  }

  if (autoRun_ && setup_.statusEcho) {
    // Lines added before the mode was known go out now, in order.
    for (const QString& line : controls_.statusLog->Lines()) {
      std::fprintf(setup_.statusEcho, "%s\n", TextToPath(line).c_str());
    }
    std::fflush(setup_.statusEcho);
  }

  chain_ = std::make_unique<DownloadChain>(*this, setup_.channels, paths.programDirectory);
  controls_.browse->setFocus();
  if (autoRun_) StartDownload();
}

int MainDialog::AutoRunExitCode() const { return chain_->LastDownloadSucceeded() ? 0 : 1; }

int MainDialog::ExitStatus() const {
  if (endingSignal_ != 0) return 128 + endingSignal_;
  return autoRun_ ? AutoRunExitCode() : 0;
}

void MainDialog::HandleSignal(int signalNumber) {
  if (endingSignal_ == 0) endingSignal_ = signalNumber;
  chain_->RequestStop({"Operation cancelled by user"});
  done(QDialog::Rejected);
}

void MainDialog::done(int result) {
  if (stationOpen_) {
    // The station's transfers finish (or stop) first; its window then goes.
    pendingClose_ = result;
    station_->close();
    return;
  }
  if (chain_ && chain_->IsTransferring()) {
    // Vanishing now would hide the outcome of a transfer that goes on.
    pendingClose_ = result;
    return;
  }
  // While the download waits for the keypad nothing has been written yet.
  if (chain_ && chain_->IsRunning()) chain_->CancelDownload();
  if (closed_) return;
  closed_ = true;
  if (about_) about_->close();
  QDialog::done(result);
}

void MainDialog::CloseIfPending() {
  if (!pendingClose_ || chain_->IsTransferring() || stationOpen_) return;
  const int result = *pendingClose_;
  pendingClose_.reset();
  done(result);
}

void MainDialog::AddLine(const std::string& line) {
  controls_.statusLog->Add(ToQString(line));
  if (autoRun_ && setup_.statusEcho) {
    std::fprintf(setup_.statusEcho, "%s\n", line.c_str());
    std::fflush(setup_.statusEcho);
  }
}

void MainDialog::WriteSetting(const char* key, const QString& value) {
  // A failed write is not reported: the choice still holds for this run.
  settings_.Write(kSettingsSection, key, TextToPath(value));
}

void MainDialog::SelectByPrefix(QComboBox* list, const std::string& value) {
  std::vector<std::string> items;
  for (int i = 0; i < list->count(); ++i) items.push_back(TextToPath(list->itemText(i)));
  list->setCurrentIndex(FindFirstWithPrefix(items, value));
}

// A stored device path (an absolute path such as /dev/pts/3 or a USB adapter
// that was unplugged at start) is offered in the port list too, so that it
// is the port the download opens rather than an empty selection.
void MainDialog::SelectPort(const std::string& value) {
  QComboBox* list = controls_.comPorts;
  SelectByPrefix(list, value);
  if (list->currentIndex() >= 0 || value.empty() || value.front() != '/') return;
  const QString device = ToQString(value);
  int position = 0;
  while (position < list->count() &&
         QString::compare(list->itemText(position), device, Qt::CaseInsensitive) < 0) {
    ++position;
  }
  list->insertItem(position, device);
  list->setCurrentIndex(position);
}

void MainDialog::OnLinkClicked(int linkId) {
  LinkKind link = static_cast<LinkKind>(linkId);
  WriteSetting(settings_key::kLinkWith, QString::fromLatin1(LinkSettingValue(link)));
  if (LinkClickShowsPorts(link)) {
    ShowPortControls();
    SelectPort(settings_.Read(kSettingsSection, settings_key::kComPort, kDefaultComPort));
  } else {
    HidePortControls();
  }
}

void MainDialog::ShowPortControls() {
  controls_.noSetupNote->hide();
  controls_.portNote->show();
  controls_.comPorts->show();
}

void MainDialog::HidePortControls() {
  controls_.comPorts->hide();
  controls_.portNote->hide();
  controls_.noSetupNote->show();
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut &&
      static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
    const MainDialogControls& c = controls_;
    if (watched == c.path) {
      WriteSetting(settings_key::kFileToDownload, c.path->text());
    } else if (watched == c.emulators) {
      WriteSetting(settings_key::kEmulation, c.emulators->currentText());
    } else if (watched == c.keys) {
      WriteSetting(settings_key::kKeys, c.keys->currentText());
    } else if (watched == c.comPorts) {
      WriteSetting(settings_key::kComPort, c.comPorts->currentText());
    }
  }
  return QDialog::eventFilter(watched, event);
}

void MainDialog::Browse() {
  QString chosen = setup_.chooseSourceFile(this);
  if (chosen.isEmpty()) return;
  const std::string path = RecoverDialogPath(chosen);
  controls_.path->setText(ToQString(path));
  settings_.Write(kSettingsSection, settings_key::kFileToDownload, path);
}

void MainDialog::Edit() {
  EditorInvocation invocation =
      EditorInvocationFromSettings(settings_, TextToPath(controls_.path->text()), setup_.desktop);
  if (invocation.program.empty()) {
    AddLine("Cannot start the editor: the Editor setting has an unterminated quote");
    return;
  }
  QStringList arguments;
  for (const std::string& argument : invocation.arguments) arguments << ToQString(argument);
  // What the editor does later is its own affair; that it could not start
  // at all is told, naming the program and the reason.
  if (const std::error_code error = setup_.startDetached(ToQString(invocation.program), arguments))
    AddLine("Cannot start the editor " + invocation.program + ": " + error.message());
}

void MainDialog::ShowAbout() {
  if (!about_) {
    about_ = new AboutDialog(this);
    about_->setAttribute(Qt::WA_DeleteOnClose);
  }
  about_->open();  // modal to this window, and returns at once
  about_->raise();
  about_->activateWindow();
}

void MainDialog::ShowStation() {
  if (station_) {
    station_->raise();
    station_->activateWindow();
    return;
  }
  if (chain_->IsRunning()) return;
  StationWindow::Setup station;
  station.choices = ReadChoices();
  if (station.choices.emulatorFile.empty())
    station.choices.emulatorFile = setup_.paths.programDirectory + station.choices.emulatorName + ".emu";
  station.settingsPath = setup_.paths.settingsPath;
  station.hidBackend = setup_.channels.hidBackend;
  station.clock = setup_.channels.clock;
  station.resolvePortName = setup_.channels.resolvePortName;
  station.openMonitor = setup_.openDeviceMonitor;
  station_ = new StationWindow(std::move(station), this);
  connect(station_, &QObject::destroyed, this, [this] {
    SetStationOpen(false);
    CloseIfPending();
  });
  SetStationOpen(true);
  station_->show();
}

void MainDialog::SetStationOpen(bool open) {
  stationOpen_ = open;
  controls_.download->setEnabled(!open);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->addAction(QStringLiteral("&About Lumivane"), this, &MainDialog::ShowAbout);
  QAction* station = menu->addAction(QStringLiteral("&Station\u2026"), this, &MainDialog::ShowStation);
  station->setEnabled(!chain_->IsRunning());
  menu->popup(event->globalPos());  // no nested event loop
}

void MainDialog::StartDownload() {
  if (stationOpen_) return;  // the station serves the keypads now
  chain_->StartDownload();
}

void MainDialog::CancelDownload() { chain_->CancelDownload(); }

void MainDialog::OnYes() {
  chain_->OnYes();
  if (!chain_->IsRunning() || chain_->IsTransferring()) return;
  controls_.cancel->setFocus();
  SetYesEnabled(false);
}

}  // namespace lumivane
