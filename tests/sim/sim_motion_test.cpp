// The simulated drive's model through its register interface: profiles end exactly at
// their targets, limits stop jogs in limit mode only, inputs follow the configured sensor
// levels, and saved parameters survive a power cycle. (Origin searches, and jogs and
// inputs through the program, are the motion and status tests'.)
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
    const auto u = static_cast<uint32_t>(units);
    ASSERT_TRUE(sim_->WriteRegisters(reg::kTargetPosition, {uint16_t(u >> 16), uint16_t(u & 0xFFFF)}));
  }
  void SensorLevels(uint16_t high) {
    ASSERT_TRUE(sim_->WriteRegisters(reg::kSensorConfig, {0, 0, high, 0}));
  }
  std::unique_ptr<SimDrive> sim_;
};

TEST_F(Motion, movesEndExactlyAtTargetWithSpeedDeviationAndTravel) {
  bool sawDeviation = false;
  Target(1900);
  ASSERT_TRUE(sim_->WaitFor([&] {
    const auto dev = sim_->Value(reg::kPositionDeviation);
    sawDeviation = sawDeviation || (dev && *dev != 0);
    return sim_->SpeedRegister() == 1024;
  }, 2000ms));
  EXPECT_TRUE(sawDeviation);
  ASSERT_TRUE(sim_->WaitForStandstill(3000ms));
  EXPECT_EQ(*sim_->Value(reg::kTravelTotal), 1900u * 128u);
  for (int32_t target : {-737, 1, 0}) {
    Command(ctl::kStop);
    Target(target);
    Command(ctl::kClear);
    ASSERT_TRUE(sim_->WaitFor([&] { return sim_->DrivePosition() == target && !sim_->Moving(); },
                              5000ms)) << target;
    EXPECT_EQ(sim_->SpeedRegister(), 0);
    EXPECT_EQ(sim_->Value(reg::kPositionDeviation), 0u);
  }
}

TEST_F(Motion, jogsStopAtTheActiveLimitInLimitModeOnly) {
  for (const auto& [command, side] : {std::pair{ctl::kJogToward, 1.0}, {ctl::kJogAway, -1.0}}) {
    Command(command);
    ASSERT_TRUE(sim_->WaitFor([&] { return sim_->Moving(); }, 1000ms));
    const SimSensorId limit = side > 0 ? SimSensorId::NearLimit : SimSensorId::FarLimit;
    ASSERT_TRUE(sim_->WaitFor([&] { return !sim_->Moving() && sim_->InputActive(limit); }, 5000ms));
    // Held there: the jog stays blocked while the limit is active.
    EXPECT_NEAR(sim_->TruePosition() * side, 2200, 200);
    EXPECT_EQ(sim_->SpeedRegister(), 0);
  }
  // Without limit mode a jog runs past the limit.
  ASSERT_TRUE(sim_->WriteRegister(reg::kDriveConfig, 0));
  Command(ctl::kJogToward);
  ASSERT_TRUE(sim_->WaitFor([&] { return sim_->TruePosition() > 2600; }, 3000ms));
  Command(ctl::kStop);
}

TEST_F(Motion, inputsFollowTheConfiguredSensorLevels) {
  for (SimSensorId s : {SimSensorId::NearLimit, SimSensorId::FarLimit, SimSensorId::Origin}) {
    sim_->WireSensor(s, false);
  }
  EXPECT_EQ(sim_->PortStatus() & 0x000F, 0);
  SensorLevels(0x300B);  // all normally closed: unwired inputs read active
  EXPECT_EQ(sim_->PortStatus() & 0x000F, 0x000B);
  // Normally closed limit switches with matching levels: active only when triggered.
  Begin(SmallAxis());
  sim_->SetSensorNormallyClosed(SimSensorId::NearLimit, true);
  sim_->SetSensorNormallyClosed(SimSensorId::FarLimit, true);
  SensorLevels(0x3003);
  EXPECT_EQ(sim_->PortStatus() & 0x0003, 0);
  sim_->SetTruePosition(2100);
  EXPECT_EQ(sim_->PortStatus() & 0x0003, port::kDir);
  // A drive whose levels are fixed keeps its sensor word at 0.
  SimConfig fixed = SmallAxis();
  fixed.sensorLevelsConfigurable = false;
  Begin(fixed);
  SensorLevels(0x0008);
  EXPECT_EQ(sim_->Value(reg::kSensorConfig), 0u);
}

TEST_F(Motion, releaseSetZeroSaveAndPowerCycle) {
  Command(ctl::kRelease);
  Target(1000);
  EXPECT_EQ(sim_->Register(reg::kActualCurrent), 0);
  EXPECT_FALSE(sim_->Moving());
  Command(ctl::kClear);  // enables where it stands
  EXPECT_TRUE(sim_->Enabled());
  EXPECT_EQ(sim_->TargetPosition(), 0);

  sim_->SetTruePosition(500);
  Command(ctl::kSetZero);
  EXPECT_EQ(sim_->DrivePosition(), 0);
  ASSERT_TRUE(sim_->WriteRegister(reg::kRunSpeed, 300));
  Command(ctl::kSave);
  ASSERT_TRUE(sim_->WriteRegister(reg::kRunSpeed, 400));
  sim_->SetTruePosition(300);
  sim_->SetErrorCode(0x0413);
  sim_->PowerCycle();  // zeroes the counter, not the axis; unsaved values are lost
  EXPECT_EQ(sim_->DrivePosition(), 0);
  EXPECT_EQ(sim_->TruePosition(), 300);
  EXPECT_EQ(sim_->Register(reg::kErrorCode), 0);
  EXPECT_EQ(sim_->Register(reg::kRunSpeed), 300);
  EXPECT_EQ(sim_->SaveCount(), 1u);

}

}  // namespace
}  // namespace dd
