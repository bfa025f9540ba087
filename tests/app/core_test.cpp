// The control model, the bus lock, workers, delays and retries, the single instance,
// and the bus log with its file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "app/bus_log.h"
#include "app/bus_log_file.h"
#include "app/control_model.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/headless_ui.h"

namespace dd {
namespace {

using namespace std::chrono;
using Clock = steady_clock;

TEST(ControlModel, changesCoalescedPerBatch_widgetEditsSilent_combosGiveTextAndData) {
  ControlModel model;
  model.Define(Control::RunSpeedField, ControlState{.text = "100"});
  std::atomic<int> notifications{0};
  model.SetObserver([&] { ++notifications; });
  model.SetText(Control::RunSpeedField, "100");  // unchanged
  model.SetTextFromWidget(Control::RunSpeedField, "250");
  model.SetCheckedFromWidget(Control::MotorReversedCheck, true);
  EXPECT_EQ(notifications.load(), 0);
  EXPECT_EQ(model.Text(Control::RunSpeedField), "250");
  EXPECT_TRUE(model.Checked(Control::MotorReversedCheck));
  // Four writers at once: one notification for the batch, each field's last value.
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&model, t] {
      for (int i = 0; i < 2000; ++i) model.SetText(kParameterFields.at(t), std::to_string(i));
    });
  }
  for (auto& w : writers) w.join();
  model.SetColor(Control::MovingLamp, kRed);
  EXPECT_EQ(notifications.load(), 1);
  const auto batch = model.TakeChanges();
  ASSERT_EQ(batch.size(), 5u);
  for (const auto& [id, state] : batch) EXPECT_TRUE(id == Control::MovingLamp || state.text == "1999") << id;
  model.SetText(Control::ActualPositionField, "x");
  EXPECT_EQ(notifications.load(), 2);

  model.SetItems(Control::WorkModeList, {{"方向+脉冲", 0}, {"双脉冲", 4}, {"下限+上限", 8}});
  EXPECT_EQ(model.ComboData(Control::WorkModeList, -7), -7);  // nothing chosen
  model.SetComboIndex(Control::WorkModeList, 2);
  EXPECT_EQ(model.ComboText(Control::WorkModeList) + std::to_string(model.ComboData(Control::WorkModeList)), "下限+上限8");
  model.SetComboIndex(Control::WorkModeList, 5);  // out of range: no entry
  EXPECT_EQ(model.ComboIndex(Control::WorkModeList), -1);
}

TEST(BusLock, recursiveForItsHolderTimedForOthersAndFailsAtOnceWhenClosed) {
  BusLock lock;
  ASSERT_TRUE(lock.Acquire(kBusWaitMs));
  ASSERT_TRUE(lock.Acquire(0));  // same thread takes it again
  bool other = true;
  const auto start = Clock::now();
  std::thread([&] { other = lock.Acquire(50); }).join();
  EXPECT_FALSE(other);
  EXPECT_GE(Clock::now() - start, 45ms);
  lock.Release();
  lock.Release();
  std::thread([&] {
    other = lock.Acquire(50);
    if (other) lock.Release();
  }).join();
  EXPECT_TRUE(other);
  lock.Close();
  const auto closed = Clock::now();
  EXPECT_FALSE(lock.Acquire(kNoLimit));
  EXPECT_LT(Clock::now() - closed, 100ms);
  // A second copy of the program is refused.
  const std::string name = "drivedesk-test-" + std::to_string(::getpid());
  EXPECT_TRUE(AcquireSingleInstance(name));
  EXPECT_FALSE(AcquireSingleInstance(name));
}

TEST(Session, workersCountedEvenWhenThrowing_delaysKeepTheUiAlive_retriesStopAtSuccess) {
  test::HeadlessUi ui;
  Session session(ui);
  std::atomic<bool> release{false};
  StartWorker(session, [&] {
    while (!release) std::this_thread::sleep_for(1ms);
  });
  EXPECT_EQ(session.state.WorkerCount.load(), 1);
  ui.PostDelayed(20, [&] { release = true; });  // runs while the UI thread waits
  WaitForWorkers(session);
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  StartWorker(session, [] { throw 1; });
  EXPECT_TRUE(ui.RunUntil([&] { return session.state.WorkerCount.load() == 0; }, 2000));

  // On the UI thread a delay runs events and lasts at least as asked; on a worker it only sleeps.
  bool ran = false;
  ui.PostDelayed(5, [&] { ran = true; });
  auto start = Clock::now();
  DelayMs(session, 30);
  EXPECT_GT(Clock::now() - start, 30ms);
  EXPECT_TRUE(ran);
  start = Clock::now();
  DelayMs(session, 0);
  EXPECT_LT(Clock::now() - start, 50ms);
  ran = false;
  ui.PostDelayed(0, [&] { ran = true; });
  std::thread([&] { DelayMs(session, 10); }).join();
  EXPECT_FALSE(ran);

  int calls = 0;
  EXPECT_TRUE(Retry(session, 10, 0, [&] { return ++calls < 3 ? 1 : 0; }));
  EXPECT_EQ(calls, 3);
  calls = 0;
  EXPECT_FALSE(Retry(session, 11, 0, [&] { ++calls; return 1; }));
  EXPECT_EQ(calls, 11);
}

TransactionRecord Record(std::span<const uint8_t> request, std::span<const uint8_t> reply, CommandResult result) {
  TransactionRecord r;
  r.request = request;
  r.reply = reply;
  r.result = result;
  return r;
}

// A bounded ring that never makes a worker wait for a reader.
TEST(BusLog, floodFromFourWorkers_keepsTheNewestAndCountsWhatAReaderLost) {
  constexpr int kThreads = 4, kEach = 20'000;
  BusLog log(1000);
  std::atomic<int> running{kThreads};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const uint8_t request[] = {static_cast<uint8_t>(t), static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        TransactionRecord r = Record(request, {}, kOk);
        r.attempt = i;
        log.Push(r);
      }
      --running;
    });
  }
  // A slow reader: whatever it reads is whole and in each worker's order.
  uint64_t cursor = 0, read = 0, lost = 0;
  std::vector<int> lastOf(kThreads, -1);
  std::vector<BusRecord> batch;
  while (running > 0 || cursor < log.End()) {
    batch.clear();
    lost += log.ReadFrom(cursor, batch, 50);
    for (const BusRecord& r : batch) {
      ASSERT_EQ(r.requestSize, 3u);
      const int t = r.Request()[0], i = r.Request()[1] << 8 | r.Request()[2];
      ASSERT_EQ(i & 0xFFFF, r.attempt & 0xFFFF);
      ASSERT_GT(r.attempt, lastOf[t]);
      lastOf[t] = r.attempt;
    }
    read += batch.size();
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(read + lost, uint64_t{kThreads * kEach});
  // A reader that starts late gets the ring's last 1000 and the count of the rest.
  uint64_t late = 0;
  batch.clear();
  EXPECT_EQ(log.ReadFrom(late, batch, 5000), uint64_t{kThreads * kEach - 1000});
  EXPECT_EQ(batch.size(), 1000u);
  EXPECT_EQ(batch.back().sequence, uint64_t{kThreads * kEach - 1});
}

TEST(BusLogFile, appendsOneLinePerFrame_andAFailureLine_refusesAnUnwritablePath) {
  const test::PortDirectory dir;
  const std::string path = (dir.Root() / "bus.log").string();
  std::ofstream(path) << "earlier\n";
  BusLog log;
  std::string error;
  auto file = BusLogFile::Open(log, path, error);
  ASSERT_TRUE(file) << error;
  const uint8_t readRunSpeed[] = {0x01, 0x04, 0x00, 0x40, 0x00, 0x01, 0x30, 0x1E};
  const uint8_t reply[] = {0x01, 0x04, 0x02, 0x02, 0x00, 0xB8, 0x44};
  const uint8_t corrupt[] = {0x01, 0x04, 0x02, 0x02, 0x00, 0xB8, 0xE1};
  const auto push = [&](std::span<const uint8_t> rx, CommandResult result, milliseconds at) {
    TransactionRecord r = Record(readRunSpeed, rx, result);
    r.sent = Clock::time_point{} + at;
    r.received = r.sent + 4ms;
    r.sentWall = sys_days{2026y / 12 / 7} + 4h + 1min + 2s + 123ms + at;
    log.Push(r);
  };
  push(reply, kOk, 0ms);
  push({}, kShortReply, 10ms);
  push(corrupt, kBadCrc, 1000ms);
  push(std::span(reply).first(3), kShortReply, 61'000ms);
  file->Stop();
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  EXPECT_EQ(text.str(),
            "earlier\n"
            "2026-12-07T04:01:02.123Z TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T04:01:02.127Z RX 01 04 02 02 00 B8 44\n"
            "2026-12-07T04:01:02.133Z TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T04:01:02.137Z -- Timeout\n"
            "2026-12-07T04:01:03.123Z TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T04:01:03.127Z RX 01 04 02 02 00 B8 E1\n"
            "2026-12-07T04:01:03.127Z -- BadCrc\n"
            "2026-12-07T04:02:03.123Z TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T04:02:03.127Z RX 01 04 02\n"
            "2026-12-07T04:02:03.127Z -- ShortReply\n");
  for (const std::string& bad : {(dir.Root() / "missing" / "bus.log").string(), dir.Root().string(), std::string()}) {
    error.clear();
    EXPECT_FALSE(BusLogFile::Open(log, bad, error)) << bad;
    EXPECT_NE(error.find("无法写入通信日志文件"), std::string::npos) << bad;
  }
}

}  // namespace
}  // namespace dd
