#pragma once
#include <QDialog>

namespace lumivane {

// The about box: program icon, name and version, and an OK button.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace lumivane
