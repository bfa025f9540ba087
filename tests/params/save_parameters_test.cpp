#include "params/save_parameters.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "link/modbus_rtu.h"
#include "params_fixture.h"

namespace dd::test {
namespace {

TEST(SaveComposition, configurationSensorAndCurrentValues) {
  EXPECT_EQ(ComposeDriveConfig(false, true, false, 4), 0x0420);
  EXPECT_EQ(ComposeDriveConfig(true, true, true, 8), 32 + 64 + 128 + 0x800);
  EXPECT_EQ(ComposeDriveConfig(false, false, false, 0), 0);
  EXPECT_EQ(ComposeSensorConfig(1, 0), 0x00080000);
  EXPECT_EQ(ComposeSensorConfig(0, 1), 0x30030000);
  EXPECT_EQ(ComposeSensorConfig(1, 1), 0x300B0000);
  EXPECT_EQ(ComposeSensorConfig(-1, -1), 0);
  // Drive current goes through single precision.
  EXPECT_EQ(DriveCurrentHundredths("1.255"), 125);
  EXPECT_EQ(DriveCurrentHundredths("0.125"), 12);
  EXPECT_EQ(DriveCurrentHundredths("3"), 300);
  EXPECT_EQ(DriveCurrentHundredths(""), std::nullopt);
  EXPECT_EQ(DriveCurrentHundredths("1e39"), std::nullopt);
}

class SavePlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DefineControls(controls);
    controls.SetComboIndex(Control::WorkModeList, 1);
    controls.SetChecked(Control::StartReleasedCheck, true);
    const std::pair<Control, const char*> texts[] = {
        {Control::DriveCurrentField, "1.255"},    {Control::CurrentReductionField, "60"},
        {Control::ReductionDelayField, "1,000"},  {Control::RunSpeedField, "100.4"},
        {Control::StartSpeedField, "30"},         {Control::CommFilterField, "7"},
        {Control::PulseLengthField, "256"},       {Control::InputBandwidthField, "150,000"},
        {Control::DriveNumberField, "1"},         {Control::HomingSpeedField, "50"},
        {Control::SpeedFilterField, "9"},         {Control::HomingFilterField, "11"}};
    for (const auto& [field, text] : texts) controls.SetText(field, text);
  }
  std::optional<double> ValueOf(const std::vector<PlannedWrite>& plan, ParameterWrite w) {
    for (const auto& p : plan) {
      if (p.write == w) return p.value;
    }
    ADD_FAILURE() << "write missing";
    return std::nullopt;
  }
  ControlModel controls;
};

TEST_F(SavePlanTest, editedGrid_convertsEveryWriteInOrder) {
  const auto plan = PlanParameterWrites(controls, 1, 51200);
  ASSERT_EQ(plan.size(), 14u);
  EXPECT_EQ(plan.front().write, ParameterWrite::DriveConfig);
  EXPECT_EQ(plan.back().write, ParameterWrite::SensorConfig);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::DriveConfig), 0x0420);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::InputBandwidth), 150000);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::DriveNumber), 1);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::CurrentReduction), 60);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::ReductionDelay), 1000);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::DriveCurrent), 125);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::RunSpeed), 85);     // 100 rpm / 1.171875
  EXPECT_EQ(ValueOf(plan, ParameterWrite::HomingSpeed), 43);  // 42.67
  EXPECT_EQ(ValueOf(plan, ParameterWrite::StartSpeed), 26);   // 25.6
  EXPECT_EQ(ValueOf(plan, ParameterWrite::CommFilter), 7);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::SpeedFilter), 9);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::HomingFilter), 11);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::PulseLength), 256);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::SensorConfig), 0);
}

TEST_F(SavePlanTest, runSpeedWholeRpmFirst_homingFromExactValue) {
  // One unit = 0.8 rpm: 100.4 -> 100 rpm -> 125 units; 100.4 exact -> 125.5 -> 126 (even).
  controls.SetText(Control::RunSpeedField, "100.4");
  controls.SetText(Control::HomingSpeedField, "100.4");
  const auto plan = PlanParameterWrites(controls, 1, 75000);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::RunSpeed), 125);
  EXPECT_EQ(ValueOf(plan, ParameterWrite::HomingSpeed), 126);
}

TEST_F(SavePlanTest, emptyOrUnreadableFields_leaveTheirRegistersAlone) {
  controls.SetComboIndex(Control::WorkModeList, -1);
  controls.SetText(Control::CurrentReductionField, "");
  controls.SetText(Control::DriveCurrentField, "abc");
  controls.SetText(Control::InputBandwidthField, "1.2.3");
  controls.SetText(Control::ReductionDelayField, "70000");     // beyond a 16-bit register
  controls.SetText(Control::DriveNumberField, "40000");    // beyond int16
  controls.SetText(Control::PulseLengthField, "-5");
  const auto plan = PlanParameterWrites(controls, 1, 51200);
  ASSERT_EQ(plan.size(), 14u);
  for (auto w : {ParameterWrite::DriveConfig, ParameterWrite::CurrentReduction,
                 ParameterWrite::DriveCurrent, ParameterWrite::InputBandwidth,
                 ParameterWrite::ReductionDelay, ParameterWrite::DriveNumber,
                 ParameterWrite::PulseLength}) {
    EXPECT_EQ(ValueOf(plan, w), std::nullopt) << static_cast<int>(w);
  }
  EXPECT_EQ(ValueOf(plan, ParameterWrite::CommFilter), 7);
}

TEST_F(SavePlanTest, unusableScaling_speedsLeftAlone) {
  for (auto scale : {std::pair<int32_t, double>{0, 51200}, {35792, 51200}, {1, 0}}) {
    const auto plan = PlanParameterWrites(controls, scale.first, scale.second);
    EXPECT_EQ(ValueOf(plan, ParameterWrite::RunSpeed), std::nullopt);
    EXPECT_EQ(ValueOf(plan, ParameterWrite::HomingSpeed), std::nullopt);
    EXPECT_EQ(ValueOf(plan, ParameterWrite::StartSpeed), std::nullopt);
  }
}

class SaveTest : public ParamsFixture {
 protected:
  void SaveAndWaitForReread() {
    session.events.Dispatch(Control::SaveButton, UiEvent::Click);
    ASSERT_FALSE(Connected());  // the save has emptied the panel and stopped polling
    ASSERT_TRUE(ui.RunUntil([&] { return Connected(); }, 20000));
  }
};

TEST_F(SaveTest, editedGrid_everyValueEndsInDriveAndIsReadBack) {
  Connect();
  ASSERT_TRUE(Connected());
  EditGrid(session.controls);
  const uint64_t savesBefore = sim->SaveCount();
  SaveAndWaitForReread();
  ExpectEditedValuesInDrive(*sim);
  EXPECT_EQ(sim->SaveCount(), savesBefore + 1);
  EXPECT_TRUE(ui.Messages().empty());
  // Read back in the grid's forms.
  EXPECT_EQ(Field(Control::DriveCurrentField), "1.25");
  EXPECT_EQ(Field(Control::RunSpeedField), "99.609375");
  EXPECT_EQ(Field(Control::PulseLengthField), "256");
  EXPECT_EQ(Field(Control::InputBandwidthField), "150,000");
  EXPECT_EQ(session.controls.ComboIndex(Control::WorkModeList), 1);
  EXPECT_TRUE(session.controls.Checked(Control::StartReleasedCheck));
  EXPECT_EQ(session.controls.ComboIndex(Control::OriginLevelList), 1);
  EXPECT_EQ(session.controls.ComboIndex(Control::LimitLevelList), 1);
  EXPECT_EQ(session.state.WorkerCount.load(), 1);
  EXPECT_FALSE(session.state.StopPolling.load());
}

TEST_F(SaveTest, silentDrive_wholeSequenceRunsAndEndsWithReread) {
  Connect();
  ASSERT_TRUE(Connected());
  EditGrid(session.controls);
  sim->ScriptFault(SimFaultRule{SimFault::Silent, -1, std::nullopt, kWriteSingle});
  sim->ScriptFault(SimFaultRule{SimFault::Silent, -1, std::nullopt, kWriteMultiple});
  sim->ClearLog();
  SaveAndWaitForReread();
  // 14 writes of 11 attempts each, then the store command once (the re-read follows).
  int writes = 0;
  for (const auto& e : sim->Log()) {
    if (e.function == kWriteSingle || e.function == kWriteMultiple) ++writes;
    if (e.function == kWriteSingle && e.reg == 0 && e.value == 1) break;
  }
  EXPECT_EQ(writes, 14 * 11 + 1);
}

TEST_F(SaveTest, levelsNotConfigurable_sensorWriteSkipped) {
  SimConfig config;
  config.sensorLevelsConfigurable = false;
  Connect(config);
  ASSERT_TRUE(Connected());
  EditGrid(session.controls);
  sim->ClearLog();
  SaveAndWaitForReread();
  bool savedStarted = false;
  for (const auto& e : sim->Log()) {
    if (e.function == kWriteSingle && e.reg == 0 && e.value == 1) savedStarted = true;
    if (!savedStarted) {
      EXPECT_FALSE(e.function == kWriteMultiple && e.reg == 0x0084);
    }
  }
  EXPECT_TRUE(savedStarted);
  EXPECT_EQ(sim->Register(0x0040), 85);
}

TEST_F(SaveTest, homingNotBelowRun_messageAndNothingWritten) {
  Connect();
  ASSERT_TRUE(Connected());
  session.controls.SetText(Control::RunSpeedField, "100");
  session.controls.SetText(Control::HomingSpeedField, "100");
  sim->ClearLog();
  session.events.Dispatch(Control::SaveButton, UiEvent::Click);
  const auto messages = ui.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "错误信息");
  EXPECT_EQ(messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages[0].text, "    [归零速度]必须小于[运行速度]，请修改；\r\n   保存未完成；");
  for (const auto& e : sim->Log()) {
    EXPECT_NE(e.function, kWriteSingle);
    EXPECT_NE(e.function, kWriteMultiple);
  }
  EXPECT_TRUE(session.controls.Enabled(Control::MotionPanel));
  EXPECT_FALSE(session.state.StopPolling.load());
}

TEST_F(SaveTest, emptyFieldAndNoWorkMode_registersKeepDriveValues) {
  Connect();
  ASSERT_TRUE(Connected());
  session.controls.SetText(Control::HomingSpeedField, "50");
  session.controls.SetText(Control::CurrentReductionField, "");
  session.controls.SetText(Control::CommFilterField, "8");
  session.controls.SetComboIndex(Control::WorkModeList, -1);
  SaveAndWaitForReread();
  EXPECT_EQ(sim->Register(0x0013), 50);
  EXPECT_EQ(sim->Register(0x0008), 0x0008);
  EXPECT_EQ(sim->Register(0x0042), 8);
  EXPECT_EQ(Field(Control::CurrentReductionField), "50");
}

TEST_F(SaveTest, duringSave_panelsDisabledBeforeWorkersAreAwaitedAndPollingStopped) {
  Connect();
  ASSERT_TRUE(Connected());
  session.controls.SetText(Control::HomingSpeedField, "50");
  bool checked = false;
  // Events run while the save waits for the workers and while the first write is
  // retried: the controls that start workers are already disabled then, and once writing
  // has begun no worker runs and polling is stopped.
  sim->ScriptFault(SimFaultRule{SimFault::Drop, 1, 0x0008, kWriteSingle});
  sim->ClearLog();
  std::function<void()> probe = [&] {
    EXPECT_FALSE(session.controls.Enabled(Control::MotionPanel));
    EXPECT_FALSE(session.controls.Enabled(Control::ParameterPanel));
    EXPECT_FALSE(session.controls.Enabled(Control::OpenCloseButton));
    bool writing = false;
    for (const auto& e : sim->Log()) writing = writing || (e.function == kWriteSingle && e.reg == 8);
    if (!writing) {
      ui.PostDelayed(0, probe);
      return;
    }
    checked = true;
    EXPECT_EQ(session.state.WorkerCount.load(), 0);
    EXPECT_TRUE(session.state.StopPolling.load());
  };
  ui.PostDelayed(0, probe);
  SaveAndWaitForReread();
  EXPECT_TRUE(checked);
}

}  // namespace
}  // namespace dd::test
