// Enable, release, set zero and stop against the simulated drive.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "link/frame_trace.h"
#include "status/drive_state_commands.h"
#include "status/status_worker.h"
#include "tests/support/sim_session.h"

namespace dd::test {
namespace {

using C = Control;

class DriveStateCommandsTest : public SimSessionTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartDrive());
    InstallDriveStateHandlers(session);
  }
  // Clicks and waits until the workers it started have ended.
  void ClickAndWait(Control button) {
    const int running = session.state.WorkerCount.load();
    Click(button);
    ASSERT_TRUE(WorkersDown(running));
  }
  void ExpectEnabled(bool enabled) {
    EXPECT_EQ(Text(C::EnableButton), enabled ? "脱机" : "使能");
    EXPECT_EQ(session.state.MotorEnabled.load(), enabled);
  }
};

TEST_F(DriveStateCommandsTest, toggleFollowsTheDrive_notASilentOne_refusedWhileMovingOrHoming) {
  // While moving or homing, toggle and zero do nothing and say nothing.
  for (const C button : {C::EnableButton, C::SetZeroButton}) {
    for (bool moving : {true, false}) {
      session.state.MotorMoving.store(moving);
      session.state.HomingIdle.store(moving);  // not moving: homing runs
      Click(button);
      EXPECT_EQ(session.state.WorkerCount.load(), 0) << button << moving;
    }
  }
  EXPECT_EQ(sim->RequestCount(), 0u);
  EXPECT_TRUE(ui.Messages().empty());
  session.state.HomingIdle.store(true);  // and not moving (the loop's last state)
  ExpectEnabled(true);
  ClickAndWait(C::EnableButton);
  EXPECT_EQ(sim->ControlWord() & 0x0004, 0x0004);
  EXPECT_FALSE(sim->Enabled());
  ExpectEnabled(false);
  ClickAndWait(C::EnableButton);
  EXPECT_EQ(sim->ControlWord(), 0x0000);
  EXPECT_TRUE(sim->Enabled());
  ExpectEnabled(true);
  // Against a silent drive each toggle is tried once and changes nothing.
  sim->ScriptFault(SimFault::Silent, -1);
  const uint64_t before = sim->RequestCount();
  ClickAndWait(C::EnableButton);  // release
  ExpectEnabled(true);
  session.controls.SetText(C::EnableButton, "使能");
  session.state.MotorEnabled.store(false);
  ClickAndWait(C::EnableButton);  // enable
  ExpectEnabled(false);
  EXPECT_EQ(sim->RequestCount(), before + 2);
}

TEST_F(DriveStateCommandsTest, stop_neverRefused_sendsStopTargetOnlyIfElsewhereAndClear) {
  // While homing, with the target already on the actual position: stop and clear only.
  session.state.MotorMoving.store(true);
  session.state.HomingIdle.store(false);
  Click(C::StopButton);
  EXPECT_TRUE(session.state.AbortRequested.load());
  ASSERT_TRUE(WorkersDown(0));
  EXPECT_FALSE(session.state.AbortRequested.load());
  EXPECT_EQ(CountWrites(16, 0x002E), 0);
  EXPECT_EQ(ControlWrites(), (std::vector<uint64_t>{0x0008, 0x0000}));
  // A silent drive: every step tried, none more than ten times, and the request cleared.
  sim->ClearLog();
  sim->ScriptFault(SimFault::Silent, -1);
  session.state.ActualPosition.store(10);
  session.state.TargetPosition.store(20);
  Click(C::StopButton);
  ASSERT_TRUE(WorkersDown(0, 20000));
  EXPECT_FALSE(session.state.AbortRequested.load());
  EXPECT_EQ(ControlWrites(), (std::vector<uint64_t>{0x0008, 0x0000}));
  EXPECT_GE(CountWrites(16, 0x002E), 1);
  EXPECT_LE(sim->Log().size(), 30u);
}

TEST_F(DriveStateCommandsTest, setZeroThenStopDuringMove_displayFollowsAndAxisHalts) {
  sim->SetTruePosition(1234);
  StartStatusWorker(session);
  ASSERT_TRUE(TextIs(C::ActualPositionField, "1234"));
  ClickAndWait(C::SetZeroButton);
  EXPECT_DOUBLE_EQ(sim->DrivePosition(), 0);
  EXPECT_TRUE(TextIs(C::ActualPositionField, "0"));
  EXPECT_TRUE(Eventually([&] { return session.state.ActualPosition.load() == 0; }));
  EXPECT_DOUBLE_EQ(sim->TruePosition(), 1234);  // the axis itself did not move

  SetDriveTarget(7000);
  ASSERT_TRUE(Eventually([&] { return session.state.MotorMoving.load() && session.state.ActualPosition.load() > 500; }));
  sim->ClearLog();
  Click(C::StopButton);
  EXPECT_TRUE(session.state.AbortRequested.load());
  ASSERT_TRUE(WorkersDown(1));  // the status worker goes on
  EXPECT_FALSE(session.state.AbortRequested.load());
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::seconds(10)));
  EXPECT_LT(sim->DrivePosition(), 6000);
  EXPECT_DOUBLE_EQ(sim->TargetPosition(), sim->DrivePosition());
  EXPECT_EQ(sim->ControlWord(), 0x0000);
  EXPECT_GE(CountWrites(16, 0x002E), 1);
  EXPECT_EQ(ControlWrites(), (std::vector<uint64_t>{0x0008, 0x0000}));
}

TEST_F(DriveStateCommandsTest, concurrentWorkers_neverInterleaveOnTheBus) {
  // A request and its reply, and no other thread may send in between.
  struct Traced { std::chrono::steady_clock::time_point sent, received; };
  std::mutex mutex;
  std::vector<Traced> frames;
  SetFrameTrace([&](const TransactionRecord& record) {
    std::lock_guard lock(mutex);
    frames.push_back({record.sent, record.received});
  });
  StartStatusWorker(session);
  ASSERT_TRUE(TextIs(C::ActualPositionField, "0"));
  sim->ClearLog();
  for (int round = 0; round < 5; ++round) {
    for (const C button : {C::SetZeroButton, C::EnableButton, C::StopButton}) Click(button);
  }
  ASSERT_TRUE(WorkersDown(1, 30000));
  StopWorkers();
  SetFrameTrace(nullptr);
  std::lock_guard lock(mutex);
  ASSERT_GT(frames.size(), 15u);
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
    ASSERT_GE(frames[i + 1].sent, frames[i].received) << "transaction " << i + 1;
  }
  // A single-attempt command whose reply is late on a loaded machine may be lost.
  EXPECT_GT(CountWrites(6, 0x0000), 0);
}

}  // namespace
}  // namespace dd::test
