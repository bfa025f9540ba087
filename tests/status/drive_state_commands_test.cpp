// Enable, release, set zero and stop against the simulated drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <span>
#include <thread>

#include "link/frame_trace.h"
#include "status/drive_state_commands.h"
#include "status/status_worker.h"
#include "tests/status/status_test_fixture.h"

namespace dd::test {
namespace {

class DriveStateCommandsTest : public SimSessionTest {
 protected:
  void SetUp() override {
    SimSessionTest::SetUp();
    InstallDriveStateHandlers(session);
    // What the connection sequence shows for an enabled drive.
    session.controls.SetText(Control::EnableButton, "脱机");
    session.state.MotorEnabled.store(true);
  }
  void Click(Control button) { session.events.Dispatch(button, UiEvent::Click); }
  // Clicks and waits until the workers it started have ended.
  void ClickAndWait(Control button) {
    const int running = session.state.WorkerCount.load();
    Click(button);
    ASSERT_TRUE(WorkersDown(running));
  }
  std::string Caption() { return session.controls.Text(Control::EnableButton); }
  // Control-word values written, a retry of the same value counted once (a reply that
  // came too late for a slow master is a retry, not a second command).
  static std::vector<uint64_t> ControlWrites(const std::vector<SimLogEntry>& log) {
    std::vector<uint64_t> values;
    for (const auto& e : log) {
      if (e.outcome == SimOutcome::Ignored) continue;  // frames run together on a starved line
      if (e.function == 6 && e.reg == 0x0000 && (values.empty() || values.back() != e.value)) {
        values.push_back(e.value);
      }
    }
    return values;
  }
};

TEST_F(DriveStateCommandsTest, releaseThenEnable_captionAndFlagFollowTheDrive) {
  ClickAndWait(Control::EnableButton);
  EXPECT_EQ(sim->ControlWord() & 0x0004, 0x0004);
  EXPECT_FALSE(sim->Enabled());
  EXPECT_EQ(Caption(), "使能");
  EXPECT_FALSE(session.state.MotorEnabled.load());

  ClickAndWait(Control::EnableButton);
  EXPECT_EQ(sim->ControlWord(), 0x0000);
  EXPECT_TRUE(sim->Enabled());
  EXPECT_EQ(Caption(), "脱机");
  EXPECT_TRUE(session.state.MotorEnabled.load());
}

TEST_F(DriveStateCommandsTest, silentDrive_captionAndFlagUnchanged) {
  sim->ScriptFault(SimFault::Silent, -1);
  ClickAndWait(Control::EnableButton);  // release
  EXPECT_EQ(Caption(), "脱机");
  EXPECT_TRUE(session.state.MotorEnabled.load());

  session.controls.SetText(Control::EnableButton, "使能");
  session.state.MotorEnabled.store(false);
  ClickAndWait(Control::EnableButton);  // enable
  EXPECT_EQ(Caption(), "使能");
  EXPECT_FALSE(session.state.MotorEnabled.load());
  // One attempt each, no retries.
  EXPECT_EQ(sim->RequestCount(), 2u);
}

TEST_F(DriveStateCommandsTest, busHeldElsewhere_enableGivesUpAfterItsWaitAndChangesNothing) {
  session.controls.SetText(Control::EnableButton, "使能");
  session.state.MotorEnabled.store(false);
  BusHold held(session.state.Bus, kNoLimit);
  ASSERT_TRUE(held);
  const auto start = std::chrono::steady_clock::now();
  Click(Control::EnableButton);
  // Nothing may be sent while another holds the bus; the worker gives up by itself.
  ASSERT_TRUE(WorkersDown(0, 20000));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(2900));
  EXPECT_EQ(sim->RequestCount(), 0u);
  EXPECT_EQ(Caption(), "使能");
  EXPECT_FALSE(session.state.MotorEnabled.load());
}

TEST_F(DriveStateCommandsTest, toggleOrZeroWhileMovingOrHoming_doesNothingAndSaysNothing) {
  for (const Control button : {Control::EnableButton, Control::SetZeroButton}) {
    for (bool moving : {true, false}) {
      session.state.MotorMoving.store(moving);
      session.state.HomingIdle.store(moving);  // not moving: homing runs
      Click(button);
      EXPECT_EQ(session.state.WorkerCount.load(), 0) << button << moving;
      EXPECT_EQ(sim->RequestCount(), 0u);
      EXPECT_TRUE(ui.Messages().empty());
      EXPECT_EQ(Caption(), "脱机");
    }
  }
}

// Target already on the actual position: only the stop and the clear go out.
TEST_F(DriveStateCommandsTest, stopWhileHomingAndIdle_neverRefusedSendsOnlyStopAndClear) {
  session.state.MotorMoving.store(true);
  session.state.HomingIdle.store(false);
  session.state.ActualPosition.store(0);
  session.state.TargetPosition.store(0);
  Click(Control::StopButton);
  EXPECT_TRUE(session.state.AbortRequested.load());
  ASSERT_TRUE(WorkersDown(0));
  EXPECT_FALSE(session.state.AbortRequested.load());
  EXPECT_EQ(TargetWrites(sim->Log()), 0);
  EXPECT_EQ(ControlWrites(sim->Log()), (std::vector<uint64_t>{0x0008, 0x0000}));
}

TEST_F(DriveStateCommandsTest, setZero_nextCycleShowsTheNewPosition) {
  sim->SetTruePosition(1234);
  StartStatusWorker(session);
  ASSERT_TRUE(Eventually([&] { return session.controls.Text(Control::ActualPositionField) == "1234"; }));
  ClickAndWait(Control::SetZeroButton);
  EXPECT_DOUBLE_EQ(sim->DrivePosition(), 0);
  EXPECT_TRUE(Eventually([&] { return session.controls.Text(Control::ActualPositionField) == "0"; }));
  EXPECT_TRUE(Eventually([&] { return session.state.ActualPosition.load() == 0; }));
  EXPECT_DOUBLE_EQ(sim->TruePosition(), 1234);  // the axis itself did not move
}

TEST_F(DriveStateCommandsTest, stopDuringMove_haltsAxisAndTargetMeetsActual) {
  StartStatusWorker(session);
  ASSERT_TRUE(Eventually([&] { return session.controls.Text(Control::ActualPositionField) == "0"; }));
  SetDriveTarget(7000);
  ASSERT_TRUE(Eventually([&] { return session.state.MotorMoving.load() &&
                                      session.state.ActualPosition.load() > 500; }));
  sim->ClearLog();
  Click(Control::StopButton);
  EXPECT_TRUE(session.state.AbortRequested.load());
  ASSERT_TRUE(WorkersDown(1));  // the status worker goes on
  EXPECT_FALSE(session.state.AbortRequested.load());
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::seconds(10)));
  EXPECT_LT(sim->DrivePosition(), 6000);
  EXPECT_DOUBLE_EQ(sim->TargetPosition(), sim->DrivePosition());
  EXPECT_EQ(sim->ControlWord(), 0x0000);
  EXPECT_GE(TargetWrites(sim->Log()), 1);
  const auto writes = ControlWrites(sim->Log());
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], 0x0008u);
  EXPECT_EQ(writes[1], 0x0000u);
  // The polled display follows.
  EXPECT_TRUE(Eventually([&] {
    return session.controls.Text(Control::ActualPositionField) == session.controls.Text(Control::TargetPositionField) &&
           !session.state.MotorMoving.load();
  }));
}

TEST_F(DriveStateCommandsTest, stopAgainstSilentDrive_stillEndsAndClearsTheRequest) {
  sim->ScriptFault(SimFault::Silent, -1);
  session.state.ActualPosition.store(10);
  session.state.TargetPosition.store(20);
  Click(Control::StopButton);
  ASSERT_TRUE(WorkersDown(0, 20000));
  EXPECT_FALSE(session.state.AbortRequested.load());
  // Every step was tried, none more than ten times.
  EXPECT_EQ(ControlWrites(sim->Log()), (std::vector<uint64_t>{0x0008, 0x0000}));
  EXPECT_GE(TargetWrites(sim->Log()), 1);
  EXPECT_LE(sim->RequestCount(), 30u);
}

TEST_F(DriveStateCommandsTest, concurrentWorkers_neverInterleaveOnTheBus) {
  // Every transaction's time on the line: a request and its reply, and no other thread
  // may send in between, so no two transactions overlap.
  struct Traced {
    std::chrono::steady_clock::time_point sent, received;
  };
  std::mutex mutex;
  std::vector<Traced> frames;
  SetFrameTrace([&](const TransactionRecord& record) {
    std::lock_guard lock(mutex);
    frames.push_back({record.sent, record.received});
  });
  StartStatusWorker(session);
  ASSERT_TRUE(Eventually([&] { return session.controls.Text(Control::ActualPositionField) == "0"; }));
  sim->ClearLog();
  session.state.ActualPosition.store(0);
  for (int round = 0; round < 5; ++round) {
    Click(Control::SetZeroButton);
    Click(Control::EnableButton);
    Click(Control::StopButton);
  }
  ASSERT_TRUE(WorkersDown(1, 30000));
  StopWorkers();
  SetFrameTrace(nullptr);

  std::lock_guard lock(mutex);
  ASSERT_GT(frames.size(), 15u);
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
    ASSERT_GE(frames[i + 1].sent, frames[i].received) << "transaction " << i + 1;
  }
  // Up to 5 set-zero, 5 toggles and 5 x (stop + clear) reached the drive (a single-attempt
  // command whose reply is late on a loaded machine may be lost).
  int commands = 0;
  for (const auto& e : sim->Log()) {
    if (e.function == 6) ++commands;
  }
  EXPECT_GT(commands, 0);
}

}  // namespace
}  // namespace dd::test
