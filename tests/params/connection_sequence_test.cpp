#include "params/connection_sequence.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/modbus_rtu.h"
#include "params_fixture.h"

namespace dd::test {
namespace {

using ConnectionSequenceTest = ParamsFixture;

bool Wrote(const std::vector<SimLogEntry>& log, uint16_t reg, uint64_t value) {
  for (const auto& e : log) {
    if (e.function == kWriteMultiple && e.reg == reg && e.value == value) return true;
  }
  return false;
}

TEST_F(ConnectionSequenceTest, fullConnection_fillsEveryFieldInItsFormAndRestoresSensorProbe) {
  Connect();
  EXPECT_TRUE(ui.Messages().empty());
  const std::pair<Control, const char*> fields[] = {
      {Control::PulsesPerRevField, "51,200"}, {Control::PulseLengthField, "128"}, {Control::UnitsPerRevField, "400"}, {Control::DriveNumberField, "1"}, {Control::InputBandwidthField, "200,000"}, {Control::DriveCurrentField, "3.00"},
      {Control::CurrentReductionField, "50"}, {Control::ReductionDelayField, "300"}, {Control::RunSpeedField, "600"},  // 512 units of 1.171875 rpm
      {Control::HomingSpeedField, "300"}, {Control::StartSpeedField, "58.59375"}, {Control::CommFilterField, "3"}, {Control::SpeedFilterField, "4"}, {Control::HomingFilterField, "6"}, {Control::DeviationAlarmField, "4000"},
      {Control::InPositionWindowField, "10"}, {Control::InPositionTimeField, "5"}, {Control::CpuTemperatureField, "38"}};
  for (const auto& [field, text] : fields) EXPECT_EQ(Field(field), text) << field;
  EXPECT_EQ(session.controls.ComboText(Control::DriveBaudList), "115200");
  for (const Control unit : {Control::DriveCurrentUnit, Control::CurrentReductionUnit, Control::ReductionDelayUnit, Control::RunSpeedUnit, Control::StartSpeedUnit, Control::HomingSpeedUnit, Control::CpuTemperatureUnit, Control::DeviationAlarmUnit, Control::InPositionWindowUnit, Control::InPositionTimeUnit}) {
    EXPECT_TRUE(Shown(unit)) << unit;
  }

  auto& st = session.state;
  EXPECT_EQ(st.SpeedCoefficient.load(), 1);
  EXPECT_EQ(st.PulsesPerRev.load(), 51200.0);
  EXPECT_EQ(st.PulseLength.load(), 128.0);
  EXPECT_EQ(st.RunSpeedRpm.load(), 600.0);
  EXPECT_EQ(st.HomingSpeedRpm.load(), 300);
  EXPECT_EQ(st.HomingFilter.load(), 6);
  EXPECT_EQ(st.MaxCurrent.load(), 600);
  EXPECT_EQ(st.MinCurrent.load(), 50);
  EXPECT_EQ(st.DriveVariant.load(), 0);

  // 0x0008: "下限+上限" with its lamps, homing button and jog frame.
  EXPECT_EQ(session.controls.ComboIndex(Control::WorkModeList), 2);
  EXPECT_TRUE(st.LimitInputMode.load());
  for (const Control c : {Control::FarLimitCaption, Control::NearLimitCaption, Control::OriginCaption, Control::FarLimitLamp, Control::NearLimitLamp, Control::OriginLamp}) {
    EXPECT_TRUE(Shown(c)) << c;
  }
  EXPECT_TRUE(session.controls.Enabled(Control::HomingButton));
  EXPECT_TRUE(session.controls.Enabled(Control::JogFrame));
  EXPECT_EQ(session.controls.Text(Control::EnableButton), sim->Enabled() ? "脱机" : "使能");
  EXPECT_EQ(st.MotorEnabled.load(), sim->Enabled());
  EXPECT_EQ(session.controls.ComboIndex(Control::MoveUnitList), 0);
  EXPECT_TRUE(session.controls.Enabled(Control::MotionPanel));
  EXPECT_TRUE(session.controls.Enabled(Control::ParameterPanel));
  EXPECT_EQ(st.WorkerCount.load(), 1);  // the StatusWorker

  // The sensor keeps the probe: restored, level lists shown, both normally open.
  for (const Control c : {Control::OriginLevelList, Control::LimitLevelList, Control::OriginLevelCaption, Control::LimitLevelCaption}) EXPECT_TRUE(Shown(c)) << c;
  EXPECT_TRUE(st.SensorLevelSupported.load());
  EXPECT_TRUE(Wrote(sim->Log(), 0x0084, 524288));
  EXPECT_TRUE(Wrote(sim->Log(), 0x0084, 0));
  EXPECT_EQ(sim->Value(0x0084).value_or(1), 0u);
  EXPECT_EQ(session.controls.ComboText(Control::OriginLevelList), "常开");
  EXPECT_EQ(session.controls.ComboText(Control::LimitLevelList), "常开");
}

TEST_F(ConnectionSequenceTest, pulseLengthThree_showsFifteenDigitQuotient) {
  SimConfig config;
  config.motorTeeth = 0;  // stands for 50
  config.pulseLength = 3;
  Connect(config);
  EXPECT_EQ(Field(Control::PulsesPerRevField), "51,200");
  EXPECT_EQ(Field(Control::UnitsPerRevField), "17066.6666666667");
}

struct FatalCase {
  const char* name;
  uint16_t silentReg;  // 0: every register answers
  void (*configure)(SimConfig&);
  std::string text;
};

class FatalReadTest : public ParamsFixture, public ::testing::WithParamInterface<FatalCase> {};

TEST_P(FatalReadTest, silentOrUnusableValue_stopsWithMessageAndNoWorker) {
  SimConfig config;
  GetParam().configure(config);
  Open(config);
  if (GetParam().silentReg != 0) {
    sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, GetParam().silentReg, std::nullopt});
  }
  session.ConnectionSequence();
  const auto messages = ui.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages[0].title, "获取错误信息");
  EXPECT_EQ(messages[0].text, GetParam().text);
  EXPECT_FALSE(session.controls.Enabled(Control::MotionPanel));
  EXPECT_FALSE(session.controls.Enabled(Control::ParameterPanel));
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_EQ(Field(Control::DriveCurrentField), "");  // later fields untouched
}

const char* const kCoefficientText = "获取到错误的速度系数，请重新启动程序！";
void Defaults(SimConfig&) {}

INSTANTIATE_TEST_SUITE_P(
    EachFatalRead, FatalReadTest,
    ::testing::Values(
        FatalCase{"silentCoefficient", 0x0043, Defaults, kCoefficientText},
        FatalCase{"silentTeeth", 0x0050, Defaults, "获取到错误的电机齿数，请重新启动程序！"},
        FatalCase{"silentPulsesPerTooth", 0x0028, Defaults, "获取到错误的圈脉冲数，请重新启动程序！"},
        FatalCase{"silentPulseLength", 0x002A, Defaults, "获取到错误的脉冲长度，请重新启动程序！"},
        FatalCase{"silentModel", 0x0061, Defaults, "获取到错误的驱动器号，请重新启动程序！"},
        FatalCase{"silentBaud", 0x0062, Defaults, "获取到错误的总线通信速率，请重新启动程序！"},
        FatalCase{"coefficient0", 0, [](SimConfig& c) { c.speedCoefficient = 0; }, kCoefficientText},
        FatalCase{"coefficient35792", 0, [](SimConfig& c) { c.speedCoefficient = 35792; },
                  kCoefficientText},
        FatalCase{"teeth40000", 0, [](SimConfig& c) { c.motorTeeth = 40000; },
                  "获取到错误的电机齿数，请重新启动程序！"},
        FatalCase{"pulsesPerTooth0", 0, [](SimConfig& c) { c.pulsesPerTooth = 0; },
                  "获取到错误的圈脉冲数，请重新启动程序！"},
        FatalCase{"pulseLength0", 0, [](SimConfig& c) { c.pulseLength = 0; },
                  "获取到错误的脉冲长度，请重新启动程序！"}),
    [](const auto& p) { return std::string(p.param.name); });

struct NoticeCase {
  uint16_t reg;
  std::string text;
  std::optional<Control> field;  // emptied field
  std::optional<Control> unit;   // hidden unit label
};

class NoticeReadTest : public ParamsFixture, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(NoticeReadTest, silentRegister_noticeAndSequenceGoesOn) {
  Open();
  sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, GetParam().reg, std::nullopt});
  session.ConnectionSequence();
  const auto messages = ui.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(messages[0].title, "提示信息");
  EXPECT_EQ(messages[0].text, GetParam().text);
  if (GetParam().field) {
    EXPECT_EQ(Field(*GetParam().field), "");
  }
  if (GetParam().unit) {
    EXPECT_FALSE(Shown(*GetParam().unit));
  }
  EXPECT_TRUE(Connected());
}

INSTANTIATE_TEST_SUITE_P(
    EachNotice, NoticeReadTest,
    ::testing::Values(NoticeCase{0x0090, "未能正确读取输入带宽", Control::InputBandwidthField, std::nullopt},
                      NoticeCase{0x0010, "未能正确读取最大电流", std::nullopt, std::nullopt},
                      NoticeCase{0x0011, "未能正确读取最小电流", std::nullopt, std::nullopt},
                      NoticeCase{0x0012, "未能正确读取设定电流", Control::DriveCurrentField, Control::DriveCurrentUnit},
                      NoticeCase{0x0013, "未能正确读取电流下降比例", Control::CurrentReductionField, Control::CurrentReductionUnit},
                      NoticeCase{0x0014, "未能正确读取电流下降等待时间", Control::ReductionDelayField, Control::ReductionDelayUnit}));

TEST_F(ConnectionSequenceTest, quietOptionalReads_emptyFieldsWithoutMessage) {
  Open();
  for (uint16_t reg : {uint16_t{0x0040}, uint16_t{0x0046}, uint16_t{0x0047}}) {
    sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, reg, std::nullopt});
  }
  session.ConnectionSequence();
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(Field(Control::RunSpeedField), "");
  EXPECT_FALSE(Shown(Control::RunSpeedUnit));
  EXPECT_EQ(Field(Control::HomingSpeedField), "");
  EXPECT_EQ(Field(Control::HomingFilterField), "");
  EXPECT_EQ(session.state.RunSpeedRpm.load(), 0.0);
  EXPECT_EQ(session.state.HomingSpeedRpm.load(), 0);
  EXPECT_EQ(session.state.HomingFilter.load(), 0);
  EXPECT_TRUE(Connected());
}

TEST_F(ConnectionSequenceTest, sensorReadsZeroTwice_levelControlsHiddenNoRestore) {
  SimConfig config;
  config.sensorLevelsConfigurable = false;
  Connect(config);
  for (const Control c : {Control::OriginLevelList, Control::LimitLevelList, Control::OriginLevelCaption, Control::LimitLevelCaption}) EXPECT_FALSE(Shown(c)) << c;
  EXPECT_FALSE(session.state.SensorLevelSupported.load());
  const auto log = sim->Log();
  EXPECT_TRUE(Wrote(log, 0x0084, 524288));
  EXPECT_FALSE(Wrote(log, 0x0084, 0));
}

TEST_F(ConnectionSequenceTest, sensorAlreadyConfigured_noProbeAndBothNormallyClosed) {
  SimConfig config;
  config.sensorConfig = 0x300B0000;
  Connect(config);
  EXPECT_EQ(session.controls.ComboIndex(Control::OriginLevelList), 1);
  EXPECT_EQ(session.controls.ComboIndex(Control::LimitLevelList), 1);
  for (const auto& e : sim->Log()) EXPECT_NE(e.function, kWriteMultiple);
}

TEST_F(ConnectionSequenceTest, thirdSensorReadFails_noticeAndListsCleared) {
  SimConfig config;
  config.sensorConfig = 0x00080000;
  Open(config);
  session.controls.SetComboIndex(Control::OriginLevelList, 1);
  session.controls.SetVisible(Control::OriginLevelList, false);
  // The lists are shown right before the last read: from then on that register is silent.
  bool scripted = false;
  session.controls.SetObserver([&] {
    session.controls.TakeChanges();
    if (!scripted && session.controls.Visible(Control::OriginLevelList)) {
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
  EXPECT_EQ(session.controls.ComboIndex(Control::OriginLevelList), -1);
  EXPECT_EQ(session.controls.ComboIndex(Control::LimitLevelList), -1);
  EXPECT_TRUE(Connected());
}

struct ConfigCase {
  uint16_t word;
  int combo3;  // expected, with 1 selected beforehand
  bool check1, check2, check3;
  bool limitMode;  // expected, with true beforehand
};

class ConfigWordTest : public ParamsFixture, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(ConfigWordTest, configurationWord_setsModeAndBoxes) {
  SimConfig config;
  config.driveConfig = GetParam().word;
  Open(config);
  session.controls.SetComboIndex(Control::WorkModeList, 1);
  session.state.LimitInputMode = true;
  session.controls.SetChecked(Control::MotorReversedCheck, true);
  session.ConnectionSequence();
  EXPECT_EQ(session.controls.ComboIndex(Control::WorkModeList), GetParam().combo3);
  EXPECT_EQ(session.controls.Checked(Control::MotorReversedCheck), GetParam().check1);
  EXPECT_EQ(session.controls.Checked(Control::StartReleasedCheck), GetParam().check2);
  EXPECT_EQ(session.controls.Checked(Control::AppReversedCheck), GetParam().check3);
  EXPECT_EQ(session.state.DirectionReversed.load(), GetParam().check3);
  EXPECT_EQ(session.state.LimitInputMode.load(), GetParam().limitMode);
}

INSTANTIATE_TEST_SUITE_P(
    Words, ConfigWordTest,
    ::testing::Values(ConfigCase{0x8008, 2, false, false, true, true},
                      ConfigCase{0x2004, 1, false, true, false, false},
                      ConfigCase{0x4000, 0, true, false, false, false},
                      ConfigCase{0x0003, 1, false, false, false, true},
                      ConfigCase{0x0001, 1, false, false, false, true}));

TEST_F(ConnectionSequenceTest, releasedDrive_enableCaptionAndNotEnabled) {
  Open();
  ASSERT_TRUE(sim->WriteRegister(0x0000, 0x0004));
  session.state.MotorEnabled = true;
  session.ConnectionSequence();
  EXPECT_EQ(session.controls.Text(Control::EnableButton), "使能");
  EXPECT_FALSE(session.state.MotorEnabled.load());
}

TEST_F(ConnectionSequenceTest, hotCpuAndModelDigitOne_temperatureHiddenOriginOnFreeInput) {
  SimConfig config;
  config.cpuTemperature = 126;
  config.driveModel = 21000000;
  Connect(config);
  EXPECT_EQ(Field(Control::CpuTemperatureField), "");
  EXPECT_FALSE(Shown(Control::CpuTemperatureUnit));
  EXPECT_EQ(session.state.DriveVariant.load(), 1);
}

TEST(DriveVariant, fromModelDigits) {
  struct Case {
    double model;
    int32_t before, after;
  };
  for (const Case& c : {Case{13000000, 7, 3}, Case{10500000, 7, 0}, Case{21000000, 7, 1},
                        Case{0, 7, 3}, Case{7, 5, 5}, Case{12000000, 5, 5},
                        Case{4294967295.0, 5, 5}}) {
    EXPECT_EQ(DriveVariantFromModel(c.model, c.before), c.after) << c.model;
  }
}

TEST_F(ConnectionSequenceTest, closeDuringSequence_stopsQuietlyWithoutWorker) {
  Open();
  session.controls.SetItems(Control::PortList, {{"COM9", 9}});
  // The maximum current never answers; the close arrives during its retries.
  sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, 0x0010, std::nullopt});
  ui.PostDelayed(0, [&] { session.events.Dispatch(Control::OpenCloseButton, UiEvent::Click); });
  session.ConnectionSequence();
  ui.Pump(50);
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_EQ(session.state.PortHandle.load(), 0);
  EXPECT_FALSE(session.controls.Enabled(Control::MotionPanel));
  EXPECT_EQ(session.controls.Text(Control::OpenCloseButton), "开启通信");
  for (const Control field : kParameterFields) EXPECT_EQ(Field(field), "") << field;
}

TEST_F(ConnectionSequenceTest, closeAndReopenDuringSequence_onlyNewSequenceConnects) {
  Open();
  sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, 0x0010, std::nullopt});
  ui.PostDelayed(0, [&] {
    // Close and open again, as the connect button does, then the new one-shot timer.
    ++session.state.ConnectionEpoch;
    SerialHandle old = session.state.PortHandle.exchange(0);
    ClosePort(old);
    sim->ClearFaults();
    const SerialHandle port = OpenPortByPath(sim->DevicePath(), 115200, 8, 0, 2);
    session.state.PortHandle = port;
    ++session.state.ConnectionEpoch;
    ui.PostDelayed(10, [&] { session.ConnectionSequence(); });
  });
  session.ConnectionSequence();
  ASSERT_TRUE(ui.RunUntil([&] { return Connected(); }, 5000));
  ui.Pump(50);
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(session.state.WorkerCount.load(), 1);
  EXPECT_EQ(Field(Control::DriveCurrentField), "3.00");
  EXPECT_EQ(Field(Control::RunSpeedField), "600");
  EXPECT_EQ(session.state.MaxCurrent.load(), 600);
}

}  // namespace
}  // namespace dd::test
