#include "ui/DialogUnits.h"

#include <QFontMetrics>

namespace lumivane {

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics metrics(font);
  int alphabetWidth =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = (alphabetWidth / 26 + 1) / 2;
  baseY_ = metrics.height();
}

}  // namespace lumivane
