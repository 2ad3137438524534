#pragma once
#include <QListWidget>
#include <QString>

namespace lumivane {

// The status list: the program's only report channel. It keeps its
// horizontal scrolling range ("extent") as wide as the widest line added
// (plus a margin of three frame widths), scrolls each new line into view and
// leaves no line selected.
class StatusLog : public QListWidget {
  Q_OBJECT

 public:
  explicit StatusLog(QWidget* parent = nullptr);

  // Appends a line; returns its index.
  int Add(const QString& text);
  // Inserts a line at index (-1 appends) without scrolling; returns its
  // index, or -1 for an index outside the list.
  int Insert(int index, const QString& text);
  // Deletes a line and recomputes the extent from the remaining lines;
  // returns the number of lines left, or -1 for an index outside the list.
  int Delete(int index);
  // Removes every line; the extent stays until the next Add or Insert.
  void Reset();

  int widestLine() const { return widestLine_; }
  // Width of the scrollable content in pixels.
  int horizontalExtent() const { return horizontalExtent_; }
  QStringList Lines() const;

 protected:
  void updateGeometries() override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int LineWidth(const QString& text) const;
  void WidenFor(const QString& text);
  void SetHorizontalExtent(int extent);
  void ApplyHorizontalExtent();

  int widestLine_ = 0;
  int horizontalExtent_ = 0;
};

}  // namespace lumivane
