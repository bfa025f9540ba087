#include "params/connection_sequence.h"

#include <gtest/gtest.h>

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
  const std::pair<int, const char*> fields[] = {
      {10, "51,200"}, {9, "128"}, {8, "400"}, {15, "1"}, {14, "200,000"}, {0, "3.00"},
      {1, "50"}, {2, "300"}, {4, "600"},  // 512 units of 1.171875 rpm
      {17, "1200"}, {5, "58.59375"}, {6, "3"}, {22, "4"}, {23, "6"}, {11, "4000"},
      {12, "10"}, {13, "5"}, {16, "38"}};
  for (const auto& [field, text] : fields) EXPECT_EQ(Field(field), text) << field;
  EXPECT_EQ(session.controls.ComboText("Combo4"), "115200");
  for (int label : {20, 21, 22, 24, 25, 31, 32, 33, 34, 35}) EXPECT_TRUE(Shown(Label1(label))) << label;

  auto& st = session.state;
  EXPECT_EQ(st.SpeedCoefficient.load(), 1);
  EXPECT_EQ(st.PulsesPerRev.load(), 51200.0);
  EXPECT_EQ(st.PulseLength.load(), 128.0);
  EXPECT_EQ(st.RunSpeedRpm.load(), 600.0);
  EXPECT_EQ(st.HomingSpeedRpm.load(), 1200);
  EXPECT_EQ(st.HomingFilter.load(), 6);
  EXPECT_EQ(st.MaxCurrent.load(), 600);
  EXPECT_EQ(st.MinCurrent.load(), 50);
  EXPECT_EQ(st.DriveVariant.load(), 0);

  // 0x0008: "下限+上限" with its lamps, homing button and jog frame.
  EXPECT_EQ(session.controls.ComboIndex("Combo3"), 2);
  EXPECT_TRUE(st.LimitInputMode.load());
  for (const char* c : {"Label1(41)", "Label1(42)", "Label1(43)", "Shape2", "Shape3", "Shape6"}) {
    EXPECT_TRUE(Shown(c)) << c;
  }
  EXPECT_TRUE(session.controls.Enabled("Command2"));
  EXPECT_TRUE(session.controls.Enabled("Frame1"));
  EXPECT_EQ(session.controls.Text("Command9"), sim->Enabled() ? "脱机" : "使能");
  EXPECT_EQ(st.MotorEnabled.load(), sim->Enabled());
  EXPECT_EQ(session.controls.ComboIndex("Combo5"), 0);
  EXPECT_TRUE(session.controls.Enabled("Picture1"));
  EXPECT_TRUE(session.controls.Enabled("Picture2"));
  EXPECT_EQ(st.WorkerCount.load(), 1);  // the StatusWorker

  // The sensor keeps the probe: restored, level lists shown, both normally open.
  for (const char* c : {"Combo6", "Combo7", "Label1(55)", "Label1(56)"}) EXPECT_TRUE(Shown(c)) << c;
  EXPECT_TRUE(st.SensorLevelSupported.load());
  EXPECT_TRUE(Wrote(sim->Log(), 0x0084, 524288));
  EXPECT_TRUE(Wrote(sim->Log(), 0x0084, 0));
  EXPECT_EQ(sim->Value(0x0084).value_or(1), 0u);
  EXPECT_EQ(session.controls.ComboText("Combo6"), "常开");
  EXPECT_EQ(session.controls.ComboText("Combo7"), "常开");
}

TEST_F(ConnectionSequenceTest, pulseLengthThree_showsFifteenDigitQuotient) {
  SimConfig config;
  config.motorTeeth = 0;  // stands for 50
  config.pulseLength = 3;
  Connect(config);
  EXPECT_EQ(Field(10), "51,200");
  EXPECT_EQ(Field(8), "17066.6666666667");
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
  EXPECT_FALSE(session.controls.Enabled("Picture1"));
  EXPECT_FALSE(session.controls.Enabled("Picture2"));
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_EQ(Field(0), "");  // later fields untouched
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
  int field;  // emptied field, -1 none
  int label;  // hidden unit label, -1 none
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
  if (GetParam().field >= 0) {
    EXPECT_EQ(Field(GetParam().field), "");
  }
  if (GetParam().label >= 0) {
    EXPECT_FALSE(Shown(Label1(GetParam().label)));
  }
  EXPECT_TRUE(Connected());
}

INSTANTIATE_TEST_SUITE_P(
    EachNotice, NoticeReadTest,
    ::testing::Values(NoticeCase{0x0090, "未能正确读取输入带宽", 14, -1},
                      NoticeCase{0x0010, "未能正确读取最大电流", -1, -1},
                      NoticeCase{0x0011, "未能正确读取最小电流", -1, -1},
                      NoticeCase{0x0012, "未能正确读取设定电流", 0, 20},
                      NoticeCase{0x0013, "未能正确读取电流下降比例", 1, 21},
                      NoticeCase{0x0014, "未能正确读取电流下降等待时间", 2, 22}));

TEST_F(ConnectionSequenceTest, quietOptionalReads_emptyFieldsWithoutMessage) {
  Open();
  for (uint16_t reg : {uint16_t{0x0040}, uint16_t{0x0046}, uint16_t{0x0047}}) {
    sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, reg, std::nullopt});
  }
  session.ConnectionSequence();
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(Field(4), "");
  EXPECT_FALSE(Shown(Label1(24)));
  EXPECT_EQ(Field(17), "");
  EXPECT_EQ(Field(23), "");
  EXPECT_EQ(session.state.RunSpeedRpm.load(), 0.0);
  EXPECT_EQ(session.state.HomingSpeedRpm.load(), 0);
  EXPECT_EQ(session.state.HomingFilter.load(), 0);
  EXPECT_TRUE(Connected());
}

TEST_F(ConnectionSequenceTest, sensorReadsZeroTwice_levelControlsHiddenNoRestore) {
  SimConfig config;
  config.sensorLevelsConfigurable = false;
  Connect(config);
  for (const char* c : {"Combo6", "Combo7", "Label1(55)", "Label1(56)"}) EXPECT_FALSE(Shown(c)) << c;
  EXPECT_FALSE(session.state.SensorLevelSupported.load());
  const auto log = sim->Log();
  EXPECT_TRUE(Wrote(log, 0x0084, 524288));
  EXPECT_FALSE(Wrote(log, 0x0084, 0));
}

TEST_F(ConnectionSequenceTest, sensorAlreadyConfigured_noProbeAndBothNormallyClosed) {
  SimConfig config;
  config.sensorConfig = 0x300B0000;
  Connect(config);
  EXPECT_EQ(session.controls.ComboIndex("Combo6"), 1);
  EXPECT_EQ(session.controls.ComboIndex("Combo7"), 1);
  for (const auto& e : sim->Log()) EXPECT_NE(e.function, kWriteMultiple);
}

TEST_F(ConnectionSequenceTest, thirdSensorReadFails_noticeAndListsCleared) {
  SimConfig config;
  config.sensorConfig = 0x00080000;
  Open(config);
  session.controls.SetComboIndex("Combo6", 1);
  session.controls.SetVisible("Combo6", false);
  // The lists are shown right before the last read: from then on that register is silent.
  bool scripted = false;
  session.controls.SetObserver([&] {
    session.controls.TakeChanges();
    if (!scripted && session.controls.Visible("Combo6")) {
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
  EXPECT_EQ(session.controls.ComboIndex("Combo6"), -1);
  EXPECT_EQ(session.controls.ComboIndex("Combo7"), -1);
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
  session.controls.SetComboIndex("Combo3", 1);
  session.state.LimitInputMode = true;
  session.controls.SetChecked("Check1", true);
  session.ConnectionSequence();
  EXPECT_EQ(session.controls.ComboIndex("Combo3"), GetParam().combo3);
  EXPECT_EQ(session.controls.Checked("Check1"), GetParam().check1);
  EXPECT_EQ(session.controls.Checked("Check2"), GetParam().check2);
  EXPECT_EQ(session.controls.Checked("Check3"), GetParam().check3);
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
  EXPECT_EQ(session.controls.Text("Command9"), "使能");
  EXPECT_FALSE(session.state.MotorEnabled.load());
}

TEST_F(ConnectionSequenceTest, hotCpuAndModelDigitOne_temperatureHiddenOriginOnFreeInput) {
  SimConfig config;
  config.cpuTemperature = 126;
  config.driveModel = 21000000;
  Connect(config);
  EXPECT_EQ(Field(16), "");
  EXPECT_FALSE(Shown(Label1(32)));
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
  session.controls.SetItems("Combo1", {{"COM9", 9}});
  // The maximum current never answers; the close arrives during its retries.
  sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, 0x0010, std::nullopt});
  ui.PostDelayed(0, [&] { session.events.Dispatch("Command1", UiEvent::Click); });
  session.ConnectionSequence();
  ui.Pump(50);
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_EQ(session.state.PortHandle.load(), 0);
  EXPECT_FALSE(session.controls.Enabled("Picture1"));
  EXPECT_EQ(session.controls.Text("Command1"), "开启通信");
  for (int i = 0; i < 24; ++i) EXPECT_EQ(Field(i), "") << i;
}

TEST_F(ConnectionSequenceTest, closeAndReopenDuringSequence_onlyNewSequenceConnects) {
  Open();
  sim->ScriptFault(SimFaultRule{SimFault::Drop, -1, 0x0010, std::nullopt});
  ui.PostDelayed(0, [&] {
    // Close and open again, as the connect button does, then the new Timer1.
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
  EXPECT_EQ(Field(0), "3.00");
  EXPECT_EQ(Field(4), "600");
  EXPECT_EQ(session.state.MaxCurrent.load(), 600);
}

}  // namespace
}  // namespace dd::test
