// The control model, the bus lock, workers, delays and retries, and the single instance.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/control_model.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "tests/support/headless_ui.h"

namespace dd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

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
  EXPECT_EQ(model.ComboText(Control::WorkModeList), "");
  EXPECT_EQ(model.ComboData(Control::WorkModeList, -7), -7);
  model.SetComboIndex(Control::WorkModeList, 2);
  EXPECT_EQ(model.ComboText(Control::WorkModeList), "下限+上限");
  EXPECT_EQ(model.ComboData(Control::WorkModeList), 8);
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

TEST(SingleInstance, secondCopyIsRefusedUntilTheFirstHasEnded) {
  const std::string name = "drivedesk-test-" + std::to_string(::getpid());
  int toParent[2], toChild[2];
  ASSERT_EQ(::pipe(toParent), 0);
  ASSERT_EQ(::pipe(toChild), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char ok = AcquireSingleInstance(name) ? 'y' : 'n';
    (void)!::write(toParent[1], &ok, 1);
    (void)!::read(toChild[0], &ok, 1);  // hold the lock until told to end
    ::_exit(0);
  }
  char first = 0;
  ASSERT_EQ(::read(toParent[0], &first, 1), 1);
  EXPECT_EQ(first, 'y');
  EXPECT_FALSE(AcquireSingleInstance(name));
  (void)!::write(toChild[1], "x", 1);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(AcquireSingleInstance(name));
}

}  // namespace
}  // namespace dd
