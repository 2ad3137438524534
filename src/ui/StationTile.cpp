#include "ui/StationTile.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "station/StationView.h"
#include "ui/PathText.h"

namespace lumivane {

namespace {

QLabel* AddLabel(QVBoxLayout* layout, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  layout->addWidget(label);
  return label;
}

// PASS in green, FAIL in red, "not served" in the window's colour.
QString VerdictStyle(const std::optional<OutcomeResult>& result) {
  if (result == OutcomeResult::Passed) return QStringLiteral("color: #1a7f37;");
  if (result == OutcomeResult::Failed) return QStringLiteral("color: #c62828;");
  return {};
}

}  // namespace

StationTile::StationTile(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::StyledPanel);
  setMinimumWidth(240);
  auto* layout = new QVBoxLayout(this);
  title_ = AddLabel(layout, this);
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  activity_ = AddLabel(layout, this);
  progress_ = new QProgressBar(this);
  progress_->setFormat(QStringLiteral("%v / %m bytes"));
  layout->addWidget(progress_);
  verdict_ = AddLabel(layout, this);
  QFont large = verdict_->font();
  large.setBold(true);
  large.setPointSizeF(large.pointSizeF() * 2.5);
  verdict_->setFont(large);
  verdict_->setAlignment(Qt::AlignCenter);
  reason_ = AddLabel(layout, this);
  layout->addStretch();
}

void StationTile::Show(const SlotStatus& slot) {
  title_->setText(PathToText(SlotTitle(slot)));
  activity_->setText(PathToText(SlotActivity(slot)));
  const bool running = slot.state == SlotState::Armed || slot.state == SlotState::Running;
  progress_->setMaximum(static_cast<int>(std::max<std::size_t>(slot.progress.total, 1)));
  progress_->setValue(static_cast<int>(slot.progress.done));
  progress_->setVisible(running || slot.result.has_value());
  // The outcome shows until the keypad leaves and the slot is armed again.
  const bool outcome = !running && slot.result.has_value();
  QString verdict;
  if (outcome) {
    verdict = *slot.result == OutcomeResult::Passed   ? QStringLiteral("PASS")
              : *slot.result == OutcomeResult::Failed ? QStringLiteral("FAIL")
                                                      : QStringLiteral("NOT SERVED");
  }
  verdict_->setText(verdict);
  verdict_->setStyleSheet(VerdictStyle(slot.result));
  verdict_->setVisible(outcome);
  QString reason;
  if (outcome && *slot.result != OutcomeResult::Passed) {
    reason = PathToText(slot.statusLine);
    if (!slot.detail.empty()) reason += QLatin1Char('\n') + PathToText(slot.detail);
  } else if (slot.state == SlotState::OutOfService) {
    reason = PathToText(slot.detail);
  }
  reason_->setText(reason);
  reason_->setVisible(!reason.isEmpty());
  setVisible(slot.state != SlotState::Empty);
}

QString StationTile::title() const { return title_->text(); }
QString StationTile::activity() const { return activity_->text(); }
QString StationTile::verdict() const { return verdict_->text(); }
QString StationTile::reason() const { return reason_->text(); }

}  // namespace lumivane
