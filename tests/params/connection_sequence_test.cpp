#include "params/connection_sequence.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/modbus_rtu.h"
#include "link/serial_port.h"
#include "params_fixture.h"

namespace dd::test {
namespace {

using C = Control;
using ConnectionSequenceTest = ParamsFixture;

TEST_F(ConnectionSequenceTest, fullConnection_fillsEveryFieldInItsFormAndRestoresSensorProbe) {
  Connect();
  EXPECT_TRUE(ui.Messages().empty());
  const std::pair<Control, const char*> fields[] = {
      {C::PulsesPerRevField, "51,200"}, {C::PulseLengthField, "128"}, {C::UnitsPerRevField, "400"},
      {C::DriveNumberField, "1"}, {C::InputBandwidthField, "200,000"}, {C::DriveCurrentField, "3.00"},
      {C::CurrentReductionField, "50"}, {C::ReductionDelayField, "300"},
      {C::RunSpeedField, "600"},  // 512 units of 1.171875 rpm
      {C::HomingSpeedField, "300"}, {C::StartSpeedField, "58.59375"}, {C::CommFilterField, "3"},
      {C::SpeedFilterField, "4"}, {C::HomingFilterField, "6"}, {C::DeviationAlarmField, "4000"},
      {C::InPositionWindowField, "10"}, {C::InPositionTimeField, "5"}, {C::CpuTemperatureField, "38"}};
  for (const auto& [field, text] : fields) EXPECT_EQ(Text(field), text) << field;
  EXPECT_EQ(session.controls.ComboText(C::DriveBaudList), "115200");
  // Units, the lamps of "下限+上限" (0x0008) and the level lists of a sensor that keeps the probe.
  for (const C c : {C::DriveCurrentUnit, C::CurrentReductionUnit, C::ReductionDelayUnit, C::RunSpeedUnit,
                    C::StartSpeedUnit, C::HomingSpeedUnit, C::CpuTemperatureUnit, C::DeviationAlarmUnit,
                    C::InPositionWindowUnit, C::InPositionTimeUnit, C::FarLimitCaption, C::NearLimitCaption,
                    C::OriginCaption, C::FarLimitLamp, C::NearLimitLamp, C::OriginLamp, C::OriginLevelList,
                    C::LimitLevelList, C::OriginLevelCaption, C::LimitLevelCaption}) {
    EXPECT_TRUE(Shown(c)) << c;
  }
  for (const C c : {C::HomingButton, C::JogFrame, C::MotionPanel, C::ParameterPanel})
    EXPECT_TRUE(session.controls.Enabled(c)) << c;
  auto& st = session.state;
  const std::pair<double, double> derived[] = {
      {st.SpeedCoefficient, 1}, {st.PulsesPerRev, 51200}, {st.PulseLength, 128}, {st.RunSpeedRpm, 600},
      {st.HomingSpeedRpm, 300}, {st.HomingFilter, 6}, {st.MaxCurrent, 600}, {st.MinCurrent, 50}, {st.DriveVariant, 0}};
  for (const auto& [got, want] : derived) EXPECT_EQ(got, want);
  EXPECT_EQ(session.controls.ComboIndex(C::WorkModeList), 2);
  EXPECT_TRUE(st.LimitInputMode.load());
  EXPECT_EQ(Text(C::EnableButton), sim->Enabled() ? "脱机" : "使能");
  EXPECT_EQ(st.MotorEnabled.load(), sim->Enabled());
  EXPECT_EQ(session.controls.ComboIndex(C::MoveUnitList), 0);
  EXPECT_EQ(st.WorkerCount.load(), 1);  // the polling worker
  // The probe restored, both levels normally open.
  EXPECT_TRUE(st.SensorLevelSupported.load());
  EXPECT_EQ(CountWrites(kWriteMultiple, 0x0084, 524288), 1);
  EXPECT_EQ(CountWrites(kWriteMultiple, 0x0084, 0), 1);
  EXPECT_EQ(sim->Value(0x0084).value_or(1), 0u);
  EXPECT_EQ(session.controls.ComboText(C::OriginLevelList), "常开");
  EXPECT_EQ(session.controls.ComboText(C::LimitLevelList), "常开");
}

TEST_F(ConnectionSequenceTest, otherDriveAt38_everyFrameTo38_quotientTemperatureVariantAndEnableState) {
  SimConfig drive;
  drive.motorTeeth = 0;  // stands for 50
  drive.pulseLength = 3;
  drive.cpuTemperature = 126;
  drive.driveModel = 21000000;
  drive.slaveAddress = 38;
  drive.moreDrives = {{1, 0}};  // a drive at the default address on the same line
  session.state.DriveAddress = 38;
  Open(drive);
  ASSERT_TRUE(sim->WriteRegister(0x0000, 0x0004));  // released
  session.state.MotorEnabled = true;
  session.ConnectionSequence();
  WaitRequests(18);  // two polling cycles
  const auto log = sim->Log();
  for (const SimLogEntry& e : log) EXPECT_EQ(e.address, 38);
  EXPECT_GT(log.size(), 40u);
  EXPECT_EQ(Text(C::PulsesPerRevField), "51,200");
  EXPECT_EQ(Text(C::UnitsPerRevField), "17066.6666666667");
  EXPECT_EQ(Text(C::CpuTemperatureField), "");
  EXPECT_FALSE(Shown(C::CpuTemperatureUnit));
  EXPECT_EQ(session.state.DriveVariant.load(), 1);
  EXPECT_EQ(Text(C::EnableButton), "使能");
  EXPECT_FALSE(session.state.MotorEnabled.load());
}

TEST_F(ConnectionSequenceTest, silentOrUnusableValue_stopsWithMessageAndNoWorker) {
  const std::string coefficient = "获取到错误的速度系数，请重新启动程序！", teeth = "获取到错误的电机齿数，请重新启动程序！",
                    perTooth = "获取到错误的圈脉冲数，请重新启动程序！", length = "获取到错误的脉冲长度，请重新启动程序！";
  // silentReg 0: every register answers
  struct Case { uint16_t silentReg; void (*configure)(SimConfig&); std::string text; };
  const auto none = [](SimConfig&) {};
  const Case cases[] = {
      {0x0043, none, coefficient}, {0x0050, none, teeth}, {0x0028, none, perTooth}, {0x002A, none, length},
      {0x0061, none, "获取到错误的驱动器号，请重新启动程序！"},
      {0x0062, none, "获取到错误的总线通信速率，请重新启动程序！"},
      {0, [](SimConfig& c) { c.speedCoefficient = 0; }, coefficient},
      {0, [](SimConfig& c) { c.speedCoefficient = 35792; }, coefficient},
      {0, [](SimConfig& c) { c.motorTeeth = 40000; }, teeth},
      {0, [](SimConfig& c) { c.pulsesPerTooth = 0; }, perTooth},
      {0, [](SimConfig& c) { c.pulseLength = 0; }, length}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " " + std::to_string(c.silentReg));
    SimConfig drive;
    c.configure(drive);
    Open(drive);
    if (c.silentReg != 0) sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, c.silentReg, std::nullopt});
    session.ConnectionSequence();
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages[0].title, "获取错误信息");
    EXPECT_EQ(messages[0].text, c.text);
    EXPECT_FALSE(session.controls.Enabled(C::MotionPanel));
    EXPECT_FALSE(session.controls.Enabled(C::ParameterPanel));
    EXPECT_EQ(session.state.WorkerCount.load(), 0);
    EXPECT_EQ(Text(C::DriveCurrentField), "");  // later fields untouched
  }
}

// Silent registers whose value the sequence can do without: a notice (or none for the
// speeds), their fields emptied, and the connection goes on.
TEST_F(ConnectionSequenceTest, silentOptionalRegister_noticeAndSequenceGoesOn) {
  // text empty: no message
  struct Case { std::vector<uint16_t> regs; std::string text; std::vector<Control> emptied, hidden; };
  const Case cases[] = {
      {{0x0090}, "未能正确读取输入带宽", {C::InputBandwidthField}, {}},
      {{0x0010}, "未能正确读取最大电流", {}, {}},
      {{0x0011}, "未能正确读取最小电流", {}, {}},
      {{0x0012}, "未能正确读取设定电流", {C::DriveCurrentField}, {C::DriveCurrentUnit}},
      {{0x0013}, "未能正确读取电流下降比例", {C::CurrentReductionField}, {C::CurrentReductionUnit}},
      {{0x0014}, "未能正确读取电流下降等待时间", {C::ReductionDelayField}, {C::ReductionDelayUnit}},
      {{0x0040, 0x0046, 0x0047}, "", {C::RunSpeedField, C::HomingSpeedField, C::HomingFilterField}, {C::RunSpeedUnit}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.regs.front());
    Open();
    for (uint16_t reg : c.regs) sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, reg, std::nullopt});
    session.ConnectionSequence();
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), c.text.empty() ? 0u : 1u);
    if (!c.text.empty()) {
      EXPECT_EQ(messages[0].icon, MessageIcon::Information);
      EXPECT_EQ(messages[0].title, "提示信息");
      EXPECT_EQ(messages[0].text, c.text);
    }
    for (const C f : c.emptied) EXPECT_EQ(Text(f), "") << f;
    for (const C u : c.hidden) EXPECT_FALSE(Shown(u)) << u;
    EXPECT_TRUE(Connected());
  }
  // The speeds the motions use are not left over from the connection before.
  EXPECT_EQ(session.state.RunSpeedRpm.load(), 0.0);
  EXPECT_EQ(session.state.HomingSpeedRpm.load(), 0);
  EXPECT_EQ(session.state.HomingFilter.load(), 0);
}

TEST_F(ConnectionSequenceTest, sensorLevels_fixedDriveHidesThem_configuredOneIsNotProbed) {
  SimConfig drive;
  drive.sensorLevelsConfigurable = false;
  Connect(drive);
  for (const C c : {C::OriginLevelList, C::LimitLevelList, C::OriginLevelCaption, C::LimitLevelCaption}) {
    EXPECT_FALSE(Shown(c)) << c;
  }
  EXPECT_FALSE(session.state.SensorLevelSupported.load());
  EXPECT_EQ(CountWrites(kWriteMultiple, 0x0084, 524288), 1);
  EXPECT_EQ(CountWrites(kWriteMultiple, 0x0084, 0), 0);

  drive = SimConfig{};
  drive.sensorConfig = 0x300B0000;
  Connect(drive);
  EXPECT_EQ(session.controls.ComboIndex(C::OriginLevelList), 1);
  EXPECT_EQ(session.controls.ComboIndex(C::LimitLevelList), 1);
  for (const auto& e : sim->Log()) EXPECT_NE(e.function, kWriteMultiple);
}

TEST_F(ConnectionSequenceTest, thirdSensorReadFails_noticeAndListsCleared) {
  SimConfig drive;
  drive.sensorConfig = 0x00080000;
  Open(drive);
  session.controls.SetComboIndex(C::OriginLevelList, 1);
  session.controls.SetVisible(C::OriginLevelList, false);
  // The lists are shown right before the last read: from then on that register is silent.
  bool scripted = false;
  session.controls.SetObserver([&] {
    session.controls.TakeChanges();
    if (!scripted && session.controls.Visible(C::OriginLevelList)) {
      scripted = true;
      sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, 0x0084, std::nullopt});
    }
  });
  session.controls.TakeChanges();  // end the batch of the set-up so the observer hears again
  session.ConnectionSequence();
  session.controls.SetObserver(nullptr);
  ASSERT_TRUE(scripted);
  const auto messages = ui.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "未能正确读取传感器有效状态参数");
  EXPECT_EQ(messages[0].title, "提示信息");
  EXPECT_EQ(session.controls.ComboIndex(C::OriginLevelList), -1);
  EXPECT_EQ(session.controls.ComboIndex(C::LimitLevelList), -1);
  EXPECT_TRUE(Connected());
}

TEST_F(ConnectionSequenceTest, configurationWord_setsModeAndBoxes) {
  // mode and limitMode expected, with mode 1 and limit mode set beforehand
  struct Case { uint16_t word; int mode; bool motorReversed, startReleased, appReversed; bool limitMode; };
  for (const Case& c : {Case{0x8008, 2, false, false, true, true}, Case{0x2004, 1, false, true, false, false},
                        Case{0x4000, 0, true, false, false, false}, Case{0x0003, 1, false, false, false, true},
                        Case{0x0001, 1, false, false, false, true}}) {
    SCOPED_TRACE(c.word);
    SimConfig drive;
    drive.driveConfig = c.word;
    Open(drive);
    session.controls.SetComboIndex(C::WorkModeList, 1);
    session.state.LimitInputMode = true;
    session.controls.SetChecked(C::MotorReversedCheck, true);
    session.ConnectionSequence();
    EXPECT_EQ(session.controls.ComboIndex(C::WorkModeList), c.mode);
    EXPECT_EQ(session.controls.Checked(C::MotorReversedCheck), c.motorReversed);
    EXPECT_EQ(session.controls.Checked(C::StartReleasedCheck), c.startReleased);
    EXPECT_EQ(session.controls.Checked(C::AppReversedCheck), c.appReversed);
    EXPECT_EQ(session.state.DirectionReversed.load(), c.appReversed);
    EXPECT_EQ(session.state.LimitInputMode.load(), c.limitMode);
  }
}

TEST_F(ConnectionSequenceTest, closeDuringSequence_stopsQuietlyWithoutWorker) {
  Open();
  session.controls.SetItems(C::PortList, {{"COM9", 9}});
  // The maximum current never answers; the close arrives during its retries.
  sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, 0x0010, std::nullopt});
  ui.PostDelayed(0, [&] { Click(C::OpenCloseButton); });
  session.ConnectionSequence();
  ui.Pump(50);
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_EQ(session.state.PortHandle.load(), 0);
  EXPECT_FALSE(session.controls.Enabled(C::MotionPanel));
  EXPECT_EQ(Text(C::OpenCloseButton), "开启通信");
  for (const C field : kParameterFields) EXPECT_EQ(Text(field), "") << field;
}

}  // namespace
}  // namespace dd::test
