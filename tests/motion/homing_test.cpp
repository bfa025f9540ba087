// Homing in its three modes against the simulated axis: where the new zero lands, the
// speed registers afterwards, and the stop button in every phase.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "motion/homing.h"
#include "motion/homing_diagnostics.h"
#include "tests/motion/motion_sim_fixture.h"

namespace dd::test {
namespace {

constexpr uint16_t kRunSpeedReg = 0x0040;
constexpr uint16_t kHomingSpeedReg = 0x0046;
constexpr uint16_t kHomingFilterReg = 0x0047;

class HomingTest : public MotionSimTest {
 protected:
  void StartHomingRun(int16_t mode, int32_t offset) {
    session.state.HomingMode = mode;
    session.state.HomingOffsetTurns = offset;
    Click(Control::HomingButton);
  }
  bool HomingEnded(int timeoutMs = 15000) {
    return Eventually([&] { return session.state.HomingIdle.load() && session.state.WorkerCount.load() <= 1; },
                      timeoutMs);
  }
  void ExpectSpeedsRestored() {
    EXPECT_EQ(sim->Register(kRunSpeedReg), config.runSpeed);
    EXPECT_EQ(sim->Register(kHomingSpeedReg), config.homingSpeed);
    EXPECT_EQ(sim->Register(kHomingFilterReg), config.homingFilter);
  }
  void ExpectIdleState() {
    EXPECT_TRUE(session.state.HomingIdle.load());
    EXPECT_EQ(session.controls.Color(Control::HomingButton), kButtonFace);
  }
  size_t Count(const std::vector<uint16_t>& writes, uint16_t value) {
    return static_cast<size_t>(std::count(writes.begin(), writes.end(), value));
  }
};

// The reference is where the second creep came to rest: on the origin at creep speed
// (about 400 units/s); at a limit after a jog at the run-speed register, which holds
// the homing speed (8000 units/s) during the run, so it may stop a little beyond it.
constexpr double kOriginTolerance = 15;
constexpr double kLimitTolerance = 60;

struct HomingCase {
  int16_t mode;
  int32_t offset;
  double reference;  // true axis position the run homes on
  double tolerance;
};

TEST_F(HomingTest, eachMode_zeroLiesTheOffsetBackFromTheReference) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  const HomingCase cases[] = {
      {0, 1, 400, kOriginTolerance},  {0, 0, 400, kOriginTolerance},  {0, 2, 400, kOriginTolerance},
      {1, 1, 1600, kLimitTolerance},  {1, 0, 1600, kLimitTolerance},  {-1, 1, -1600, kLimitTolerance},
      {-1, 2, -1600, kLimitTolerance},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + " offset " + std::to_string(c.offset));
    StartHomingRun(c.mode, c.offset);
    EXPECT_TRUE(Eventually([&] { return session.controls.Color(Control::HomingButton) == kRed; }, 1000));
    ASSERT_TRUE(HomingEnded());
    ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(3000)));
    // Near-motor end is positive: the back-off moves away from the reference.
    const double back = c.mode == -1 ? c.offset * kRev : -c.offset * kRev;
    EXPECT_NEAR(sim->TruePosition(), c.reference + back, c.tolerance);
    EXPECT_NEAR(sim->DrivePosition(), 0, 1);
    EXPECT_FALSE(MotionCommandStanding());
    ExpectIdleState();
    ExpectSpeedsRestored();
    EXPECT_FALSE(session.state.AbortRequested.load());
    // Start the next case away from the reference.
    sim->SetTruePosition(-200);
    SettlePolling();
  }
  ui.Pump(100);
  EXPECT_TRUE(ui.Messages().empty());
}

// 10,000,000 turns of 400 units: the offset's target does not fit the drive's 32 bits.
TEST_F(HomingTest, offsetBeyondPositionRange_failsVisiblyWithoutZeroOrMotion) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  sim->ClearLog();
  StartHomingRun(0, 10000000);
  ASSERT_TRUE(HomingEnded());
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(3000)));
  ASSERT_TRUE(Eventually([&] { return !ui.Messages().empty(); }, 2000));
  EXPECT_EQ(ui.Messages()[0].title, "归零失败");
  EXPECT_EQ(ui.Messages()[0].text, HomingDiagnosticText(HomingDiagnostic::TargetOutOfRange));
  EXPECT_EQ(Count(ControlWrites(), 0x0100), 0u) << "zero was set";
  EXPECT_FALSE(MotionCommandStanding());
  EXPECT_NEAR(sim->TruePosition(), 400, kOriginTolerance);
  ExpectIdleState();
  ExpectSpeedsRestored();
}

TEST_F(HomingTest, originMode_startingOnTheSensor_noSearch) {
  config.axis.startPosition = 450;
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  ASSERT_TRUE(Eventually([&] { return session.state.OriginInput.load(); }));
  sim->ClearLog();
  StartHomingRun(0, 1);
  ASSERT_TRUE(HomingEnded());
  const auto writes = ControlWrites();
  ASSERT_FALSE(writes.empty());
  EXPECT_EQ(writes.front(), 0x0010);  // leave first
  EXPECT_EQ(Count(writes, 0x0800), 2u);  // the two creeps only
  EXPECT_NEAR(sim->TruePosition(), 400 - kRev, kOriginTolerance);
  EXPECT_NEAR(sim->DrivePosition(), 0, 1);
}

TEST_F(HomingTest, homingSpeedZero_creepsInTheRunSpeedRegister) {
  config.homingSpeed = 0;
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  for (int16_t mode : {int16_t{0}, int16_t{1}}) {
    SCOPED_TRACE(mode);
    sim->ClearLog();
    StartHomingRun(mode, 1);
    ASSERT_TRUE(HomingEnded(20000));
    EXPECT_EQ(CountWrites(6, kHomingSpeedReg), 0);
    EXPECT_EQ(sim->Register(kHomingSpeedReg), 0);
    EXPECT_EQ(sim->Register(kRunSpeedReg), config.runSpeed);
    EXPECT_EQ(sim->Register(kHomingFilterReg), config.homingFilter);
    // Creeps at 60 rpm (51 units), run speed back before each move and at the end.
    std::vector<uint64_t> runSpeeds;
    for (const auto& e : sim->Log()) {
      if (e.function == 6 && e.reg == kRunSpeedReg) runSpeeds.push_back(e.value);
    }
    const std::vector<uint64_t> expected{51, 128, 51, 128, 128};
    EXPECT_EQ(runSpeeds, expected);
    EXPECT_NEAR(sim->DrivePosition(), 0, 1);
    sim->SetTruePosition(-200);
    SettlePolling();
  }
}

TEST_F(HomingTest, homingSpeedSet_secondCreepUsesFilter12ThenAllRestored) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  sim->ClearLog();
  StartHomingRun(0, 1);
  ASSERT_TRUE(HomingEnded());
  std::vector<uint64_t> filters, homingSpeeds, runSpeeds;
  for (const auto& e : sim->Log()) {
    if (e.function != 6) continue;
    if (e.reg == kHomingFilterReg) filters.push_back(e.value);
    if (e.reg == kHomingSpeedReg) homingSpeeds.push_back(e.value);
    if (e.reg == kRunSpeedReg) runSpeeds.push_back(e.value);
  }
  EXPECT_EQ(filters, (std::vector<uint64_t>{12, kHomingFilterValue}));
  EXPECT_EQ(homingSpeeds, (std::vector<uint64_t>{51, 51, kHomingSpeedUnits}));
  // The homing speed in the run-speed register for the searches, then restored.
  EXPECT_EQ(runSpeeds, (std::vector<uint64_t>{kHomingSpeedUnits, kRunSpeedUnits}));
  ExpectSpeedsRestored();
}

TEST_F(HomingTest, doubleClickOrUnknownMode_startsAtMostOneRun) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  session.state.HomingMode = 5;  // no such mode: nothing starts
  Click(Control::HomingButton);
  EXPECT_TRUE(session.state.HomingIdle.load());
  EXPECT_EQ(session.state.WorkerCount.load(), 1);
  session.state.HomingMode = 0;
  Click(Control::HomingButton);
  Click(Control::HomingButton);  // second click of a double click
  EXPECT_EQ(session.state.WorkerCount.load(), 2);
  ASSERT_TRUE(HomingEnded());
  EXPECT_NEAR(sim->DrivePosition(), 0, 1);
}

// --- The stop button in each phase ---

struct AbortCase {
  const char* phase;
  int16_t mode;
  void (*prepare)(SimDrive&);
  // Control-word writes (a subsequence ending with the last write) that mark the phase.
  std::vector<uint16_t> marker;
  // Optional: once `preMarker` shows, `shift` lengthens the coming phase.
  std::vector<uint16_t> preMarker;
  void (*shift)(SimDrive&);
};

bool Shows(const std::vector<uint16_t>& writes, const std::vector<uint16_t>& marker) {
  if (writes.empty() || marker.empty() || writes.back() != marker.back()) return false;
  size_t i = 0;
  for (uint16_t w : writes) {
    if (i < marker.size() && w == marker[i]) ++i;
  }
  return i == marker.size();
}

void Nothing(SimDrive&) {}
void FarFromOrigin(SimDrive& sim) { sim.SetTruePosition(-1000); }
void OriginUnwired(SimDrive& sim) { sim.WireSensor(SimSensorId::Origin, false); }
template <SimSensorId id> void Stuck(SimDrive& sim) { sim.ForceInput(id, true); }
template <SimSensorId id, int to> void Further(SimDrive& sim) { sim.MoveSensor(id, to); }

// Readable case names in test listings.
void PrintTo(const AbortCase& c, std::ostream* os) { *os << c.phase; }

class HomingAbortTest : public HomingTest, public ::testing::WithParamInterface<AbortCase> {};

TEST_P(HomingAbortTest, stopButton_endsRunWithoutMessageAndMotorStopped) {
  const AbortCase& c = GetParam();
  // Slow searches and moves, so each phase lasts long enough to be caught.
  config.homingSpeed = 128;  // 150 rpm
  config.runSpeed = 64;      // 75 rpm
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  c.prepare(*sim);
  SettlePolling();
  sim->ClearLog();
  StartHomingRun(c.mode, 3);
  if (!c.preMarker.empty()) {
    ASSERT_TRUE(Eventually([&] { return Shows(ControlWrites(), c.preMarker); }, 15000));
    c.shift(*sim);
  }
  ASSERT_TRUE(Eventually([&] { return Shows(ControlWrites(), c.marker) && sim->Moving(); }, 15000))
      << "phase not reached";
  ui.Pump(60);
  ASSERT_TRUE(sim->Moving());
  Click(Control::StopButton);
  ASSERT_TRUE(HomingEnded(10000));
  ASSERT_TRUE(WorkersDown(1));
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(3000)));
  ui.Pump(200);
  EXPECT_TRUE(ui.Messages().empty());
  ExpectIdleState();
  EXPECT_FALSE(MotionCommandStanding());
  EXPECT_FALSE(session.state.AbortRequested.load());
  ExpectSpeedsRestored();
  EXPECT_EQ(Count(ControlWrites(), 0x0100), 0u) << "zero was set";
  // Nothing starts again afterwards.
  const double stopped = sim->TruePosition();
  ui.Pump(300);
  EXPECT_EQ(sim->TruePosition(), stopped);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPhase, HomingAbortTest,
    ::testing::Values(
        AbortCase{"originSearch", 0, FarFromOrigin, {0x0800}, {}, nullptr},
        AbortCase{"originReverseSearch", 0, OriginUnwired, {0x0800, 0x0400}, {}, nullptr},
        AbortCase{"originLeave", 0, Stuck<SimSensorId::Origin>, {0x0010}, {}, nullptr},
        AbortCase{"originFirstCreep", 0, Nothing, {0x0010, 0x0000, 0x0800}, {0x0010, 0x0000}, Further<SimSensorId::Origin, 1000>},
        AbortCase{"originBackOff", 0, Nothing, {0x0010, 0x0800, 0x0008, 0x0000}, {}, nullptr},
        AbortCase{"originSecondCreep", 0, Nothing, {0x0010, 0x0800, 0x0008, 0x0000, 0x0800}, {}, nullptr},
        AbortCase{"originOffset", 0, Nothing, {0x0010, 0x0800, 0x0008, 0x0000, 0x0800, 0x0008, 0x0000}, {}, nullptr},
        AbortCase{"nearApproach", 1, Nothing, {0x0020}, {}, nullptr},
        AbortCase{"nearLeave", 1, Stuck<SimSensorId::NearLimit>, {0x0010}, {}, nullptr},
        AbortCase{"nearFirstCreep", 1, Nothing, {0x0010, 0x0000, 0x0020}, {0x0010, 0x0000}, Further<SimSensorId::NearLimit, 2400>},
        AbortCase{"nearBackOff", 1, Nothing, {0x0010, 0x0020, 0x0008, 0x0000}, {}, nullptr},
        AbortCase{"nearSecondCreep", 1, Nothing, {0x0010, 0x0020, 0x0008, 0x0000, 0x0020}, {}, nullptr},
        AbortCase{"nearOffset", 1, Nothing, {0x0010, 0x0020, 0x0008, 0x0000, 0x0020, 0x0008, 0x0000}, {}, nullptr},
        AbortCase{"farApproach", -1, Nothing, {0x0010}, {}, nullptr},
        AbortCase{"farLeave", -1, Stuck<SimSensorId::FarLimit>, {0x0020}, {}, nullptr},
        AbortCase{"farFirstCreep", -1, Nothing, {0x0020, 0x0000, 0x0010}, {0x0020, 0x0000}, Further<SimSensorId::FarLimit, -2400>},
        AbortCase{"farBackOff", -1, Nothing, {0x0020, 0x0010, 0x0008, 0x0000}, {}, nullptr},
        AbortCase{"farSecondCreep", -1, Nothing, {0x0020, 0x0010, 0x0008, 0x0000, 0x0010}, {}, nullptr},
        AbortCase{"farOffset", -1, Nothing, {0x0020, 0x0010, 0x0008, 0x0000, 0x0010, 0x0008, 0x0000}, {}, nullptr}),
    [](const ::testing::TestParamInfo<AbortCase>& p) { return std::string(p.param.phase); });

}  // namespace
}  // namespace dd::test
