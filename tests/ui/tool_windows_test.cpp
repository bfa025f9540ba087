// The windows beside the main one, offscreen: "通信日志" (filters, pause and continue,
// clear, save, counters) and the curves (pause, zoom, exports, close).
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>

#include "app/bus_log.h"
#include "ui/bus_log_window.h"
#include "ui/curves_window.h"

namespace dd::test {
namespace {

// A polling read that succeeds, one that times out and its successful retry, a write
// that is confirmed and one whose reply is corrupt.
void PushTraffic(BusLog& log) {
  static const uint8_t readError[] = {0x01, 0x04, 0x00, 0x02, 0x00, 0x01, 0x90, 0x0A};
  static const uint8_t errorReply[] = {0x01, 0x04, 0x02, 0x00, 0x00, 0xB9, 0x30};
  static const uint8_t writeRunSpeed[] = {0x01, 0x06, 0x00, 0x40, 0x01, 0x2C, 0x88, 0x53};
  static const uint8_t corrupt[] = {0x01, 0x06, 0x00, 0x40, 0x01, 0x2C, 0x88, 0x00};
  const auto push = [&](std::span<const uint8_t> request, std::span<const uint8_t> reply, CommandResult result,
                        int attempt) {
    TransactionRecord r;
    r.sent = r.received = std::chrono::steady_clock::now();
    r.sentWall = std::chrono::system_clock::now();
    r.request = request;
    r.reply = reply;
    r.result = result;
    r.attempt = attempt;
    r.operation = request[1] == 4 ? "ReadErrorCode" : "WriteRunSpeed";
    log.Push(r);
  };
  push(readError, errorReply, kOk, 1);
  push(readError, {}, kShortReply, 1);
  push(readError, errorReply, kOk, 2);
  push(writeRunSpeed, writeRunSpeed, kOk, 1);
  push(writeRunSpeed, corrupt, kBadCrc, 1);
}

TEST(BusLogWindowTest, filtersPauseClearAndSave_showWhatTheOperatorAsked) {
  BusLog log;
  PushTraffic(log);
  BusLogWindow window(log);
  window.show();
  // Rows: read 2, timed-out read 2 (TX, --), retry 2, write 2, corrupt write 3.
  EXPECT_EQ(window.ShownRows(), 11);
  const std::string counters = window.CountersText().toStdString();
  for (const char* part : {"请求 5", "重试 1", "BadCrc 1", "Timeout 1"}) EXPECT_NE(counters.find(part), std::string::npos) << counters;
  QTest::mouseClick(window.HidePollingBox(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 5);
  QTest::mouseClick(window.FailuresOnlyBox(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 3);
  QTest::mouseClick(window.HidePollingBox(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 5);

  // Saved: the shown records only, in the log file's format.
  QTemporaryDir dir;
  ASSERT_TRUE(window.SaveShown(dir.filePath("log.txt").toStdString()));
  std::ifstream saved(dir.filePath("log.txt").toStdString());
  std::vector<std::string> lines;
  for (std::string line; std::getline(saved, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_TRUE(lines[0].ends_with(" TX 01 04 00 02 00 01 90 0A"));
  EXPECT_TRUE(lines[1].ends_with(" -- Timeout"));
  EXPECT_TRUE(lines[3].ends_with(" RX 01 06 00 40 01 2C 88 00"));
  EXPECT_TRUE(lines[4].ends_with(" -- BadCrc"));
  EXPECT_FALSE(window.SaveShown("/nonexistent-dir/x.txt"));

  // Paused: new traffic waits; continued: it appears.
  QTest::mouseClick(window.FailuresOnlyBox(), Qt::LeftButton);
  QTest::mouseClick(window.PauseButton(), Qt::LeftButton);
  PushTraffic(log);
  window.TakeNewRecords();
  EXPECT_EQ(window.ShownRows(), 11);
  QTest::mouseClick(window.PauseButton(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 22);
  QTest::mouseClick(window.ClearButton(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 0);
  EXPECT_TRUE(window.CountersText().contains("请求 0"));
}

// It draws what the history holds; a pause freezes the picture while the history fills
// on; a zoom shows its span in detail and the CSV export writes that span.
TEST(CurvesWindowTest, opensPausesZoomsExportsAndCloses) {
  auto history = std::make_shared<SampleHistory>();
  // Every 10 ms, in hundredths of a second up to about now, so the last 10 s show them.
  const auto feed = [&](int from, int to) {
    for (int i = from; i < to; ++i) history->Add(Sample{.time = i / 100.0, .values = {i * 1.0, 1000, i / 100.0, 60, 1.5}});
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
  EXPECT_EQ(csv.readAll().split('\n').size(), 1 + 101 + 1);  // header, -3.00 to -2.00, nothing after the last line
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
