#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/control_model.h"
#include "app/event_router.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "tests/support/headless_ui.h"

#include <sys/wait.h>
#include <unistd.h>

namespace dd {
namespace {

using namespace std::chrono_literals;

TEST(ControlModel, changesAreCoalescedIntoOneNotificationPerBatch) {
  ControlModel model;
  std::atomic<int> notifications{0};
  model.SetObserver([&] { ++notifications; });
  for (int i = 0; i < 1000; ++i) model.SetText(Control::ActualPositionField, std::to_string(i));
  model.SetColor(Control::MovingLamp, kRed);
  EXPECT_EQ(notifications.load(), 1);
  auto batch = model.TakeChanges();
  ASSERT_EQ(batch.size(), 2u);
  EXPECT_EQ(batch[0].first, Control::ActualPositionField);
  EXPECT_EQ(batch[0].second.text, "999");
  model.SetText(Control::ActualPositionField, "x");
  EXPECT_EQ(notifications.load(), 2);
}

TEST(ControlModel, unchangedValuesAndWidgetEditsDoNotNotify) {
  ControlModel model;
  model.Define(Control::RunSpeedField, ControlState{.text = "100"});
  int notifications = 0;
  model.SetObserver([&] { ++notifications; });
  model.SetText(Control::RunSpeedField, "100");
  model.SetTextFromWidget(Control::RunSpeedField, "250");
  model.SetCheckedFromWidget(Control::MotorReversedCheck, true);
  EXPECT_EQ(notifications, 0);
  EXPECT_EQ(model.Text(Control::RunSpeedField), "250");
  EXPECT_TRUE(model.Checked(Control::MotorReversedCheck));
  EXPECT_TRUE(model.TakeChanges().empty());
}

TEST(ControlModel, comboSelectionGivesTextAndItemData) {
  ControlModel model;
  model.SetItems(Control::WorkModeList, {{"方向+脉冲", 0}, {"双脉冲", 4}, {"下限+上限", 8}});
  EXPECT_EQ(model.ComboText(Control::WorkModeList), "");
  EXPECT_EQ(model.ComboData(Control::WorkModeList, -7), -7);
  model.SetComboIndex(Control::WorkModeList, 2);
  EXPECT_EQ(model.ComboText(Control::WorkModeList), "下限+上限");
  EXPECT_EQ(model.ComboData(Control::WorkModeList), 8);
  model.SetComboIndex(Control::WorkModeList, 5);  // out of range: no entry
  EXPECT_EQ(model.ComboIndex(Control::WorkModeList), -1);
}

TEST(ControlModel, concurrentWritersAndReaderStayConsistent) {
  ControlModel model;
  std::atomic<int> batches{0};
  model.SetObserver([&] { ++batches; });
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&model, t] {
      for (int i = 0; i < 2000; ++i) model.SetText(kParameterFields.at(t), std::to_string(i));
    });
  }
  for (auto& w : writers) w.join();
  EXPECT_GE(batches.load(), 1);
  EXPECT_EQ(model.TakeChanges().size(), 4u);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(model.Text(kParameterFields.at(t)), "1999");
}

TEST(EventRouter, dispatchKeyFilterAndValidatorDefaults) {
  EventRouter router;
  int clicks = 0;
  router.On(Control::SetZeroButton, UiEvent::Click, [&](int) { ++clicks; });
  EXPECT_TRUE(router.Dispatch(Control::SetZeroButton, UiEvent::Click));
  EXPECT_FALSE(router.Dispatch(Control::SetZeroButton, UiEvent::MouseDown));
  EXPECT_FALSE(router.Dispatch(Control::StopButton, UiEvent::Click));
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(router.FilterKey(Control::MoveDistanceField, U'x'));
  router.SetKeyFilter(Control::MoveDistanceField, [](char32_t k) { return k >= U'0' && k <= U'9'; });
  EXPECT_FALSE(router.FilterKey(Control::MoveDistanceField, U'x'));
  EXPECT_TRUE(router.FilterKey(Control::MoveDistanceField, U'7'));
  EXPECT_TRUE(router.Validate(Control::DriveCurrentField));
  router.SetValidator(Control::DriveCurrentField, [] { return false; });
  EXPECT_FALSE(router.Validate(Control::DriveCurrentField));
}

TEST(Helpers, toBinaryString_mostSignificantBitFirst) {
  EXPECT_EQ(ToBinaryString(5, 1), "00000101");
  EXPECT_EQ(ToBinaryString(0x8000, 2), "1000000000000000");
  EXPECT_EQ(ToBinaryString(0x2004, 2), "0010000000000100");
  EXPECT_EQ(ToBinaryString(0, 4), std::string(32, '0'));
}

TEST(BusLock, recursiveForItsHolderTimedForOthersAndFailsAtOnceWhenClosed) {
  BusLock lock;
  ASSERT_TRUE(lock.Acquire(kBusWaitMs));
  ASSERT_TRUE(lock.Acquire(0));  // same thread takes it again
  bool other = true;
  const auto start = std::chrono::steady_clock::now();
  std::thread([&] { other = lock.Acquire(50); }).join();
  EXPECT_FALSE(other);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 45ms);
  lock.Release();
  lock.Release();
  std::thread([&] {
    other = lock.Acquire(50);
    if (other) lock.Release();
  }).join();
  EXPECT_TRUE(other);
  // Once closed, even an unlimited wait fails at once.
  lock.Close();
  const auto closed = std::chrono::steady_clock::now();
  EXPECT_FALSE(lock.Acquire(kNoLimit));
  EXPECT_LT(std::chrono::steady_clock::now() - closed, 100ms);
}

TEST(Workers, countCoversTheWholeWorkerEvenAThrowingOneAndWaitProcessesEvents) {
  test::HeadlessUi ui;
  Session session(ui);
  std::atomic<bool> release{false};
  StartWorker(session, [&] {
    while (!release) std::this_thread::sleep_for(1ms);
  });
  EXPECT_EQ(session.state.WorkerCount.load(), 1);
  // The release comes from a window event that runs while the UI thread waits.
  ui.PostDelayed(20, [&] { release = true; });
  WaitForWorkers(session);
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_TRUE(release);
  // A throwing worker still leaves the count.
  StartWorker(session, [] { throw 1; });
  EXPECT_TRUE(ui.RunUntil([&] { return session.state.WorkerCount.load() == 0; }, 2000));
}

TEST(Delay, onUiThreadWaitsLongerThanAskedKeepingTheUiAliveOnAWorkerOnlySleeps) {
  test::HeadlessUi ui;
  Session session(ui);
  bool ran = false;
  ui.PostDelayed(5, [&] { ran = true; });
  const auto start = std::chrono::steady_clock::now();
  DelayMs(session, 30);
  EXPECT_GT(std::chrono::steady_clock::now() - start, 30ms);
  EXPECT_TRUE(ran);
  const auto zero = std::chrono::steady_clock::now();
  DelayMs(session, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - zero, 50ms);
  // On a worker it only sleeps.
  bool ranDuringWorkerDelay = false;
  ui.PostDelayed(0, [&] { ranDuringWorkerDelay = true; });
  std::thread([&] { DelayMs(session, 10); }).join();
  EXPECT_FALSE(ranDuringWorkerDelay);
}

TEST(Retry, stopsAtFirstSuccessAndCountsAttempts) {
  test::HeadlessUi ui;
  Session session(ui);
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
    char go;
    (void)!::read(toChild[0], &go, 1);  // hold the lock until told to end
    ::_exit(0);
  }
  char first = 0;
  ASSERT_EQ(::read(toParent[0], &first, 1), 1);
  EXPECT_EQ(first, 'y');
  EXPECT_FALSE(AcquireSingleInstance(name));
  (void)!::write(toChild[1], "x", 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(AcquireSingleInstance(name));
}

}  // namespace
}  // namespace dd
