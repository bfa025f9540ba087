// The polling worker against the simulated drive: live values, flags, lamps and the
// limit re-synchronisation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "status/sample_history.h"
#include "status/status_display.h"
#include "status/status_worker.h"
#include "tests/support/sim_session.h"

namespace dd::test {
namespace {

using C = Control;

class StatusWorkerTest : public SimSessionTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartDrive()); }
  ControlModel& c() { return session.controls; }
  SharedState& st() { return session.state; }
  bool LampIs(Control lamp, uint32_t color) { return Eventually([&] { return c().Color(lamp) == color; }); }
  bool Holds(const std::function<bool()>& done) { return Eventually(done); }
};

TEST_F(StatusWorkerTest, liveValuesLimitsAndReleasedMotor_followTheSimulatorUntilPollingStops) {
  sim->SetErrorCode(1043);
  ASSERT_TRUE(sim->SetValue(0x1006, 93784, 2));
  ASSERT_TRUE(sim->SetValue(0x1008, 51200ull * 12345, 4));
  sim->SetTruePosition(1000);
  StartStatusWorker(session);
  EXPECT_TRUE(TextIs(C::ErrorTextField, "反向堵转"));
  EXPECT_TRUE(Holds([&] { return !st().DriveHealthy.load(); }));
  EXPECT_TRUE(TextIs(C::ActualPositionField, "1000"));
  EXPECT_TRUE(TextIs(C::PositionDeviationField, "0"));
  EXPECT_DOUBLE_EQ(st().TargetPosition.load(), 1000);
  // The run time counts on while the motor is enabled: a day and a few seconds.
  EXPECT_TRUE(Holds([&] { return Text(C::RunTimeField).rfind("1天02:03:0", 0) == 0; }));
  EXPECT_TRUE(TextIs(C::TravelField, "12,345"));
  // Enabled at standstill: full current until the reduction delay, then reduced.
  EXPECT_TRUE(Holds([&] { return Text(C::LiveCurrentField) == "3.00" || Text(C::LiveCurrentField) == "1.50"; }));
  EXPECT_TRUE(TextIs(C::LiveSpeedField, "0.000"));
  for (const C unit : {C::TravelUnit, C::LiveCurrentUnit, C::LiveSpeedUnit}) {
    EXPECT_TRUE(Holds([&] { return c().Visible(unit); })) << unit;
  }
  EXPECT_TRUE(LampIs(C::WaitingLamp, kGreen));
  EXPECT_EQ(c().Color(C::MovingLamp), kButtonFace);
  // Faulted and enabled: Ready off, BRK on.
  EXPECT_TRUE(TextIs(C::PortStatusField, "Step=0  Dir=0  Free=0  Zero=0  Ready=0  INP=1  BRK=1  PSL=0  PSH=0  "));
  // A fault that clears.
  sim->SetErrorCode(0);
  EXPECT_TRUE(TextIs(C::ErrorTextField, "驱动器正常"));
  EXPECT_TRUE(Holds([&] { return st().DriveHealthy.load(); }));

  // A move: the moving lamp while the speed is non-zero, then the new positions.
  SetDriveTarget(3000);
  EXPECT_TRUE(Holds([&] { return st().MotorMoving.load(); }));
  EXPECT_TRUE(LampIs(C::MovingLamp, kRed));
  EXPECT_TRUE(LampIs(C::WaitingLamp, kButtonFace));
  EXPECT_TRUE(Holds([&] { return Text(C::LiveSpeedField) != "0.000" && !Text(C::LiveSpeedField).empty(); }));
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::seconds(10)));
  EXPECT_TRUE(TextIs(C::ActualPositionField, "3000"));
  EXPECT_TRUE(Holds([&] { return !st().MotorMoving.load(); }));
  EXPECT_TRUE(LampIs(C::MovingLamp, kButtonFace));
  EXPECT_EQ(c().Color(C::WaitingLamp), kGreen);

  // Limit inputs set flags, lamps and text.
  sim->ForceInput(SimSensorId::FarLimit, true);
  EXPECT_TRUE(Holds([&] { return st().FarLimitInput.load(); }));
  EXPECT_TRUE(LampIs(C::FarLimitLamp, kRed));
  EXPECT_TRUE(Holds([&] { return Text(C::PortStatusField).rfind("Step=1  Dir=0  ", 0) == 0; }));
  EXPECT_FALSE(st().NearLimitInput.load());
  EXPECT_EQ(c().Color(C::NearLimitLamp), kButtonFace);
  sim->ForceInput(SimSensorId::FarLimit, false);
  sim->ForceInput(SimSensorId::NearLimit, true);
  EXPECT_TRUE(Holds([&] { return st().NearLimitInput.load() && !st().FarLimitInput.load(); }));
  EXPECT_TRUE(LampIs(C::NearLimitLamp, kRed));
  EXPECT_TRUE(LampIs(C::FarLimitLamp, kButtonFace));
  EXPECT_TRUE(Holds([&] { return Text(C::PortStatusField).rfind("Step=0  Dir=1  ", 0) == 0; }));
  // A hidden lamp keeps its colour; the flag still follows.
  c().SetVisible(C::NearLimitLamp, false);
  sim->ForceInput(SimSensorId::NearLimit, false);
  EXPECT_TRUE(Holds([&] { return !st().NearLimitInput.load(); }));
  WaitRequests(20);
  EXPECT_EQ(c().Color(C::NearLimitLamp), kRed);
  // The drive moves and reports a speed, but the program holds the motor for released.
  st().MotorEnabled.store(false);
  SetDriveTarget(-3000);
  EXPECT_TRUE(Holds([&] { return Text(C::LiveSpeedField) != "0.000" && !Text(C::LiveSpeedField).empty(); }));
  EXPECT_TRUE(LampIs(C::WaitingLamp, kGreen));
  EXPECT_FALSE(st().MotorMoving.load());
  EXPECT_EQ(c().Color(C::MovingLamp), kButtonFace);
  // A stop request ends the worker at the top of its next cycle; nothing follows long.
  StopWorkers();
  EXPECT_FALSE(sim->WaitForRequests(sim->RequestCount() + 1, std::chrono::milliseconds(200)));
}

// The curves' samples are the values the polling read, cycle by cycle, decoded here from
// the simulator's reply bytes.
TEST_F(StatusWorkerTest, samples_areTheValuesOfTheRepliesDuringAMove) {
  session.samples = std::make_shared<SampleHistory>();
  sim->ClearLog();
  StartStatusWorker(session);
  WaitRequests(18);
  SetDriveTarget(3000);
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::seconds(10)));
  WaitRequests(18);
  StopWorkers();
  const double rpmPerUnit = st().SpeedCoefficient.load() * 60000.0 / st().PulsesPerRev.load();
  std::vector<Sample> read;
  Sample cycle;
  for (const SimLogEntry& e : sim->Log()) {
    const auto& r = e.reply;
    if ((e.function != 3 && e.function != 4) || r.size() < 7) continue;
    const double s32 = r.size() == 9 ? static_cast<int32_t>(r[3] << 24 | r[4] << 16 | r[5] << 8 | r[6]) : 0;
    switch (e.reg) {
      case 0x002C: cycle[Quantity::ActualPosition] = s32; break;
      case 0x002E: cycle[Quantity::TargetPosition] = s32; break;
      case 0x003C: cycle[Quantity::Deviation] = s32; break;
      case 0x0015: cycle[Quantity::CurrentAmps] = (r[3] << 8 | r[4]) / 100.0; break;
      case 0x0045: cycle[Quantity::SpeedRpm] = s32 * rpmPerUnit; read.push_back(cycle); break;
      default: break;
    }
  }
  uint64_t next = 0;
  const std::vector<Sample> samples = session.samples->Since(next);
  ASSERT_EQ(samples.size(), read.size());
  bool moved = false;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    for (std::size_t q = 0; q < kQuantityCount; ++q) {
      EXPECT_NEAR(samples[i].values[q], read[i].values[q], 1e-9) << i << " " << q;
    }
    if (i > 0) {
      EXPECT_GT(samples[i].time, samples[i - 1].time);
    }
    moved = moved || samples[i][Quantity::SpeedRpm] != 0;
  }
  EXPECT_TRUE(moved);
}

// The origin input sits on Free (bit 2) for drive variant 1, on Zero (bit 3) otherwise;
// the other bit only shows in the text.
TEST_F(StatusWorkerTest, originBitFollowsTheVariant) {
  // driveModel: the bit the simulated drive reports the origin on; programVariant: the bit the program reads
  struct Case { uint32_t driveModel; int32_t programVariant; bool origin; const char* piece; };
  for (const Case& p : {Case{21000000, 1, true, "Free=1  Zero=0"}, Case{10500000, 0, true, "Free=0  Zero=1"},
                        Case{13000000, 3, true, "Free=0  Zero=1"}, Case{10500000, 1, false, "Free=0  Zero=1"},
                        Case{21000000, 0, false, "Free=1  Zero=0"}}) {
    SCOPED_TRACE(std::to_string(p.driveModel) + " variant " + std::to_string(p.programVariant));
    config.driveModel = p.driveModel;
    ASSERT_NO_FATAL_FAILURE(RestartDrive());
    st().DriveVariant.store(p.programVariant);
    StartStatusWorker(session);
    ASSERT_TRUE(TextIs(C::PortStatusField, PortStatusText(sim->PortStatus())));
    EXPECT_FALSE(st().OriginInput.load());
    sim->ForceInput(SimSensorId::Origin, true);
    EXPECT_TRUE(Holds([&] { return Text(C::PortStatusField).find(p.piece) != std::string::npos; }));
    WaitRequests(10);  // one more full cycle after the text changed
    EXPECT_EQ(st().OriginInput.load(), p.origin);
    EXPECT_EQ(c().Color(C::OriginLamp), p.origin ? kRed : kButtonFace);
    sim->ForceInput(SimSensorId::Origin, false);
    EXPECT_TRUE(Holds([&] { return Text(C::PortStatusField).find(p.piece) == std::string::npos; }));
    EXPECT_FALSE(st().OriginInput.load());
    EXPECT_EQ(c().Color(C::OriginLamp), kButtonFace);
  }
}

TEST_F(StatusWorkerTest, limitResync_onlyWhenArmedLimitModeAndALimitActive) {
  ASSERT_TRUE(sim->WriteRegister(0x0000, 0x0008));
  struct Case {
    const char* name;
    bool armed, bothLimits, limitMode, limitActive;
    bool stillArmed;
    int targetWrites;
    double target;  // the drive's target afterwards
  };
  const Case cases[] = {
      {"farLimit", true, false, true, true, false, 1, 0},
      {"bothLimitsInOneWord", true, true, true, true, false, 1, 0},
      {"withoutLimitMode_onlyDisarms", true, false, false, true, false, 0, 3000},
      {"noActiveLimit_staysArmed", true, false, true, false, true, 0, 3000},
      {"notArmed_sendsNothing", false, false, true, true, false, 0, 3000},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    StopWorkers();
    SetDriveTarget(3000);
    sim->ForceInput(SimSensorId::NearLimit, k.bothLimits);
    sim->ForceInput(SimSensorId::FarLimit, k.limitActive);
    st().LimitInputMode.store(k.limitMode);
    st().LimitSyncArmed.store(k.armed);
    sim->ClearLog();
    st().StopPolling.store(false);
    StartStatusWorker(session);
    ASSERT_TRUE(TextIs(C::ErrorTextField, "驱动器正常"));
    if (!k.stillArmed) {
      EXPECT_TRUE(Holds([&] { return !st().LimitSyncArmed.load(); }));
    }
    WaitRequests(30);
    EXPECT_EQ(st().LimitSyncArmed.load(), k.stillArmed);
    EXPECT_EQ(CountWrites(16, 0x002E), k.targetWrites);
    EXPECT_EQ(sim->TargetPosition(), k.target);
    if (k.targetWrites == 1) {
      EXPECT_TRUE(TextIs(C::TargetPositionField, "0"));
      EXPECT_DOUBLE_EQ(sim->DrivePosition(), 0);
    }
  }
}

}  // namespace
}  // namespace dd::test
