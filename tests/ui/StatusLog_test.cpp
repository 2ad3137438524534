#include <QScrollBar>
#include <QStyle>
#include <QTest>

#include "ui/StatusLog.h"

using lumivane::StatusLog;

class StatusLogTest : public QObject {
  Q_OBJECT

 private:
  static int ExpectedWidth(const StatusLog& log, const QString& text) {
    return log.fontMetrics().horizontalAdvance(text) +
           3 * log.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &log);
  }

 private slots:
  void addWidensScrollsAndLeavesNothingSelected() {
    StatusLog log;
    log.resize(200, 100);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));

    const QString wide(120, QLatin1Char('W'));
    for (int i = 0; i < 30; ++i) QCOMPARE(log.Add(QStringLiteral("line %1").arg(i)), i);
    QCOMPARE(log.Add(wide), 30);
    QCOMPARE(log.horizontalExtent(), ExpectedWidth(log, wide));
    QScrollBar* bar = log.horizontalScrollBar();
    QCOMPARE(bar->maximum(), log.horizontalExtent() - log.viewport()->width());

    // A shorter line leaves the extent; the last line is in view, none selected.
    log.setCurrentRow(3);
    QVERIFY(log.item(3)->isSelected());
    QCOMPARE(log.Add(QStringLiteral("short")), 31);
    QCOMPARE(log.horizontalExtent(), ExpectedWidth(log, wide));
    QVERIFY(log.selectedItems().isEmpty());
    QVERIFY(log.viewport()->rect().intersects(log.visualItemRect(log.item(31))));
    QVERIFY(!log.viewport()->rect().intersects(log.visualItemRect(log.item(0))));

    // The extent survives the view's own relayout (resize, scroll range update).
    log.resize(260, 120);
    QCoreApplication::processEvents();
    QCOMPARE(bar->maximum(), log.horizontalExtent() - log.viewport()->width());
  }

  void deleteRecomputesAndResetKeepsExtentUntilNextAdd() {
    StatusLog log;
    const QString wide(80, QLatin1Char('M'));
    log.Add(QStringLiteral("narrow"));
    log.Add(wide);
    log.Add(QStringLiteral("medium line"));
    QCOMPARE(log.Delete(1), 2);
    QCOMPARE(log.horizontalExtent(), ExpectedWidth(log, QStringLiteral("medium line")));
    QCOMPARE(log.Delete(7), -1);
    QCOMPARE(log.Delete(0), 1);
    QCOMPARE(log.Delete(0), 0);
    QCOMPARE(log.horizontalExtent(), 0);

    log.Add(wide);
    log.Reset();
    QCOMPARE(log.count(), 0);
    QCOMPARE(log.horizontalExtent(), ExpectedWidth(log, wide));
    log.Add(QStringLiteral("x"));
    QCOMPARE(log.horizontalExtent(), ExpectedWidth(log, QStringLiteral("x")));
  }

  void insertPlacesWithoutScrollingOrSelecting() {
    StatusLog log;
    log.Add(QStringLiteral("a"));
    log.Add(QStringLiteral("c"));
    QCOMPARE(log.Insert(1, QStringLiteral("b")), 1);
    QCOMPARE(log.Insert(-1, QStringLiteral("d")), 3);
    QCOMPARE(log.Insert(9, QStringLiteral("x")), -1);
    QCOMPARE(log.Lines(), (QStringList{"a", "b", "c", "d"}));
    const QString wide(50, QLatin1Char('W'));
    log.Insert(0, wide);
    QCOMPARE(log.widestLine(), ExpectedWidth(log, wide));
  }
};

QTEST_MAIN(StatusLogTest)
#include "StatusLog_test.moc"
