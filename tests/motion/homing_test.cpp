// Homing in its three modes against the simulated axis: where the new zero lands, the
// speed registers afterwards, each failure's message, and the stop button in every phase.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "motion/homing.h"
#include "motion/homing_diagnostics.h"
#include "tests/support/sim_session.h"

namespace dd::test {
namespace {

using enum SimSensorId;
constexpr uint16_t kRunSpeedReg = 0x0040, kHomingSpeedReg = 0x0046, kHomingFilterReg = 0x0047;
// The reference is where the second creep came to rest: on the origin at creep speed
// (about 400 units/s); at a limit after a jog at the run-speed register, which holds
// the homing speed (8000 units/s) during the run, so it may stop a little beyond it.
constexpr double kOriginTolerance = 15, kLimitTolerance = 60;

class HomingTest : public SimSessionTest {
 protected:
  HomingTest() { config = ShortAxis(); }
  void StartHomingRun(int16_t mode, int32_t offset = 1) {
    session.state.HomingMode = mode;
    session.state.HomingOffsetTurns = offset;
    Click(Control::HomingButton);
  }
  bool HomingEnded(int timeoutMs = 20000) {
    return Eventually([&] { return session.state.HomingIdle.load() && session.state.WorkerCount.load() <= 1; },
                      timeoutMs);
  }
  // A run that ended leaves the button idle, the speeds as they were and no motion.
  void ExpectRunOver() {
    EXPECT_TRUE(session.state.HomingIdle.load());
    EXPECT_EQ(session.controls.Color(Control::HomingButton), kButtonFace);
    EXPECT_EQ(sim->Register(kRunSpeedReg), config.runSpeed);
    EXPECT_EQ(sim->Register(kHomingSpeedReg), config.homingSpeed);
    EXPECT_EQ(sim->Register(kHomingFilterReg), config.homingFilter);
    EXPECT_FALSE(MotionCommandStanding()) << "control word " << sim->ControlWord();
    EXPECT_FALSE(session.state.AbortRequested.load());
  }
  std::vector<uint64_t> Writes(uint16_t reg) const {
    std::vector<uint64_t> values;
    for (const auto& e : sim->Log()) if (e.function == 6 && e.reg == reg) values.push_back(e.value);
    return values;
  }
  bool ZeroWasSet() const {
    const auto w = ControlWrites();
    return std::find(w.begin(), w.end(), 0x0100) != w.end();
  }
};

TEST_F(HomingTest, onTheSensorThenEachMode_zeroLiesTheOffsetBackFromTheReference) {
  ASSERT_NO_FATAL_FAILURE(StartMotion());
  // Starting on the origin sensor: leave first, then the two creeps, the second with
  // filter 12; an unknown mode starts nothing and a double click one run.
  sim->SetTruePosition(450);
  ASSERT_TRUE(Eventually([&] { return session.state.OriginInput.load(); }));
  sim->ClearLog();
  StartHomingRun(5);  // no such mode: nothing starts
  EXPECT_TRUE(session.state.HomingIdle.load());
  EXPECT_EQ(session.state.WorkerCount.load(), 1);
  StartHomingRun(0);
  Click(Control::HomingButton);  // second click of a double click
  EXPECT_EQ(session.state.WorkerCount.load(), 2);
  ASSERT_TRUE(HomingEnded());
  const auto writes = ControlWrites();
  ASSERT_FALSE(writes.empty());
  EXPECT_EQ(writes.front(), 0x0010u);  // leave first, no search
  EXPECT_EQ(std::count(writes.begin(), writes.end(), 0x0800), 2);  // the two creeps only
  EXPECT_NEAR(sim->TruePosition(), 0, kOriginTolerance);  // one turn back from the origin
  EXPECT_NEAR(sim->DrivePosition(), 0, 1);
  EXPECT_EQ(Writes(kHomingFilterReg), (std::vector<uint64_t>{12, 6}));
  EXPECT_EQ(Writes(kHomingSpeedReg), (std::vector<uint64_t>{51, 51, 1024}));
  // The homing speed in the run-speed register for the searches, then restored.
  EXPECT_EQ(Writes(kRunSpeedReg), (std::vector<uint64_t>{1024, 128}));
  ExpectRunOver();
  sim->SetTruePosition(-200);
  WaitRequests(20);
  // reference: true axis position the run homes on
  struct Case { int16_t mode; int32_t offset; double reference; double tolerance; };
  for (const Case& c : {Case{0, 1, kRev, kOriginTolerance}, Case{0, 0, kRev, kOriginTolerance},
                        Case{0, 2, kRev, kOriginTolerance}, Case{1, 1, 4 * kRev, kLimitTolerance},
                        Case{1, 0, 4 * kRev, kLimitTolerance}, Case{-1, 1, -4 * kRev, kLimitTolerance},
                        Case{-1, 2, -4 * kRev, kLimitTolerance}}) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + " offset " + std::to_string(c.offset));
    StartHomingRun(c.mode, c.offset);
    EXPECT_TRUE(Eventually([&] { return session.controls.Color(Control::HomingButton) == kRed; }, 2000));
    ASSERT_TRUE(HomingEnded());
    ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(3000)));
    // Near-motor end is positive: the back-off moves away from the reference.
    EXPECT_NEAR(sim->TruePosition(), c.reference + (c.mode == -1 ? 1 : -1) * c.offset * kRev, c.tolerance);
    EXPECT_NEAR(sim->DrivePosition(), 0, 1);
    ExpectRunOver();
    sim->SetTruePosition(-200);  // the next case starts away from the reference
    WaitRequests(20);
  }
  ui.Pump(100);
  EXPECT_TRUE(ui.Messages().empty());
}

// Each failed run explains itself with exactly one message, in the operator's words, and
// leaves no motion command standing; an input that lets go afterwards starts nothing.
TEST_F(HomingTest, failedRun_oneMessageWithItsTextAndNoMotionLeft) {
  struct Case {
    int16_t mode;
    std::vector<SimSensorId> forced, unwired;
    std::optional<SimSensorId> letGo;  // unwired after the run
    std::string text;
  };
  const std::string end = "归零未完成；";
  const std::string bothLimits = "两个极限传感器同时触发；\r\n判断为两个极限信号未接入，请检查后再试；\r\n" + end;
  const Case cases[] = {
      {0, {Origin}, {NearLimit, FarLimit}, {}, "原点传感器处于触发状态，移动离开原点传感器的时间超过3秒，原点传感器信号未变化；\r\n判断原点传感器信号未接入，请修改归零方式或接入原点传感器后再试；\r\n或运动速度太慢，请修改移动速度后再试；\r\n" + end},
      {0, {Origin}, {}, FarLimit, "原点传感器信号一直处于触发状态，未改变；\r\n刚刚触发了极限信号；\r\n判断原点传感器信号未接入，请修改归零方式后再试；\r\n" + end},
      {0, {}, {Origin}, FarLimit, "在两个极限传感器之间没有找到原点传感器；\r\n一种可能是没有原点传感器，请修改归零方式后再试；\r\n另一种可能是两个极限传感器未接入，请检查后再试；\r\n" + end},
      {1, {NearLimit}, {}, FarLimit, "上限位传感器信号一直处于触发状态，未改变；\r\n刚刚触发了下限位传感器；\r\n判断上限位传感器信号未接入，请检查后再试；\r\n" + end},
      {1, {NearLimit}, {FarLimit}, {}, "上限位传感器处于触发状态，移动离开上限位传感器的时间超过3秒，上限位传感器信号未变化；\r\n判断上限位传感器信号未接入，请检查后再试；\r\n" + end},
      {-1, {FarLimit}, {}, NearLimit, "下限位传感器信号一直处于触发状态，未改变；\r\n刚刚触发了上限位传感器；\r\n判断下限位传感器信号未接入，请检查后再试；\r\n" + end},
      {-1, {FarLimit}, {NearLimit}, {}, "下限位传感器处于触发状态，移动离开下限位传感器的时间超过3秒，下限位传感器信号未变化；\r\n判断下限位传感器信号未接入，请检查后再试；\r\n" + end},
      {0, {NearLimit, Origin}, {}, {}, "其中一个极限传感器被触发，同时原点传感器也被触发，判断：\r\n一种可能为原点传感器未接入，请检查后再试；\r\n另一种可能为有一个极限传感器未接入，请检查后再试；\r\n" + end},
      {0, {NearLimit, FarLimit}, {}, {}, bothLimits}, {1, {NearLimit, FarLimit}, {}, {}, bothLimits},
      {-1, {NearLimit, FarLimit}, {}, {}, bothLimits}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_NO_FATAL_FAILURE(StartMotion());
    for (auto id : c.forced) sim->ForceInput(id, true);
    for (auto id : c.unwired) sim->WireSensor(id, false);
    WaitRequests(20);
    sim->ClearLog();
    ui.ClearMessages();
    StartHomingRun(c.mode);
    ASSERT_TRUE(HomingEnded());
    ui.Pump(300);
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "归零失败");
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages[0].text, c.text);
    ExpectRunOver();
    EXPECT_TRUE(c.text != bothLimits || ControlWrites().empty());  // both limits: nothing moves
    ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(3000)));
    if (c.letGo) {
      // A limit that bounces or lets go must not set the motor running again.
      const double stopped = sim->TruePosition();
      sim->WireSensor(*c.letGo, false);
      ui.Pump(300);
      EXPECT_EQ(sim->TruePosition(), stopped);
      EXPECT_FALSE(sim->Moving());
    }
  }
  // 10,000,000 turns of 400 units: the offset's target does not fit the drive's 32 bits.
  ASSERT_NO_FATAL_FAILURE(StartMotion());
  ui.ClearMessages();
  StartHomingRun(0, 10000000);
  ASSERT_TRUE(HomingEnded());
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(5000)));
  ASSERT_TRUE(Eventually([&] { return !ui.Messages().empty(); }));
  EXPECT_EQ(ui.Messages()[0].title, "归零失败");
  EXPECT_EQ(ui.Messages()[0].text, HomingDiagnosticText(HomingDiagnostic::TargetOutOfRange));
  EXPECT_FALSE(ZeroWasSet());
  EXPECT_NEAR(sim->TruePosition(), kRev, kOriginTolerance);
  ExpectRunOver();
  // The counter just above its lowest value at the origin: the one-turn back-off cannot
  // be sent, and the message names the back-off, not the offset setting.
  config.axis.startPosition = kRev - 100;
  ASSERT_NO_FATAL_FAILURE(StartMotion());
  ASSERT_TRUE(sim->SetValue(0x002C, static_cast<uint32_t>(INT32_MIN + 100), 2));
  ui.ClearMessages();
  StartHomingRun(0);
  ASSERT_TRUE(HomingEnded());
  ASSERT_TRUE(Eventually([&] { return !ui.Messages().empty(); }));
  EXPECT_EQ(ui.Messages()[0].text, HomingDiagnosticText(HomingDiagnostic::BackOffOutOfRange));
  EXPECT_FALSE(ZeroWasSet());
}

// --- The stop button in each phase ---

// Control-word writes (a subsequence ending with the last write) that mark the phase.
struct AbortCase {
  const char* phase; int16_t mode; void (*prepare)(SimDrive&); std::vector<uint16_t> marker;
  bool early = false;  // clicked as soon as the command is out, before polling sees motion
};

bool Shows(const std::vector<uint64_t>& writes, const std::vector<uint16_t>& marker) {
  if (writes.empty() || writes.back() != marker.back()) return false;
  size_t i = 0;
  for (uint64_t w : writes) i += i < marker.size() && w == marker[i];
  return i == marker.size();
}

void Nothing(SimDrive&) {}
void FarFromOrigin(SimDrive& sim) { sim.SetTruePosition(-1000); }
void OriginUnwired(SimDrive& sim) { sim.WireSensor(Origin, false); }
template <SimSensorId id> void Stuck(SimDrive& sim) { sim.ForceInput(id, true); }

void PrintTo(const AbortCase& c, std::ostream* os) { *os << c.phase; }  // readable listings

class HomingPhaseTest : public HomingTest {
 protected:
  // A slow run (each phase lasts long enough to be caught) into `c`'s phase, and polling
  // has seen the motion the run waits on.
  void RunIntoPhase(const AbortCase& c) {
    config.homingSpeed = 128;  // 150 rpm
    config.runSpeed = 64;      // 75 rpm
    ASSERT_NO_FATAL_FAILURE(StartMotion());
    c.prepare(*sim);
    WaitRequests(20);
    sim->ClearLog();
    StartHomingRun(c.mode, 3);
    ASSERT_TRUE(Eventually([&] {
      return Shows(ControlWrites(), c.marker) && (c.early || (sim->Moving() && session.state.MotorMoving.load()));
    }, 30000)) << "phase not reached";
  }
};

class HomingAbortTest : public HomingPhaseTest, public ::testing::WithParamInterface<AbortCase> {};

TEST_P(HomingAbortTest, stopButton_endsRunWithoutMessageAndMotorStopped) {
  const AbortCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(RunIntoPhase(c));
  Click(Control::StopButton);
  ASSERT_TRUE(HomingEnded());
  ASSERT_TRUE(WorkersDown(1));
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(5000)));
  ui.Pump(200);
  EXPECT_TRUE(ui.Messages().empty());
  ExpectRunOver();
  EXPECT_FALSE(ZeroWasSet());
  // Nothing starts again afterwards.
  const double stopped = sim->TruePosition();
  ui.Pump(300);
  EXPECT_EQ(sim->TruePosition(), stopped);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPhase, HomingAbortTest,
    ::testing::Values(
        AbortCase{"originSearch", 0, FarFromOrigin, {0x0800}}, AbortCase{"originLeave", 0, Stuck<Origin>, {0x0010}},
        AbortCase{"originReverseSearch", 0, OriginUnwired, {0x0800, 0x0400}},
        AbortCase{"originBackOff", 0, Nothing, {0x0010, 0x0800, 0x0008, 0x0000}},
        AbortCase{"originSecondCreep", 0, Nothing, {0x0010, 0x0800, 0x0008, 0x0000, 0x0800}},
        AbortCase{"originOffset", 0, Nothing, {0x0010, 0x0800, 0x0008, 0x0000, 0x0800, 0x0008, 0x0000}},
        AbortCase{"originOffsetEarly", 0, Nothing, {0x0010, 0x0800, 0x0008, 0x0000, 0x0800, 0x0008, 0x0000}, true},
        AbortCase{"nearApproach", 1, Nothing, {0x0020}}, AbortCase{"nearLeave", 1, Stuck<NearLimit>, {0x0010}},
        AbortCase{"nearBackOff", 1, Nothing, {0x0010, 0x0020, 0x0008, 0x0000}},
        AbortCase{"nearSecondCreep", 1, Nothing, {0x0010, 0x0020, 0x0008, 0x0000, 0x0020}},
        AbortCase{"nearOffset", 1, Nothing, {0x0010, 0x0020, 0x0008, 0x0000, 0x0020, 0x0008, 0x0000}},
        AbortCase{"farApproach", -1, Nothing, {0x0010}}, AbortCase{"farLeave", -1, Stuck<FarLimit>, {0x0020}},
        AbortCase{"farBackOff", -1, Nothing, {0x0020, 0x0010, 0x0008, 0x0000}},
        AbortCase{"farSecondCreep", -1, Nothing, {0x0020, 0x0010, 0x0008, 0x0000, 0x0010}},
        AbortCase{"farOffset", -1, Nothing, {0x0020, 0x0010, 0x0008, 0x0000, 0x0010, 0x0008, 0x0000}}),
    [](const ::testing::TestParamInfo<AbortCase>& p) { return std::string(p.param.phase); });

// A drive that falls silent mid-run takes no command: the wait of a close or a save ends
// the run, and nothing more goes out (no clear, no stop, no speeds restored).
TEST_F(HomingPhaseTest, driveFallsSilentMidRun_closeWaitEndsTheRunAndSendsNothing) {
  const AbortCase phases[] = {
      {"originSearch", 0, FarFromOrigin, {0x0800}},
      {"nearSecondCreep", 1, Nothing, {0x0010, 0x0020, 0x0008, 0x0000, 0x0020}}};
  for (const AbortCase& c : phases) {
    SCOPED_TRACE(c.phase);
    ASSERT_NO_FATAL_FAILURE(RunIntoPhase(c));
    sim->ScriptFault(SimFault::Silent, -1);
    ASSERT_TRUE(Eventually([&] { return session.state.DriveSilent.load(); }, 15000));
    sim->ClearLog();
    const auto began = std::chrono::steady_clock::now();
    WaitForMotionWorkers(session);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
    EXPECT_TRUE(HomingEnded(1000));
    for (const auto& e : sim->Log()) EXPECT_TRUE(e.function == 3 || e.function == 4) << int(e.function);
    ui.Pump(200);
    EXPECT_TRUE(ui.Messages().empty());
    sim->ClearFaults();
  }
}

}  // namespace
}  // namespace dd::test
