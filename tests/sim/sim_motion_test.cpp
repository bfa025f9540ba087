// The simulated axis: profiles end exactly at their targets, limits stop jogs in
// limit mode, origin searches end on the sensor.
#include <gtest/gtest.h>

#include <chrono>

#include "link/drive_registers.h"
#include "sim/sim_drive.h"

namespace dd {
namespace {

using namespace std::chrono_literals;

SimConfig SmallAxis() {
  SimConfig c;
  c.wireRealism = false;
  c.axis.nearLimit.position = 2000;
  c.axis.farLimit.position = -2000;
  c.axis.origin.position = 600;
  c.axis.originWidth = 200;
  c.runSpeed = 1024;  // 8000 units/s
  c.homingSpeed = 512;
  c.axis.maxAccel = 200000;
  return c;
}

class Motion : public ::testing::Test {
 protected:
  void Begin(const SimConfig& c) {
    sim_ = std::make_unique<SimDrive>(c);
    ASSERT_TRUE(sim_->Start());
  }
  void SetUp() override { Begin(SmallAxis()); }
  void Command(uint16_t value) { ASSERT_TRUE(sim_->WriteRegister(reg::kControlWord, value)); }
  void Target(int32_t units) {
    ASSERT_TRUE(sim_->WriteRegisters(
        reg::kTargetPosition, {static_cast<uint16_t>(static_cast<uint32_t>(units) >> 16),
                               static_cast<uint16_t>(static_cast<uint32_t>(units) & 0xFFFF)}));
  }
  std::unique_ptr<SimDrive> sim_;
};

TEST_F(Motion, moveEndsExactlyAtTargetWithZeroSpeed) {
  for (int32_t target : {1500, -737, 1, 0}) {
    Command(ctl::kStop);
    Target(target);
    Command(ctl::kClear);
    ASSERT_TRUE(sim_->WaitFor([&] { return sim_->Moving(); }, 1000ms)) << target;
    ASSERT_TRUE(sim_->WaitForStandstill(5000ms));
    EXPECT_EQ(sim_->DrivePosition(), target);
    EXPECT_EQ(sim_->SpeedRegister(), 0);
    EXPECT_EQ(sim_->Value(reg::kPositionDeviation), 0u);
    EXPECT_EQ(sim_->Value(reg::kActualSpeed), 0u);
  }
}

TEST_F(Motion, speedRegisterFollowsRunSpeedAndDeviationGrowsWithAcceleration) {
  bool sawDeviation = false;
  Target(1900);
  ASSERT_TRUE(sim_->WaitFor(
      [&] {
        const auto dev = sim_->Value(reg::kPositionDeviation);
        sawDeviation = sawDeviation || (dev && *dev != 0);
        return sim_->SpeedRegister() == 1024;
      },
      2000ms));
  EXPECT_TRUE(sawDeviation);
  ASSERT_TRUE(sim_->WaitForStandstill(3000ms));
  EXPECT_GT(*sim_->Value(reg::kTravelTotal), 0u);
  EXPECT_EQ(*sim_->Value(reg::kTravelTotal), 1900u * 128u);
}

TEST_F(Motion, stopDeceleratesAndHolds_thenClearFollowsTheTarget) {
  Target(1900);
  ASSERT_TRUE(sim_->WaitFor([&] { return sim_->DrivePosition() > 200; }, 2000ms));
  Command(ctl::kStop);
  ASSERT_TRUE(sim_->WaitForStandstill(3000ms));
  const double held = sim_->DrivePosition();
  EXPECT_LT(held, 1900);
  EXPECT_EQ(sim_->ControlWord(), ctl::kStop);
  Command(ctl::kClear);
  ASSERT_TRUE(sim_->WaitFor([&] { return sim_->DrivePosition() == 1900 && !sim_->Moving(); },
                            3000ms));
}

TEST_F(Motion, jogsStopAtTheActiveLimitInLimitModeOnly) {
  for (const auto& [command, side] : {std::pair{ctl::kJogToward, 1.0}, {ctl::kJogAway, -1.0}}) {
    Command(command);
    ASSERT_TRUE(sim_->WaitFor([&] { return sim_->Moving(); }, 1000ms));
    const SimSensorId limit = side > 0 ? SimSensorId::NearLimit : SimSensorId::FarLimit;
    ASSERT_TRUE(sim_->WaitFor([&] { return !sim_->Moving() && sim_->InputActive(limit); }, 5000ms));
    // Held there: the jog stays blocked while the limit is active.
    EXPECT_GE(sim_->TruePosition() * side, 2000);
    EXPECT_LT(sim_->TruePosition() * side, 2400);
    EXPECT_EQ(sim_->SpeedRegister(), 0);
  }
  // Away from an active limit is allowed.
  sim_->SetTruePosition(2100);
  Command(ctl::kJogAway);
  ASSERT_TRUE(sim_->WaitFor([&] { return !sim_->InputActive(SimSensorId::NearLimit); }, 2000ms));
  Command(ctl::kClear);
  ASSERT_TRUE(sim_->WaitForStandstill(2000ms));
  EXPECT_EQ(sim_->TargetPosition(), sim_->DrivePosition());
  // Without limit mode a jog runs past the limit.
  ASSERT_TRUE(sim_->WriteRegister(reg::kDriveConfig, 0));
  Command(ctl::kJogToward);
  ASSERT_TRUE(sim_->WaitFor([&] { return sim_->TruePosition() > 2600; }, 3000ms));
  Command(ctl::kStop);
}

TEST_F(Motion, originSearchesEndOnTheSensorOrAtTheLimits) {
  for (const auto& [start, command, edge] :
       {std::tuple{0.0, ctl::kStartOriginSearch, 600.0}, {1500.0, ctl::kReverseOriginSearch, 800.0}}) {
    sim_->SetTruePosition(start);
    Command(command);
    ASSERT_TRUE(sim_->WaitFor([&] { return sim_->Moving(); }, 1000ms));
    ASSERT_TRUE(sim_->WaitFor(
        [&] { return !sim_->Moving() && sim_->InputActive(SimSensorId::Origin); }, 5000ms));
    EXPECT_NEAR(sim_->TruePosition(), edge, 10);
    EXPECT_NE(sim_->PortStatus() & port::kZero, 0);
    Command(ctl::kStop);
  }
  sim_->WireSensor(SimSensorId::Origin, false);
  Command(ctl::kStartOriginSearch);
  ASSERT_TRUE(sim_->WaitFor(
      [&] { return !sim_->Moving() && sim_->InputActive(SimSensorId::NearLimit); }, 5000ms));
  Command(ctl::kReverseOriginSearch);
  ASSERT_TRUE(sim_->WaitFor(
      [&] { return !sim_->Moving() && sim_->InputActive(SimSensorId::FarLimit); }, 5000ms));
  // With homing speed 0 the search runs at the run speed.
  ASSERT_TRUE(sim_->WriteRegister(reg::kHomingSpeed, 0));
  ASSERT_TRUE(sim_->WriteRegister(reg::kRunSpeed, 100));
  Command(ctl::kStartOriginSearch);
  ASSERT_TRUE(sim_->WaitFor([&] { return sim_->SpeedRegister() == 100; }, 2000ms));
}

TEST_F(Motion, releasePowerCycleAndForcedInputs) {
  Command(ctl::kRelease);
  Target(1000);
  EXPECT_EQ(sim_->Register(reg::kActualCurrent), 0);
  EXPECT_FALSE(sim_->Enabled());
  EXPECT_EQ(sim_->PortStatus() & port::kReady, 0);
  EXPECT_FALSE(sim_->Moving());
  Command(ctl::kClear);  // enables where it stands
  EXPECT_TRUE(sim_->Enabled());
  EXPECT_EQ(sim_->TargetPosition(), 0);

  sim_->SetTruePosition(300);
  sim_->SetErrorCode(0x0413);
  sim_->PowerCycle();  // zeroes the counter, not the axis
  EXPECT_EQ(sim_->DrivePosition(), 0);
  EXPECT_EQ(sim_->TruePosition(), 300);
  EXPECT_EQ(sim_->Register(reg::kErrorCode), 0);

  sim_->ForceInput(SimSensorId::NearLimit, true);
  EXPECT_EQ(sim_->PortStatus() & 0x3, port::kDir);
  sim_->ForceInput(SimSensorId::NearLimit, std::nullopt);
  EXPECT_EQ(sim_->PortStatus() & 0x3, 0);

  SimConfig c = SmallAxis();
  c.driveConfig = 0x2008;  // starts released
  Begin(c);
  EXPECT_EQ(sim_->ControlWord(), ctl::kRelease);
  EXPECT_FALSE(sim_->Enabled());
}

}  // namespace
}  // namespace dd
