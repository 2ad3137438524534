#include "ui/StatusLog.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace lumivane {

StatusLog::StatusLog(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

int StatusLog::LineWidth(const QString& text) const {
  int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  return fontMetrics().horizontalAdvance(text) + 3 * border;
}

void StatusLog::WidenFor(const QString& text) {
  int width = LineWidth(text);
  if (width > widestLine_) {
    widestLine_ = width;
    SetHorizontalExtent(width);
  }
}

int StatusLog::Add(const QString& text) {
  addItem(text);
  int index = count() - 1;
  WidenFor(text);
  if (count() > 0) {
    // Selecting the last line brings it into view; clearing the selection
    // leaves nothing highlighted.
    setCurrentRow(count() - 1);
    scrollToItem(item(count() - 1));
    clearSelection();
  }
  return index;
}

int StatusLog::Insert(int index, const QString& text) {
  if (index < -1 || index > count()) return -1;
  int at = index == -1 ? count() : index;
  insertItem(at, text);
  WidenFor(text);
  return at;
}

int StatusLog::Delete(int index) {
  if (index < 0 || index >= count()) return -1;
  delete takeItem(index);
  widestLine_ = 0;
  for (int i = 0; i < count(); ++i) widestLine_ = std::max(widestLine_, LineWidth(item(i)->text()));
  SetHorizontalExtent(widestLine_);
  return count();
}

void StatusLog::Reset() {
  clear();
  widestLine_ = 0;
}

QStringList StatusLog::Lines() const {
  QStringList lines;
  for (int i = 0; i < count(); ++i) lines << item(i)->text();
  return lines;
}

void StatusLog::SetHorizontalExtent(int extent) {
  horizontalExtent_ = extent;
  ApplyHorizontalExtent();
}

// The view computes its own range from the items; the extent replaces it,
// like a list box whose horizontal extent is set explicitly.
void StatusLog::ApplyHorizontalExtent() {
  QScrollBar* bar = horizontalScrollBar();
  int visible = viewport()->width();
  bar->setPageStep(visible);
  bar->setSingleStep(std::max(1, fontMetrics().averageCharWidth()));
  bar->setRange(0, std::max(0, horizontalExtent_ - visible));
}

void StatusLog::updateGeometries() {
  QListWidget::updateGeometries();
  ApplyHorizontalExtent();
}

void StatusLog::resizeEvent(QResizeEvent* event) {
  QListWidget::resizeEvent(event);
  ApplyHorizontalExtent();
}

}  // namespace lumivane
