#pragma once
#include <QFont>
#include <QRect>

namespace lumivane {

// Converts dialog-template units to pixels for a dialog font, so that the
// window keeps its proportions whatever font the desktop uses: a horizontal
// unit is a quarter of the font's average character width, a vertical unit
// an eighth of its height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int baseX() const { return baseX_; }
  int baseY() const { return baseY_; }
  int X(int units) const { return (units * baseX_ + 2) / 4; }
  int Y(int units) const { return (units * baseY_ + 4) / 8; }
  QRect Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
  }

 private:
  int baseX_;
  int baseY_;
};

}  // namespace lumivane
