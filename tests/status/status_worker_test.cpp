// The polling worker against the simulated drive: live values, flags, lamps, the limit
// re-synchronisation and a drive that stays silent.
#include <gtest/gtest.h>

#include <string>

#include "app/control.h"
#include "status/sample_history.h"
#include "status/status_display.h"
#include "status/status_worker.h"
#include "tests/status/status_test_fixture.h"

namespace dd::test {
namespace {

class StatusWorkerTest : public SimSessionTest {
 protected:
  ControlModel& c() { return session.controls; }
  SharedState& st() { return session.state; }
  // Waits for `n` more polling requests, i.e. about n/9 full cycles.
  void WaitRequests(uint64_t n) {
    ASSERT_TRUE(sim->WaitForRequests(sim->RequestCount() + n, std::chrono::seconds(10)));
  }
  bool TextIs(Control id, const std::string& text, int timeoutMs = 5000) {
    return Eventually([&] { return c().Text(id) == text; }, timeoutMs);
  }
};

TEST_F(StatusWorkerTest, liveValues_followTheSimulator) {
  sim->SetErrorCode(1043);
  ASSERT_TRUE(sim->SetValue(0x1006, 93784, 2));
  ASSERT_TRUE(sim->SetValue(0x1008, 51200ull * 12345, 4));
  sim->SetTruePosition(1000);
  StartStatusWorker(session);

  EXPECT_TRUE(TextIs(Control::ErrorTextField, "反向堵转"));
  EXPECT_TRUE(Eventually([&] { return !st().DriveHealthy.load(); }));
  EXPECT_TRUE(TextIs(Control::ActualPositionField, "1000"));
  EXPECT_TRUE(TextIs(Control::TargetPositionField, "1000"));
  EXPECT_TRUE(TextIs(Control::PositionDeviationField, "0"));
  EXPECT_DOUBLE_EQ(st().ActualPosition.load(), 1000);
  EXPECT_DOUBLE_EQ(st().TargetPosition.load(), 1000);
  // The run time counts on while the motor is enabled: a day and a few seconds.
  EXPECT_TRUE(Eventually([&] { return c().Text(Control::RunTimeField).rfind("1天02:03:0", 0) == 0; }));
  EXPECT_TRUE(TextIs(Control::TravelField, "12,345"));
  EXPECT_TRUE(Eventually([&] { return c().Visible(Control::TravelUnit); }));
  // Enabled at standstill: full current until the reduction delay, then reduced.
  EXPECT_TRUE(Eventually([&] {
    const std::string shown = c().Text(Control::LiveCurrentField);
    return shown == "3.00" || shown == "1.50";
  }));
  EXPECT_TRUE(Eventually([&] { return c().Visible(Control::LiveCurrentUnit); }));
  EXPECT_TRUE(TextIs(Control::LiveSpeedField, "0.000"));
  EXPECT_TRUE(Eventually([&] { return c().Visible(Control::LiveSpeedUnit); }));
  EXPECT_TRUE(Eventually([&] { return c().Color(Control::WaitingLamp) == kGreen; }));
  EXPECT_EQ(c().Color(Control::MovingLamp), kButtonFace);
  // Faulted and enabled: Ready off, BRK on.
  EXPECT_TRUE(TextIs(Control::PortStatusField, "Step=0  Dir=0  Free=0  Zero=0  Ready=0  INP=1  BRK=1  PSL=0  PSH=0  "));

  // A fault that clears, and an unknown code.
  sim->SetErrorCode(4660);
  EXPECT_TRUE(TextIs(Control::ErrorTextField, "错误码：4660"));
  sim->SetErrorCode(0);
  EXPECT_TRUE(TextIs(Control::ErrorTextField, "驱动器正常"));
  EXPECT_TRUE(Eventually([&] { return st().DriveHealthy.load(); }));
  EXPECT_TRUE(TextIs(Control::PortStatusField, PortStatusText(sim->PortStatus())));

  // A move: the moving lamp while the speed is non-zero, then the new positions.
  SetDriveTarget(3000);
  EXPECT_TRUE(Eventually([&] { return st().MotorMoving.load(); }));
  EXPECT_TRUE(Eventually([&] { return c().Color(Control::MovingLamp) == kRed; }));
  EXPECT_TRUE(Eventually([&] { return c().Color(Control::WaitingLamp) == kButtonFace; }));
  EXPECT_TRUE(Eventually([&] {
    const std::string rpm = c().Text(Control::LiveSpeedField);
    return rpm != "0.000" && !rpm.empty();
  }));
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::seconds(10)));
  EXPECT_TRUE(TextIs(Control::ActualPositionField, "3000"));
  EXPECT_TRUE(TextIs(Control::TargetPositionField, "3000"));
  EXPECT_TRUE(Eventually([&] { return !st().MotorMoving.load(); }));
  EXPECT_TRUE(Eventually([&] { return c().Color(Control::MovingLamp) == kButtonFace; }));
  EXPECT_EQ(c().Color(Control::WaitingLamp), kGreen);
  EXPECT_DOUBLE_EQ(st().ActualPosition.load(), 3000);
}

// The curves get exactly what the polling read: during a move, sample by sample, the
// values of the drive's replies in the same cycle, at rising real times.
TEST_F(StatusWorkerTest, samples_areTheValuesOfTheRepliesDuringAMove) {
  session.samples = std::make_shared<SampleHistory>();
  sim->ClearLog();
  StartStatusWorker(session);
  WaitRequests(18);
  SetDriveTarget(3000);
  ASSERT_TRUE(sim->WaitFor([&] { return sim->DrivePosition() == 3000; }, std::chrono::seconds(10)));
  WaitRequests(18);
  StopWorkers();
  const double end = session.samples->Now();

  // Each cycle's five plotted reads, decoded from the reply bytes.
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
      EXPECT_NEAR(samples[i].values[q], read[i].values[q], 1e-9) << "sample " << i << " quantity " << q;
    }
    if (i > 0) {
      EXPECT_GT(samples[i].time, samples[i - 1].time);
    }
    moved = moved || samples[i][Quantity::SpeedRpm] != 0;
  }
  EXPECT_TRUE(moved);
  EXPECT_EQ(samples.back()[Quantity::ActualPosition], 3000);
  EXPECT_GE(samples.front().time, 0);
  EXPECT_LE(samples.back().time, end);
}

TEST_F(StatusWorkerTest, speedWithMotorReleased_isNotMoving) {
  // The drive reports a speed, but the program holds the motor for released.
  st().MotorEnabled.store(false);
  StartStatusWorker(session);
  SetDriveTarget(-3000);
  ASSERT_TRUE(sim->WaitFor([&] { return sim->SpeedRegister() != 0; }, std::chrono::seconds(5)));
  EXPECT_TRUE(Eventually([&] { return c().Text(Control::LiveSpeedField) != "0.000" && !c().Text(Control::LiveSpeedField).empty(); }));
  EXPECT_TRUE(Eventually([&] { return c().Color(Control::WaitingLamp) == kGreen; }));
  EXPECT_FALSE(st().MotorMoving.load());
  EXPECT_EQ(c().Color(Control::MovingLamp), kButtonFace);
}

TEST_F(StatusWorkerTest, limitInputs_setFlagsLampsAndText) {
  StartStatusWorker(session);
  sim->ForceInput(SimSensorId::FarLimit, true);
  EXPECT_TRUE(Eventually([&] { return st().FarLimitInput.load(); }));
  EXPECT_TRUE(Eventually([&] { return c().Color(Control::FarLimitLamp) == kRed; }));
  EXPECT_TRUE(Eventually([&] { return c().Text(Control::PortStatusField).rfind("Step=1  Dir=0  ", 0) == 0; }));
  EXPECT_FALSE(st().NearLimitInput.load());
  EXPECT_EQ(c().Color(Control::NearLimitLamp), kButtonFace);

  sim->ForceInput(SimSensorId::FarLimit, false);
  sim->ForceInput(SimSensorId::NearLimit, true);
  EXPECT_TRUE(Eventually([&] { return st().NearLimitInput.load() && !st().FarLimitInput.load(); }));
  EXPECT_TRUE(Eventually([&] { return c().Color(Control::NearLimitLamp) == kRed && c().Color(Control::FarLimitLamp) == kButtonFace; }));
  EXPECT_TRUE(Eventually([&] { return c().Text(Control::PortStatusField).rfind("Step=0  Dir=1  ", 0) == 0; }));

  // A hidden lamp keeps its colour; the flag still follows.
  c().SetVisible(Control::NearLimitLamp, false);
  sim->ForceInput(SimSensorId::NearLimit, false);
  EXPECT_TRUE(Eventually([&] { return !st().NearLimitInput.load(); }));
  WaitRequests(20);
  EXPECT_EQ(c().Color(Control::NearLimitLamp), kRed);
}

// The origin input sits on Free (bit 2) for drive variant 1, on Zero (bit 3) otherwise;
// the other bit only shows in the text.
struct OriginCase {
  const char* name;
  uint32_t driveModel;   // which bit the simulated drive reports the origin on
  int32_t programVariant;  // which bit the program takes as the origin
  bool origin;
  const char* piece;
};

class OriginInputTest : public StatusWorkerTest,
                        public ::testing::WithParamInterface<OriginCase> {
 protected:
  void SetUp() override {
    startInSetUp = false;
    StatusWorkerTest::SetUp();
    config.driveModel = GetParam().driveModel;
    StartDrive();
    st().DriveVariant.store(GetParam().programVariant);
  }
};

TEST_P(OriginInputTest, originBitFollowsTheVariant) {
  const OriginCase& p = GetParam();
  StartStatusWorker(session);
  ASSERT_TRUE(TextIs(Control::PortStatusField, PortStatusText(sim->PortStatus())));
  EXPECT_FALSE(st().OriginInput.load());
  sim->ForceInput(SimSensorId::Origin, true);
  EXPECT_TRUE(Eventually([&] { return c().Text(Control::PortStatusField).find(p.piece) != std::string::npos; }));
  WaitRequests(10);  // one more full cycle after the text changed
  EXPECT_EQ(st().OriginInput.load(), p.origin);
  EXPECT_EQ(c().Color(Control::OriginLamp), p.origin ? kRed : kButtonFace);
  sim->ForceInput(SimSensorId::Origin, false);
  EXPECT_TRUE(Eventually([&] { return c().Text(Control::PortStatusField).find(p.piece) == std::string::npos; }));
  EXPECT_FALSE(st().OriginInput.load());
  EXPECT_EQ(c().Color(Control::OriginLamp), kButtonFace);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, OriginInputTest,
    ::testing::Values(OriginCase{"variant1_free", 21000000, 1, true, "Free=1  Zero=0"},
                      OriginCase{"variant0_zero", 10500000, 0, true, "Free=0  Zero=1"},
                      OriginCase{"variant3_zero", 13000000, 3, true, "Free=0  Zero=1"},
                      OriginCase{"variant1_zeroOnlyText", 10500000, 1, false, "Free=0  Zero=1"},
                      OriginCase{"variant0_freeOnlyText", 21000000, 0, false, "Free=1  Zero=0"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(StatusWorkerTest, silentDrive_changesNothingAndWorkerStillStops) {
  const Control fields[] = {Control::ActualPositionField, Control::TargetPositionField, Control::PositionDeviationField, Control::LiveCurrentField, Control::LiveSpeedField,
                          Control::PortStatusField, Control::ErrorTextField, Control::RunTimeField, Control::TravelField};
  for (const Control f : fields) c().SetText(f, "before");
  st().DriveHealthy.store(true);
  st().MotorMoving.store(true);
  st().FarLimitInput.store(true);
  st().ActualPosition.store(77);
  sim->SetErrorCode(1043);
  sim->ForceInput(SimSensorId::NearLimit, true);
  sim->ScriptFault(SimFault::Silent, -1);

  session.samples = std::make_shared<SampleHistory>();
  StartStatusWorker(session);
  // Two steps of ten attempts each have been made and failed.
  ASSERT_TRUE(sim->WaitForRequests(20, std::chrono::seconds(15)));
  StopWorkers();
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  for (const Control f : fields) EXPECT_EQ(c().Text(f), "before") << f;
  EXPECT_TRUE(st().DriveHealthy.load());
  EXPECT_TRUE(st().MotorMoving.load());
  EXPECT_TRUE(st().FarLimitInput.load());
  EXPECT_FALSE(st().NearLimitInput.load());
  EXPECT_DOUBLE_EQ(st().ActualPosition.load(), 77);
  EXPECT_EQ(c().Color(Control::NearLimitLamp), kButtonFace);
  EXPECT_FALSE(c().Visible(Control::LiveCurrentUnit));
  EXPECT_EQ(session.samples->Size(), 0u);  // nothing read, nothing plotted
}

TEST_F(StatusWorkerTest, stopPolling_endsAtTheTopOfTheNextCycle) {
  StartStatusWorker(session);
  EXPECT_EQ(st().WorkerCount.load(), 1);
  ASSERT_TRUE(TextIs(Control::ErrorTextField, "驱动器正常"));
  StopWorkers();
  const uint64_t after = sim->RequestCount();
  // A cycle is nine reads; nothing may follow the stop for long.
  EXPECT_FALSE(sim->WaitForRequests(after + 1, std::chrono::milliseconds(200)));
}

// Drive held by a stop command with its target elsewhere, and a limit input active:
// the state a relative move leaves when it runs into a limit.
class LimitResyncTest : public StatusWorkerTest {
 protected:
  void SetUp() override {
    StatusWorkerTest::SetUp();
    ASSERT_TRUE(sim->WriteRegister(0x0000, 0x0008));
    SetDriveTarget(3000);
    sim->ForceInput(SimSensorId::FarLimit, true);
    sim->ClearLog();
  }
};

struct ResyncCase {
  const char* name;
  bool bothLimits, limitMode, limitActive;
  bool stillArmed;
  int targetWrites;
  double target;  // the drive's target afterwards
};

TEST_F(LimitResyncTest, armedOnly_pullsTargetOntoActualOnceWhenALimitIsActiveInLimitMode) {
  const ResyncCase cases[] = {
      {"farLimit", false, true, true, false, 1, 0},
      {"bothLimitsInOneWord", true, true, true, false, 1, 0},
      {"withoutLimitMode_onlyDisarms", false, false, true, false, 0, 3000},
      {"noActiveLimit_staysArmed", false, true, false, true, 0, 3000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StopWorkers();
    SetDriveTarget(3000);
    sim->ForceInput(SimSensorId::NearLimit, c.bothLimits);
    sim->ForceInput(SimSensorId::FarLimit, c.limitActive);
    st().LimitInputMode.store(c.limitMode);
    st().LimitSyncArmed.store(true);
    sim->ClearLog();
    st().StopPolling.store(false);
    StartStatusWorker(session);
    ASSERT_TRUE(TextIs(Control::ErrorTextField, "驱动器正常"));
    if (!c.stillArmed) {
      EXPECT_TRUE(Eventually([&] { return !st().LimitSyncArmed.load(); }));
    }
    WaitRequests(30);
    EXPECT_EQ(st().LimitSyncArmed.load(), c.stillArmed);
    EXPECT_EQ(TargetWrites(sim->Log()), c.targetWrites);
    EXPECT_EQ(sim->TargetPosition(), c.target);
    if (c.targetWrites == 1) {
      EXPECT_TRUE(TextIs(Control::TargetPositionField, "0"));
      EXPECT_DOUBLE_EQ(sim->DrivePosition(), 0);
    }
  }
}

TEST_F(LimitResyncTest, notArmed_sendsNothing) {
  StartStatusWorker(session);
  ASSERT_TRUE(TextIs(Control::TargetPositionField, "3000"));
  ASSERT_TRUE(Eventually([&] { return st().FarLimitInput.load(); }));
  WaitRequests(30);
  EXPECT_EQ(TargetWrites(sim->Log()), 0);
  EXPECT_EQ(sim->TargetPosition(), 3000);
}

TEST_F(StatusWorkerTest, idleDrive_sendsNoChangesToTheWindow) {
  // Released: no run time counting, no current, nothing moves.
  ASSERT_TRUE(sim->WriteRegister(0x0000, 0x0004));
  st().MotorEnabled.store(false);
  int notified = 0;
  c().SetObserver([&] { ++notified; });
  StartStatusWorker(session);
  ASSERT_TRUE(TextIs(Control::PortStatusField, PortStatusText(sim->PortStatus())));
  WaitRequests(20);
  const auto first = c().TakeChanges();
  EXPECT_FALSE(first.empty());
  const int before = notified;
  WaitRequests(60);  // several more full cycles
  const auto later = c().TakeChanges();
  EXPECT_TRUE(later.empty()) << later.front().first << " = " << later.front().second.text;
  EXPECT_EQ(notified, before);
  c().SetObserver(nullptr);
}

}  // namespace
}  // namespace dd::test
