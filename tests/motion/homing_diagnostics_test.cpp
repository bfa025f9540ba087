// Each failed homing run explains itself with exactly one message, shown from the UI
// thread's event loop; the drive is left holding no motion command.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <map>
#include <ostream>
#include <string>
#include <thread>

#include "tests/motion/motion_sim_fixture.h"

namespace dd::test {
namespace {

// The texts as the operator must read them.
const std::map<std::string, std::string>& ExpectedTexts() {
  static const std::map<std::string, std::string> texts{
    {"OriginNotLeft", "原点传感器处于触发状态，移动离开原点传感器的时间超过3秒，原点传感器信号未变化；\r\n判断原点传感器信号未接入，请修改归零方式或接入原点传感器后再试；\r\n或运动速度太慢，请修改移动速度后再试；\r\n归零未完成；"},
    {"OriginStuck", "原点传感器信号一直处于触发状态，未改变；\r\n刚刚触发了极限信号；\r\n判断原点传感器信号未接入，请修改归零方式后再试；\r\n归零未完成；"},
    {"OriginNotFound", "在两个极限传感器之间没有找到原点传感器；\r\n一种可能是没有原点传感器，请修改归零方式后再试；\r\n另一种可能是两个极限传感器未接入，请检查后再试；\r\n归零未完成；"},
    {"BothLimits", "两个极限传感器同时触发；\r\n判断为两个极限信号未接入，请检查后再试；\r\n归零未完成；"},
    {"UpperLimitStuck", "上限位传感器信号一直处于触发状态，未改变；\r\n刚刚触发了下限位传感器；\r\n判断上限位传感器信号未接入，请检查后再试；\r\n归零未完成；"},
    {"UpperLimitNotLeft", "上限位传感器处于触发状态，移动离开上限位传感器的时间超过3秒，上限位传感器信号未变化；\r\n判断上限位传感器信号未接入，请检查后再试；\r\n归零未完成；"},
    {"LowerLimitStuck", "下限位传感器信号一直处于触发状态，未改变；\r\n刚刚触发了上限位传感器；\r\n判断下限位传感器信号未接入，请检查后再试；\r\n归零未完成；"},
    {"LowerLimitNotLeft", "下限位传感器处于触发状态，移动离开下限位传感器的时间超过3秒，下限位传感器信号未变化；\r\n判断下限位传感器信号未接入，请检查后再试；\r\n归零未完成；"},
    {"LimitWithOrigin", "其中一个极限传感器被触发，同时原点传感器也被触发，判断：\r\n一种可能为原点传感器未接入，请检查后再试；\r\n另一种可能为有一个极限传感器未接入，请检查后再试；\r\n归零未完成；"},
  };
  return texts;
}

struct DiagnosticCase {
  const char* timer;
  int16_t mode;
  void (*wire)(SimDrive&);
  // The input that stopped the run lets go afterwards (nullptr: none).
  void (*release)(SimDrive&);
};

// Readable case names in test listings.
void PrintTo(const DiagnosticCase& c, std::ostream* os) { *os << c.timer; }

void Force(SimDrive& sim, std::initializer_list<SimSensorId> on, std::initializer_list<SimSensorId> unwired = {}) {
  for (auto id : on) sim.ForceInput(id, true);
  for (auto id : unwired) sim.WireSensor(id, false);
}
using enum SimSensorId;
void BothLimits(SimDrive& sim) { Force(sim, {NearLimit, FarLimit}); }
void ReleaseFar(SimDrive& sim) { Force(sim, {}, {FarLimit}); }
void ReleaseNear(SimDrive& sim) { Force(sim, {}, {NearLimit}); }

class HomingDiagnosticsTest : public MotionSimTest, public ::testing::WithParamInterface<DiagnosticCase> {
 protected:
  bool RunEnded(int timeoutMs) {
    return Eventually([&] { return session.state.HomingIdle.load() && session.state.WorkerCount.load() <= 1; },
                      timeoutMs);
  }
};

TEST_P(HomingDiagnosticsTest, failedRun_oneMessageWithItsTextAndNoMotionLeft) {
  const DiagnosticCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  c.wire(*sim);
  SettlePolling();
  sim->ClearLog();
  session.state.HomingMode = c.mode;
  Click(Control::HomingButton);
  ASSERT_TRUE(RunEnded(15000));
  ui.Pump(300);
  const auto messages = ui.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "归零失败");
  EXPECT_EQ(messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages[0].text, ExpectedTexts().at(c.timer));
  EXPECT_TRUE(session.state.HomingIdle.load());
  EXPECT_EQ(session.controls.Color(Control::HomingButton), kButtonFace);
  EXPECT_EQ(sim->Register(0x0040), config.runSpeed);
  EXPECT_EQ(sim->Register(0x0046), config.homingSpeed);
  EXPECT_EQ(sim->Register(0x0047), config.homingFilter);
  EXPECT_FALSE(MotionCommandStanding()) << "control word " << sim->ControlWord();
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(2000)));
  if (c.release) {
    // A limit that bounces or lets go must not set the motor running again.
    const double stopped = sim->TruePosition();
    c.release(*sim);
    ui.Pump(300);
    EXPECT_EQ(sim->TruePosition(), stopped);
    EXPECT_FALSE(sim->Moving());
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryFailure, HomingDiagnosticsTest,
    ::testing::Values(
        DiagnosticCase{"OriginNotLeft", 0, [](SimDrive& s) { Force(s, {Origin}, {NearLimit, FarLimit}); }, nullptr},
        DiagnosticCase{"OriginStuck", 0, [](SimDrive& s) { Force(s, {Origin}); }, ReleaseFar},
        DiagnosticCase{"OriginNotFound", 0, [](SimDrive& s) { Force(s, {}, {Origin}); }, ReleaseFar},
        DiagnosticCase{"BothLimits", 0, BothLimits, nullptr},
        DiagnosticCase{"UpperLimitStuck", 1, [](SimDrive& s) { Force(s, {NearLimit}); }, ReleaseFar},
        DiagnosticCase{"UpperLimitNotLeft", 1, [](SimDrive& s) { Force(s, {NearLimit}, {FarLimit}); }, nullptr},
        DiagnosticCase{"LowerLimitStuck", -1, [](SimDrive& s) { Force(s, {FarLimit}); }, ReleaseNear},
        DiagnosticCase{"LowerLimitNotLeft", -1, [](SimDrive& s) { Force(s, {FarLimit}, {NearLimit}); }, nullptr},
        DiagnosticCase{"LimitWithOrigin", 0, [](SimDrive& s) { Force(s, {NearLimit, Origin}); }, nullptr}),
    [](const ::testing::TestParamInfo<DiagnosticCase>& p) { return std::string(p.param.timer); });

TEST_F(HomingDiagnosticsTest, bothLimitsInEveryMode_timer6AndNothingMoves) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  BothLimits(*sim);
  SettlePolling();
  sim->ClearLog();
  for (int16_t mode : {int16_t{0}, int16_t{1}, int16_t{-1}}) {
    session.state.HomingMode = mode;
    Click(Control::HomingButton);
    ASSERT_TRUE(RunEnded(5000));
  }
  ui.Pump(200);
  const auto messages = ui.Messages();
  ASSERT_EQ(messages.size(), 3u);
  for (const auto& m : messages) EXPECT_EQ(m.text, ExpectedTexts().at("BothLimits"));
  EXPECT_TRUE(ControlWrites().empty());
  EXPECT_FALSE(sim->Moving());
}

TEST_F(HomingDiagnosticsTest, workerEndsWithoutWaiting_messageComesFromTheEventLoop) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  BothLimits(*sim);
  SettlePolling();
  session.state.HomingMode = 1;
  Click(Control::HomingButton);
  // Wait without running the event loop: the worker must end all the same.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while ((!session.state.HomingIdle.load() || session.state.WorkerCount.load() > 1) &&
         std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(session.state.HomingIdle.load());
  EXPECT_TRUE(ui.Messages().empty());
  ASSERT_TRUE(Eventually([&] { return ui.Messages().size() == 1; }, 1000));
  EXPECT_EQ(ui.Messages()[0].text, ExpectedTexts().at("BothLimits"));
}

}  // namespace
}  // namespace dd::test
