// The curves window offscreen: it opens and draws what the history holds, a pause
// freezes the picture while the history fills on, a zoom shows its span in detail and
// the CSV export writes that span; closing stops its refreshes.
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/curves_window.h"

namespace dd::test {
namespace {

TEST(CurvesWindowTest, opensPausesZoomsExportsAndCloses) {
  auto history = std::make_shared<SampleHistory>();
  // Samples every 10 ms (times in hundredths of a second; up to about now, so the last
  // 10 s show them).
  auto feed = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      const double t = i / 100.0;
      Sample s;
      s.time = t;
      s.values = {t * 100, 1000, t, 60, 1.5};
      history->Add(s);
    }
  };
  feed(-500, 0);
  CurvesWindow window(history);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.Refresh();
  const int drawn = window.PointsDrawn(Quantity::ActualPosition);
  EXPECT_GT(drawn, 100);
  EXPECT_NEAR(window.VisibleTo() - window.VisibleFrom(), 10, 1e-6);

  window.SetPaused(true);
  const double pausedTo = window.VisibleTo();
  feed(0, 50);
  QTest::qWait(250);  // refresh ticks pass
  EXPECT_EQ(window.PointsDrawn(Quantity::ActualPosition), drawn);
  EXPECT_EQ(window.VisibleTo(), pausedTo);
  EXPECT_EQ(history->Size(), 550u);
  window.SetPaused(false);
  EXPECT_GT(window.PointsDrawn(Quantity::ActualPosition), drawn);

  window.SetQuantityShown(Quantity::Deviation, false);
  EXPECT_EQ(window.PointsDrawn(Quantity::Deviation), 0);
  window.SetNormalised(true);
  window.ZoomTo(-3, -2);
  EXPECT_TRUE(window.Paused());
  EXPECT_EQ(window.VisibleFrom(), -3);
  EXPECT_GT(window.PointsDrawn(Quantity::ActualPosition), 90);
  QTemporaryDir dir;
  ASSERT_TRUE(window.ExportCsv(dir.filePath("span.csv")));
  QFile csv(dir.filePath("span.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = csv.readAll().split('\n');
  EXPECT_EQ(lines.size(), 1 + 101 + 1);  // header, -3.00 to -2.00, nothing after the last line
  EXPECT_FALSE(window.ExportCsv(dir.filePath("no/such/dir/span.csv")));
  ASSERT_TRUE(window.ExportPng(dir.filePath("plot.png")));
  EXPECT_FALSE(QImage(dir.filePath("plot.png")).isNull());

  window.ResetView();
  EXPECT_FALSE(window.Paused());
  EXPECT_NEAR(window.VisibleTo() - window.VisibleFrom(), 10, 1e-6);
  window.close();
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace dd::test
