// Renders lumivane.svg's shapes into lumivane-16/32/48.png. Not part of the
// build; run once after changing the icon:
//   g++ -std=c++20 -fPIC RenderIcon.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/render-icon
//   QT_QPA_PLATFORM=offscreen /tmp/render-icon .
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

namespace {

void DrawIcon(QPainter& painter) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor("#1f3a5f"));
  painter.drawRoundedRect(QRectF(2, 2, 44, 44), 7, 7);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      bool lit = row == 2 && column == 2;
      painter.setBrush(QColor(lit ? "#f2a900" : "#e8eef5"));
      painter.drawRoundedRect(QRectF(7 + 12 * column, 7 + 12 * row, 10, 10), 2, 2);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  for (int size : {16, 32, 48}) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 48.0, size / 48.0);
    DrawIcon(painter);
    painter.end();
    if (!image.save(QStringLiteral("%1/lumivane-%2.png").arg(directory).arg(size))) return 1;
  }
  return 0;
}
