#include "ui/AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "ui/DialogUnits.h"
#include "ui/ProgramIcon.h"

namespace lumivane {
namespace {

QLabel* PlainLine(QWidget* parent, const char* text, const QRect& where) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setTextFormat(Qt::PlainText);  // shown as written, no mnemonics
  label->setGeometry(where);
  return label;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Lumivane"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
  DialogUnits units(font());
  setFixedSize(units.X(177), units.Y(58));

  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  icon->setGeometry(units.X(11), units.Y(17), 32, 32);
  PlainLine(this, "Zoret Lumivane V5.15c", units.Rect(40, 10, 90, 8));
  PlainLine(this, "Quintrel keypad download", units.Rect(40, 23, 119, 8));
  PlainLine(this, "Linux edition", units.Rect(40, 36, 119, 8));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(units.Rect(138, 7, 32, 14));
  ok->setDefault(true);
  ok->setFocus();
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace lumivane
