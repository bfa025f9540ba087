// The window "通信日志" offscreen: filters, pause and continue, clear, save, counters.
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "app/bus_log.h"
#include "ui/bus_log_window.h"

namespace dd::test {
namespace {

// A polling read that succeeds, one that times out and its successful retry, a write
// that is confirmed and one whose reply is corrupt.
void PushTraffic(BusLog& log) {
  static const uint8_t readError[] = {0x01, 0x04, 0x00, 0x02, 0x00, 0x01, 0x90, 0x0A};
  static const uint8_t errorReply[] = {0x01, 0x04, 0x02, 0x00, 0x00, 0xB9, 0x30};
  static const uint8_t writeRunSpeed[] = {0x01, 0x06, 0x00, 0x40, 0x01, 0x2C, 0x88, 0x53};
  static const uint8_t corrupt[] = {0x01, 0x06, 0x00, 0x40, 0x01, 0x2C, 0x88, 0x00};
  const auto push = [&](std::span<const uint8_t> request, std::span<const uint8_t> reply,
                        CommandResult result, int attempt) {
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
  const QString counters = window.CountersText();
  EXPECT_TRUE(counters.contains("请求 5")) << counters.toStdString();
  EXPECT_TRUE(counters.contains("重试 1")) << counters.toStdString();
  EXPECT_TRUE(counters.contains("BadCrc 1") && counters.contains("Timeout 1")) << counters.toStdString();

  QTest::mouseClick(window.HidePollingBox(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 5);
  QTest::mouseClick(window.FailuresOnlyBox(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 3);
  QTest::mouseClick(window.HidePollingBox(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 5);

  // Saved: the shown records only, in the log file's format.
  const auto path = std::filesystem::temp_directory_path() / "drivedesk-buslog-window-test.txt";
  ASSERT_TRUE(window.SaveShown(path.string()));
  std::ifstream saved(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(saved, line);) lines.push_back(line);
  std::filesystem::remove(path);
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

}  // namespace
}  // namespace dd::test
