// The window's side of a download: the DownloadHost operations, the three
// chain messages as posted events, the ready timer and key collection, and
// the download's events mapped to the controls.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/EmulatorFiles.h"
#include "app/StartupChoices.h"
#include "app/SignalChannel.h"
#include "ui/KeyPressCollector.h"
#include "ui/MainDialog.h"
#include "ui/PathText.h"
#include "ui/StatusLog.h"

namespace lumivane {
namespace {

constexpr QEvent::Type kTranslateEvent = static_cast<QEvent::Type>(QEvent::User + 5);
constexpr QEvent::Type kReportEvent = static_cast<QEvent::Type>(QEvent::User + 6);
constexpr QEvent::Type kTransferEvent = static_cast<QEvent::Type>(QEvent::User + 7);

QEvent::Type EventTypeFor(DownloadMessage message) {
  switch (message) {
    case DownloadMessage::Translate:
      return kTranslateEvent;
    case DownloadMessage::Report:
      return kReportEvent;
    case DownloadMessage::Transfer:
      return kTransferEvent;
  }
  return kReportEvent;
}

// Settings key: seconds to wait for shift+load before the download ends.
constexpr const char* kWaitLimitKey = "WaitLimit";
constexpr double kLongestWaitLimitSeconds = 1.0e6;

// Settings key: Verify=1 reads every written byte back before the end command.
constexpr const char* kVerifyKey = "Verify";

// A positive number of seconds; anything else sets no limit.
std::chrono::milliseconds WaitLimitFrom(const std::string& text) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str() || *end != '\0' || !std::isfinite(seconds) ||
      seconds <= 0 || seconds > kLongestWaitLimitSeconds)
    return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000.0)));
}

}  // namespace

DownloadChoices MainDialog::ReadChoices() {
  const MainDialogControls& c = controls_;
  DownloadChoices choices;
  choices.sourcePath = TextToPath(c.path->text());
  choices.emulatorName = TextToPath(c.emulators->currentText());
  choices.emulatorFile = EmulatorFileFor(choices.emulatorName, setup_.paths.emulatorDirectories);
  choices.keysText = TextToPath(c.keys->currentText());
  choices.portName = TextToPath(c.comPorts->currentText());
  int link = c.linkGroup->checkedId();
  choices.link = link < 0 ? LinkKind::Usb : static_cast<LinkKind>(link);
  choices.layer = c.layer2->isChecked() ? 2 : 1;
  choices.waitLimit = WaitLimitFrom(settings_.Read(kSettingsSection, kWaitLimitKey, ""));
  choices.verify = settings_.Read(kSettingsSection, kVerifyKey, "0") == "1";
  return choices;
}

void MainDialog::OnLine(const std::string& line, LineKind) { AddLine(line); }

namespace {
QString FiveDigits(std::uint32_t value) { return QStringLiteral("%1").arg(value, 5, 10, QLatin1Char('0')); }
}  // namespace

void MainDialog::OnLinesTranslated(int lines) {
  controls_.linesTranslated->setText(FiveDigits(static_cast<std::uint32_t>(lines)));
  controls_.linesTranslated->repaint();
}

void MainDialog::SetBytesTransferred(std::uint32_t bytes) {
  controls_.bytesTransferred->setText(FiveDigits(bytes));
  controls_.bytesTransferred->repaint();
}

void MainDialog::OnProgress(const DownloadProgress& progress) {
  if (progress.begins) {
    SetProgressRange(static_cast<int>(progress.total));
    return;
  }
  SetBytesTransferred(progress.done);
  SetProgressPosition(static_cast<int>(progress.done));
  // A pass runs without the event loop: one pending event at each step
  // keeps the window painted.
  if (progress.done > 0) DispatchOnePendingEvent();
}

void MainDialog::OnPhase(const PhaseChange& change) {
  switch (change.to) {
    case DownloadPhase::Translating: ShowDownloadControls(); break;
    // A phase's outcome is in.
    case DownloadPhase::Preparing:
    case DownloadPhase::Ending: QApplication::beep(); break;
    case DownloadPhase::Waiting:
      if (change.awaitsYes) SetYesEnabled(true);
      break;
    case DownloadPhase::Transferring: controls_.cancel->setEnabled(false); break;
    case DownloadPhase::Verifying: break;
    case DownloadPhase::Idle:
      ShowIdleControls();
      SetProgressPosition(0);
      break;
  }
}

void MainDialog::OnActivity(DownloadActivity activity) {
  SetWaitCursor(activity == DownloadActivity::Busy);
  ShowWaitingForKeypad(activity == DownloadActivity::Waiting);
}

void MainDialog::OnOutcome(const DownloadOutcome&) {
  if (autoRun_) RequestClose();
}

void MainDialog::SetProgressRange(int maximum) {
  progressMaximum_ = maximum;
  if (!progressBusy_) controls_.progress->setRange(0, maximum);
}

void MainDialog::SetProgressPosition(int position) {
  progressPosition_ = position;
  if (!progressBusy_) controls_.progress->setValue(position);
}

void MainDialog::ShowWaitingForKeypad(bool waiting) {
  if (waiting == progressBusy_) return;
  progressBusy_ = waiting;
  if (waiting) {
    controls_.progress->setRange(0, 0);  // a range without width: busy
  } else {
    controls_.progress->setRange(0, progressMaximum_);
    controls_.progress->setValue(progressPosition_);
  }
}

void MainDialog::ShowDownloadControls() {
  const MainDialogControls& c = controls_;
  c.cancel->setEnabled(true);
  c.cancel->show();
  c.cancel->raise();
  c.cancel->setFocus();
  for (QWidget* input : std::initializer_list<QWidget*>{
           c.download, c.browse, c.edit, c.pcAt, c.usb, c.rs232, c.rs485, c.modem, c.internet,
           c.wireless, c.layer1, c.layer2, c.emulators, c.keys, c.comPorts, c.path}) {
    input->setEnabled(false);
  }
  keyCollector_->Clear();
}

void MainDialog::ShowIdleControls() {
  const MainDialogControls& c = controls_;
  c.download->setEnabled(true);
  c.download->setFocus();
  c.browse->setEnabled(true);
  c.cancel->hide();
  c.cancel->setEnabled(false);
  c.edit->setEnabled(true);
  SetYesEnabled(false);
  // PC/AT, RS485, Modem, Internet and Wireless stay disabled.
  for (QWidget* input : std::initializer_list<QWidget*>{c.usb, c.rs232, c.emulators, c.keys,
                                                        c.layer1, c.layer2, c.comPorts, c.path}) {
    input->setEnabled(true);
  }
}

void MainDialog::SetYesEnabled(bool enabled) {
  controls_.yes->setEnabled(enabled);
  yesShortcut_->setEnabled(enabled);
  altYesShortcut_->setEnabled(enabled);
}

void MainDialog::SetWaitCursor(bool on) {
  if (on == waitCursorShown_) return;
  waitCursorShown_ = on;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void MainDialog::Post(DownloadMessage message) {
  QCoreApplication::postEvent(this, new QEvent(EventTypeFor(message)));
}

void MainDialog::customEvent(QEvent* event) {
  if (event->type() == kTranslateEvent) {
    chain_->OnMessage(DownloadMessage::Translate);
  } else if (event->type() == kReportEvent) {
    chain_->OnMessage(DownloadMessage::Report);
  } else if (event->type() == kTransferEvent) {
    chain_->OnMessage(DownloadMessage::Transfer);
  } else {
    QDialog::customEvent(event);
    return;
  }
  CloseIfPending();
}

void MainDialog::StartReadyTimer(int periodMs) { readyTimer_.start(periodMs, this); }

void MainDialog::StopReadyTimer() { readyTimer_.stop(); }

void MainDialog::timerEvent(QTimerEvent* event) {
  if (event->timerId() == readyTimer_.timerId()) {
    chain_->OnReadyTimer();
  } else {
    QDialog::timerEvent(event);
  }
}

// Qt offers no call that delivers exactly one event. One pass of the event
// dispatcher without WaitForMoreEvents is the bounded equivalent: it delivers
// what is pending at the moment of the call (posted events, paint requests,
// input) and returns at once; anything posted meanwhile waits for the next
// pass. A close request handled here takes effect when the running handler
// returns to the main loop.
void MainDialog::DispatchOnePendingEvent() {
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    dispatcher->processEvents(QEventLoop::AllEvents);
  }
}

void MainDialog::DeliverStopRequests() {
  if (const int signalNumber = SignalChannel::TakeFrom(setup_.signalFd)) HandleSignal(signalNumber);
}

void MainDialog::RequestClose() {
  QMetaObject::invokeMethod(
      this, [this] { done(AutoRunExitCode() == 0 ? QDialog::Accepted : QDialog::Rejected); },
      Qt::QueuedConnection);
}

// Keys already in the event queue are collected by one pass and dropped.
std::vector<int> MainDialog::DiscardTypedKeys() {
  keyCollector_->BeginCollecting();
  DispatchOnePendingEvent();
  std::vector<int> dropped;
  for (int key = keyCollector_->TakeKey(); key >= 0; key = keyCollector_->TakeKey()) dropped.push_back(key);
  keyCollector_->EndCollecting();
  return dropped;
}

// Keys typed while waiting never reach the window: the collector takes them
// all. Between passes of the event loop the thread sleeps briefly instead of
// spinning; the deadline and the sleeps are on the download's clock.
int MainDialog::WaitKeyPress(std::chrono::milliseconds timeout) {
  constexpr auto kPollInterval = std::chrono::milliseconds(2);
  Clock& clock = *setup_.channels.clock;
  const Clock::TimePoint deadline = clock.Now() + timeout;
  keyCollector_->BeginCollecting();
  int key = keyCollector_->TakeKey();
  while (key < 0) {
    DispatchOnePendingEvent();
    DeliverStopRequests();
    if (chain_->StopRequested()) break;
    key = keyCollector_->TakeKey();
    if (key >= 0) break;
    const Clock::TimePoint now = clock.Now();
    if (now >= deadline) break;
    clock.SleepUntil(std::min(deadline, now + kPollInterval));
  }
  keyCollector_->EndCollecting();
  return key;
}

}  // namespace lumivane
