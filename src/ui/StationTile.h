#pragma once
#include <QFrame>

#include "station/StationStatus.h"

class QLabel;
class QProgressBar;

namespace lumivane {

// One slot of the station window: its name, where it is, the bytes of the
// current pass, and after an outcome a large PASS or FAIL with the reason.
// The outcome stays until the keypad leaves; an unplugged USB keypad's
// tile hides until a keypad is plugged in there again.
class StationTile : public QFrame {
  Q_OBJECT

 public:
  explicit StationTile(QWidget* parent = nullptr);

  void Show(const SlotStatus& slot);

  // What the tile shows, for tests and the accessible names.
  QString title() const;
  QString activity() const;
  QString verdict() const;
  QString reason() const;
  const QProgressBar* progress() const { return progress_; }

 private:
  QLabel* title_;
  QLabel* activity_;
  QProgressBar* progress_;
  QLabel* verdict_;
  QLabel* reason_;
};

}  // namespace lumivane
