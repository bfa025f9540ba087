#include "params/save_parameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/drive_address.h"
#include "link/modbus_rtu.h"
#include "motion/jog_move.h"
#include "params_fixture.h"
#include "ui/window_layout.h"

namespace dd::test {
namespace {

using C = Control;

TEST(SavePlan, wordsComposed_unreadableFieldsAndUnusableScalingLeaveTheirRegistersAlone) {
  EXPECT_EQ(ComposeDriveConfig(true, true, true, 8), 32 + 64 + 128 + 0x800);
  EXPECT_EQ(ComposeSensorConfig(1, 0), 0x00080000);
  EXPECT_EQ(DriveCurrentHundredths("0.125"), 12);  // through single precision
  ControlModel controls;
  DefineControls(controls);
  const std::pair<C, const char*> texts[] = {
      {C::DriveCurrentField, "abc"}, {C::CurrentReductionField, ""}, {C::InputBandwidthField, "1.2.3"},
      {C::ReductionDelayField, "70000"},  // beyond a 16-bit register
      {C::DriveNumberField, "40000"},     // beyond int16
      {C::PulseLengthField, "-5"}, {C::CommFilterField, "7"}, {C::RunSpeedField, "100.4"},
      {C::HomingSpeedField, "100.4"}, {C::StartSpeedField, "30"}};
  for (const auto& [field, text] : texts) controls.SetText(field, text);
  auto valueOf = [](const std::vector<PlannedWrite>& plan, ParameterWrite w) {
    for (const auto& p : plan) if (p.write == w) return p.value;
    ADD_FAILURE() << "write missing";
    return std::optional<double>{};
  };
  using W = ParameterWrite;
  auto plan = PlanParameterWrites(controls, 1, 75000);
  for (W w : {W::DriveConfig, W::CurrentReduction, W::DriveCurrent, W::InputBandwidth, W::ReductionDelay,
              W::DriveNumber, W::PulseLength}) {
    EXPECT_EQ(valueOf(plan, w), std::nullopt) << static_cast<int>(w);
  }
  EXPECT_EQ(valueOf(plan, W::CommFilter), 7);
  // One unit = 0.8 rpm: the run speed as whole rpm first (100 -> 125 units), the homing
  // speed from the exact value (125.5 -> 126, even).
  EXPECT_EQ(valueOf(plan, W::RunSpeed), 125);
  EXPECT_EQ(valueOf(plan, W::HomingSpeed), 126);
  for (auto scale : {std::pair<int32_t, double>{0, 51200}, {35792, 51200}, {1, 0}}) {
    plan = PlanParameterWrites(controls, scale.first, scale.second);
    for (W w : {W::RunSpeed, W::HomingSpeed, W::StartSpeed}) EXPECT_EQ(valueOf(plan, w), std::nullopt);
  }
}

class SaveTest : public ParamsFixture {
 protected:
  void SetUp() override {
    ParamsFixture::SetUp();
    ASSERT_NO_FATAL_FAILURE(Connect(config));
    ASSERT_TRUE(Connected());
  }
  void SaveAndWaitForReread() {
    Click(C::SaveButton);
    ASSERT_FALSE(Connected());  // the save has emptied the panel and stopped polling
    ASSERT_TRUE(Eventually([&] { return Connected(); }, 30000));
  }
  double StartMove(double distance) {
    const double target = sim->TargetPosition() + distance;
    session.state.MoveTarget = target;
    StartMotionWorker(session, [this] { MoveWorker(session); });
    return target;
  }
  // A long move, then the drive vanishes; returns once the lamp would show amber.
  void MoveOntoSilentDrive() {
    StartMove(5e6);
    ASSERT_TRUE(Eventually([&] { return session.state.MotorMoving.load(); }));
    sim->Vanish();
    ASSERT_TRUE(Eventually([&] { return session.state.DriveSilent.load(); }));
    ui.ClearMessages();
  }
  // Registers written before the store command, each once, in order.
  std::vector<uint16_t> WrittenBeforeStore() const {
    std::vector<uint16_t> regs;
    for (const auto& e : sim->Log()) {
      if (e.function == kWriteSingle && e.reg == 0 && e.value == 1) break;
      if ((e.function == kWriteSingle || e.function == kWriteMultiple) &&
          std::find(regs.begin(), regs.end(), e.reg) == regs.end()) {
        regs.push_back(e.reg);
      }
    }
    return regs;
  }
};

TEST_F(SaveTest, homingNotBelowRunRefused_editedGridWrittenInOrderAndReadBack_silentDriveTriedElevenTimes) {
  // Homing speed not below the run speed: a message, nothing written.
  session.controls.SetText(C::RunSpeedField, "100");
  session.controls.SetText(C::HomingSpeedField, "100");
  sim->ClearLog();
  Click(C::SaveButton);
  const auto messages = ui.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "错误信息");
  EXPECT_EQ(messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages[0].text, "    [归零速度]必须小于[运行速度]，请修改；\r\n   保存未完成；");
  EXPECT_TRUE(WrittenBeforeStore().empty());
  EXPECT_TRUE(session.controls.Enabled(C::MotionPanel));
  EXPECT_FALSE(session.state.StopPolling.load());
  // The edits of a typical save end in the drive, stored, and are read back.
  ui.ClearMessages();
  EditGrid(session.controls);
  const uint64_t savesBefore = sim->SaveCount();
  sim->ClearLog();
  SaveAndWaitForReread();
  ExpectEditedValuesInDrive(*sim);
  EXPECT_EQ(WrittenBeforeStore(), (std::vector<uint16_t>{0x0008, 0x0090, 0x0061, 0x0013, 0x0014, 0x0012, 0x0040,
                                                         0x0046, 0x0041, 0x0042, 0x0044, 0x0047, 0x002A, 0x0084}));
  EXPECT_EQ(sim->SaveCount(), savesBefore + 1);
  EXPECT_TRUE(ui.Messages().empty());
  // Read back in the grid's forms.
  EXPECT_EQ(Text(C::DriveCurrentField), "1.25");
  EXPECT_EQ(Text(C::RunSpeedField), "99.609375");
  EXPECT_EQ(Text(C::PulseLengthField), "256");
  EXPECT_EQ(Text(C::InputBandwidthField), "150,000");
  EXPECT_EQ(session.controls.ComboIndex(C::WorkModeList), 1);
  EXPECT_TRUE(session.controls.Checked(C::StartReleasedCheck));
  EXPECT_EQ(session.controls.ComboIndex(C::OriginLevelList), 1);
  EXPECT_EQ(session.controls.ComboIndex(C::LimitLevelList), 1);
  EXPECT_EQ(session.state.WorkerCount.load(), 1);
  EXPECT_FALSE(session.state.StopPolling.load());
  // Against a silent drive: every write tried eleven times, then the store and the re-read.
  EditGrid(session.controls);
  sim->ScriptFault(SimFaultRule{SimFault::Silent, -1, std::nullopt, kWriteSingle});
  sim->ScriptFault(SimFaultRule{SimFault::Silent, -1, std::nullopt, kWriteMultiple});
  sim->ClearLog();
  SaveAndWaitForReread();
  int writes = 0;
  for (const auto& e : sim->Log()) {
    if (e.function == kWriteSingle || e.function == kWriteMultiple) ++writes;
    if (e.function == kWriteSingle && e.reg == 0 && e.value == 1) break;
  }
  EXPECT_EQ(writes, 14 * 11 + 1);
}

TEST_F(SaveTest, newDriveNumber_followedBeforeTheRereadShownAndRemembered) {
  session.SettingsPath = ::testing::TempDir() + "drivedesk-settings.conf";
  session.controls.SetText(C::DriveNumberField, "38");
  sim->ClearLog();
  SaveAndWaitForReread();
  EXPECT_EQ(sim->Register(0x0061), 38);
  EXPECT_EQ(session.state.DriveAddress.load(), 38);
  EXPECT_EQ(Text(C::DriveNumberField), "38");
  EXPECT_EQ(Text(C::StatusText), "驱动器号已改为 38：此后与驱动器地址 38 通信；");
  EXPECT_EQ(Text(C::MainWindow), "DriveDesk - 驱动器地址 38");
  EXPECT_EQ(RememberedAddress(session.SettingsPath), 38);
  EXPECT_TRUE(ui.Messages().empty());
  const auto log = sim->Log();
  const auto store = std::find_if(log.begin(), log.end(), [](const SimLogEntry& e) { return e.reg == 0 && e.value == 1; });
  ASSERT_NE(store, log.end());
  for (auto e = log.begin(); e != log.end(); ++e) EXPECT_EQ(e->address, e <= store ? 1 : 38);
  std::remove(session.SettingsPath.c_str());
}

// A save clicked just after a move on a healthy drive lets the move reach its target. A
// drive that goes silent during a move holds neither the save nor the window's close:
// the save ends with the re-read's failure message, the close within seconds, and no
// worker is left.
TEST_F(SaveTest, moveThenSave_healthyMoveEnds_silentDriveEndsTheSave) {
  const double target = StartMove(2000);
  SaveAndWaitForReread();
  EXPECT_EQ(sim->TargetPosition(), target);
  ASSERT_NO_FATAL_FAILURE(MoveOntoSilentDrive());
  Click(C::SaveButton);
  ASSERT_TRUE(Eventually([&] { return !ui.Messages().empty(); }, 30000));
  EXPECT_EQ(ui.Messages()[0].title, "获取错误信息");
  EXPECT_TRUE(WorkersDown(0, 5000));
}

TEST_F(SaveTest, silentDriveDuringAMove_closingCommunicationAndWindowEndWithinSeconds) {
  ASSERT_NO_FATAL_FAILURE(MoveOntoSilentDrive());
  auto began = std::chrono::steady_clock::now();
  Click(C::OpenCloseButton);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(Text(C::OpenCloseButton), kCaptionOpen);
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_FALSE(session.state.MotorMoving.load());
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_NO_FATAL_FAILURE(MoveOntoSilentDrive());
  began = std::chrono::steady_clock::now();
  session.events.Dispatch(C::MainWindow, UiEvent::Close);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
}

TEST_F(SaveTest, emptyFieldNoWorkModeFixedLevels_thoseRegistersKeepDriveValues) {
  SimConfig fixedLevels;
  fixedLevels.sensorLevelsConfigurable = false;
  ASSERT_NO_FATAL_FAILURE(Connect(fixedLevels));
  ASSERT_TRUE(Connected());
  session.controls.SetText(C::HomingSpeedField, "50");
  session.controls.SetText(C::CurrentReductionField, "");
  session.controls.SetText(C::CommFilterField, "8");
  session.controls.SetComboIndex(C::WorkModeList, -1);
  // While the save waits for the workers and retries its first write, the controls that
  // start workers are already disabled; once writing has begun no worker runs.
  sim->ScriptFault(SimFaultRule{SimFault::Drop, 1, 0x0090, kWriteMultiple});
  sim->ClearLog();
  bool checked = false;
  std::function<void()> probe = [&] {
    EXPECT_FALSE(session.controls.Enabled(C::MotionPanel));
    EXPECT_FALSE(session.controls.Enabled(C::ParameterPanel));
    EXPECT_FALSE(session.controls.Enabled(C::OpenCloseButton));
    if (WrittenBeforeStore().empty()) return ui.PostDelayed(0, probe);
    checked = true;
    EXPECT_EQ(session.state.WorkerCount.load(), 0);
    EXPECT_TRUE(session.state.StopPolling.load());
  };
  ui.PostDelayed(0, probe);
  SaveAndWaitForReread();
  EXPECT_TRUE(checked);
  const auto written = WrittenBeforeStore();
  for (const int reg : {0x0008, 0x0013, 0x0084}) {
    EXPECT_EQ(std::count(written.begin(), written.end(), static_cast<uint16_t>(reg)), 0) << reg;
  }
  EXPECT_EQ(sim->Register(0x0013), 50);
  EXPECT_EQ(sim->Register(0x0008), 0x0008);
  EXPECT_EQ(sim->Register(0x0042), 8);
  EXPECT_EQ(Text(C::CurrentReductionField), "50");
}

}  // namespace
}  // namespace dd::test
