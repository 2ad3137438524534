#include "ui/StationWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/SettingsStore.h"
#include "app/StartupChoices.h"
#include "station/Sha256.h"
#include "station/StationLog.h"
#include "station/StationService.h"
#include "station/StationView.h"
#include "station/UdevDeviceMonitor.h"
#include "translator/ImageBuilder.h"
#include "ui/PathText.h"
#include "ui/ProgramIcon.h"
#include "ui/StationTile.h"

namespace lumivane {

namespace {
constexpr const char* kStationLogKey = "StationLog";
constexpr int kTileColumns = 3;
}  // namespace

// What one station run owns, from its start to its end.
struct StationWindow::Run {
  explicit Run(Clock& clock) : clock(clock) {}

  Clock& clock;
  ImageBuilder image;
  std::unique_ptr<StationLog> log;
  std::unique_ptr<StationJob> job;
  std::unique_ptr<StationService> service;
};

StationWindow::StationWindow(Setup setup, QWidget* parent) : QWidget(parent, Qt::Window), setup_(std::move(setup)) {
  setWindowTitle(QStringLiteral("Station - Lumivane"));
  setWindowIcon(ProgramIcon());
  setAttribute(Qt::WA_DeleteOnClose);
  if (!setup_.outcomeSound) setup_.outcomeSound = [](OutcomeResult) { QApplication::beep(); };
  if (!setup_.openMonitor) setup_.openMonitor = OpenDeviceMonitor;

  auto* layout = new QVBoxLayout(this);
  const DownloadChoices& choices = setup_.choices;
  const bool rs232 = choices.link == LinkKind::Rs232;
  AddChoices(layout, rs232);
  AddButtons(layout);
  AddTileArea(layout);
  resize(820, 520);

  ShowIdle();
  if (choices.link != LinkKind::Usb && !rs232) {
    start_->setEnabled(false);
    Notice(QStringLiteral("The station serves keypads over USB or RS232: choose one of them in the main window"));
  }
}

// What is served: the source, layer and link, the image's checksum, and
// the fields a run starts from (RS232 ports, the log, verify).
void StationWindow::AddChoices(QVBoxLayout* layout, bool rs232) {
  const DownloadChoices& choices = setup_.choices;
  auto* what = new QLabel(this);
  what->setTextFormat(Qt::PlainText);
  what->setWordWrap(true);
  what->setText(PathToText(choices.sourcePath) + QStringLiteral(", layer %1, ").arg(choices.layer) +
                (rs232 ? QStringLiteral("RS232") : QStringLiteral("USB")));
  layout->addWidget(what);
  image_ = new QLabel(this);
  image_->setTextFormat(Qt::PlainText);
  image_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(image_);

  auto* form = new QFormLayout();
  ports_ = new QLineEdit(PathToText(choices.portName), this);
  ports_->setToolTip(QStringLiteral("Port names (COM1) or devices, separated by blanks: one slot each"));
  if (rs232) form->addRow(QStringLiteral("&Ports:"), ports_);
  ports_->setVisible(rs232);
  log_ = new QLineEdit(PathToText(SettingsStore(setup_.settingsPath).Read(kSettingsSection, kStationLogKey, "")), this);
  log_->setPlaceholderText(QStringLiteral("no log"));
  log_->setToolTip(QStringLiteral("Each outcome is appended to this file as one JSON line"));
  form->addRow(QStringLiteral("&Log:"), log_);
  verify_ = new QCheckBox(QStringLiteral("&Verify each keypad"), this);
  verify_->setChecked(true);
  form->addRow(QString(), verify_);
  layout->addLayout(form);
}

void StationWindow::AddButtons(QVBoxLayout* layout) {
  auto* buttons = new QHBoxLayout();
  start_ = new QPushButton(QStringLiteral("&Start"), this);
  stop_ = new QPushButton(QStringLiteral("S&top"), this);
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  buttons->addStretch();
  summary_ = new QLabel(this);
  buttons->addWidget(summary_);
  layout->addLayout(buttons);
  connect(start_, &QPushButton::clicked, this, &StationWindow::Start);
  connect(stop_, &QPushButton::clicked, this, &StationWindow::Stop);
}

// The tiles, a scrolled grid, above a few lines of notices.
void StationWindow::AddTileArea(QVBoxLayout* layout) {
  auto* area = new QScrollArea(this);
  area->setWidgetResizable(true);
  auto* grid = new QWidget(area);
  tileGrid_ = new QGridLayout(grid);
  tileGrid_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  area->setWidget(grid);
  layout->addWidget(area, 1);
  notices_ = new QPlainTextEdit(this);
  notices_->setReadOnly(true);
  notices_->setMaximumBlockCount(500);
  notices_->setFixedHeight(notices_->fontMetrics().lineSpacing() * 5 + 12);
  layout->addWidget(notices_);
}

StationWindow::~StationWindow() {
  if (run_ && run_->service) run_->service->StopNow();
  if (thread_.joinable()) thread_.join();
}

QString StationWindow::summaryText() const { return summary_->text(); }

QStringList StationWindow::noticeLines() const {
  return notices_->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void StationWindow::Notice(const QString& line) { notices_->appendPlainText(line); }

void StationWindow::ShowIdle() {
  start_->setEnabled(true);
  stop_->setEnabled(false);
  stop_->setText(QStringLiteral("S&top"));
  for (QWidget* input : std::initializer_list<QWidget*>{ports_, log_, verify_}) input->setEnabled(true);
}

std::vector<std::string> StationWindow::Ports() const {
  std::vector<std::string> ports;
  if (setup_.choices.link != LinkKind::Rs232) return ports;
  for (const QString& port : ports_->text().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    ports.push_back(TextToPath(port));
  }
  return ports;
}

void StationWindow::Start() {
  if (serving_ || setup_.clock == nullptr) return;
  const std::string logPath = TextToPath(log_->text().trimmed());
  SettingsStore(setup_.settingsPath).Write(kSettingsSection, kStationLogKey, logPath);
  const bool rs232 = setup_.choices.link == LinkKind::Rs232;
  const std::vector<std::string> ports = Ports();
  if (rs232 && ports.empty()) return Notice(QStringLiteral("Name a port for each slot"));

  auto run = std::make_unique<Run>(*setup_.clock);
  DownloadChoices choices = setup_.choices;
  choices.verify = verify_->isChecked();
  const DownloadState state =
      run->image.Translate({choices.sourcePath, choices.emulatorFile, choices.keysText, false});
  if (state != DownloadState::ImageReady) {
    const char* line = StatusLineFor(state);
    Notice(QString::fromUtf8(line != nullptr ? line : "The image cannot be built"));
    if (!run->image.detailLine().empty()) Notice(PathToText(run->image.detailLine()));
    return;
  }
  const std::string sha256 = Sha256Hex(run->image.image(), run->image.imageLength());
  image_->setText(QStringLiteral("Image: %1 bytes, SHA-256 %2")
                      .arg(run->image.imageLength())
                      .arg(QString::fromLatin1(sha256.c_str())));
  if (!logPath.empty()) {
    LogFailure failure;
    run->log = StationLog::Open(logPath, &failure);
    if (!run->log) return Notice(PathToText("Unable to write the log to " + logPath + ": " + failure.reason));
  }
  const auto notice = [this](const std::string& line) {
    QMetaObject::invokeMethod(this, [this, text = PathToText(line)] { Notice(text); }, Qt::QueuedConnection);
  };
  std::unique_ptr<DeviceMonitor> monitor;
  if (!rs232 && setup_.hidBackend != nullptr) monitor = setup_.openMonitor(*setup_.hidBackend, *setup_.clock, notice);
  run->job = std::make_unique<StationJob>(
      StationJob{choices, run->image, setup_.hidBackend, setup_.resolvePortName, *setup_.clock});
  StationSetup station;
  station.link = rs232 ? StationSetup::Link::Rs232 : StationSetup::Link::Usb;
  station.ports = ports;
  run->service = std::make_unique<StationService>(
      *run->job, station, StationImageFacts{choices.sourcePath, sha256, run->image.imageLength(), choices.layer},
      run->log.get(), std::move(monitor), static_cast<StationObserver&>(*this));

  if (thread_.joinable()) thread_.join();
  run_ = std::move(run);
  serving_ = true;
  stopsAsked_ = 0;
  start_->setEnabled(false);
  stop_->setEnabled(true);
  for (QWidget* input : std::initializer_list<QWidget*>{ports_, log_, verify_}) input->setEnabled(false);
  StationService* service = run_->service.get();
  thread_ = std::thread([this, service] {
    const StationSummary summary = service->Run();
    QMetaObject::invokeMethod(this, [this, summary] { Served(summary); }, Qt::QueuedConnection);
  });
}

void StationWindow::Stop() {
  if (!serving_) return;
  if (++stopsAsked_ == 1) {
    run_->service->RequestStop();
    stop_->setText(QStringLiteral("S&top now"));
  } else {
    run_->service->StopNow();
    stop_->setEnabled(false);
  }
}

void StationWindow::OnEvent(const StationEvent& event, const StationSnapshot& snapshot) {
  QMetaObject::invokeMethod(
      this, [this, event, snapshot] { ShowEvent(event, snapshot); }, Qt::QueuedConnection);
}

void StationWindow::ShowEvent(const StationEvent& event, const StationSnapshot& snapshot) {
  while (tiles_.size() < snapshot.slotList.size()) {
    auto* tile = new StationTile(this);
    const int place = static_cast<int>(tiles_.size());
    tileGrid_->addWidget(tile, place / kTileColumns, place % kTileColumns);
    tiles_.push_back(tile);
  }
  summary_->setText(QString::fromStdString(SummaryLine(snapshot.counts)));
  if (event.kind == StationEvent::Kind::Notice) return Notice(PathToText(event.text));
  if (event.slot >= snapshot.slotList.size()) return;
  const SlotStatus& slot = snapshot.slotList[event.slot];
  tiles_[event.slot]->Show(slot);
  if (event.kind == StationEvent::Kind::Outcome && slot.result) {
    if (const std::optional<std::string> line = EventLine(event, snapshot)) Notice(PathToText(*line));
    setup_.outcomeSound(*slot.result);
  }
}

void StationWindow::Served(const StationSummary& summary) {
  if (thread_.joinable()) thread_.join();
  serving_ = false;
  for (const std::string& line : ClosingLines(summary)) Notice(PathToText(line));
  ShowIdle();
  if (closeWhenServed_) close();
}

void StationWindow::closeEvent(QCloseEvent* event) {
  if (!serving_) {
    event->accept();
    return;
  }
  // The transfers under way finish first (or stop, when asked twice).
  event->ignore();
  closeWhenServed_ = true;
  Stop();
}

}  // namespace lumivane
