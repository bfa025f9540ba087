// Our own drive operations against the simulator: big and negative values, commands,
// and each fault yields the result the protocol predicts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "link/drive_commands.h"
#include "link/serial_port.h"
#include "sim/sim_drive.h"

namespace dd {
namespace {

using namespace std::chrono_literals;

// As the program's callers do: up to 10 attempts. A loaded test machine (sanitizers,
// parallel runs) can miss the master's 16 ms reply window now and then.
template <typename F>
CommandResult Try(F f) {
  CommandResult r = f();
  for (int i = 1; i < 10 && r != kOk; ++i) r = f();
  return r;
}

SimConfig SmallAxis() {
  SimConfig c;
  c.wireRealism = false;  // wire time has its own tests; here only the replies count
  c.axis.nearLimit.position = 2000;
  c.axis.farLimit.position = -2000;
  c.axis.origin.position = 600;
  c.axis.originWidth = 200;
  c.runSpeed = 1024;      // 8000 units/s with the default scale
  c.homingSpeed = 512;
  c.axis.maxAccel = 200000;
  return c;
}

class LinkAgainstSim : public ::testing::Test {
 protected:
  void Open(const SimConfig& config) {
    sim_ = std::make_unique<SimDrive>(config);
    ASSERT_TRUE(sim_->Start());
    port_ = OpenPortByPath(sim_->DevicePath(), static_cast<int32_t>(config.lineBaud), 8, 0, 2);
    ASSERT_NE(port_, 0);
  }
  void SetUp() override { Open(SmallAxis()); }
  void TearDown() override {
    if (port_ != 0) ClosePort(port_);
  }
  // The polling reads of the status worker, done the way it does: retry until success.
  double Position() {
    double v = 0;
    for (int i = 0; i < 10 && ReadActualPosition(port_, 1, v) != kOk; ++i) {
    }
    return v;
  }
  int32_t Status() {
    int32_t v = 0;
    EXPECT_EQ(Try([&] { return ReadPortStatus(port_, 1, v); }), kOk);
    return v;
  }

  std::unique_ptr<SimDrive> sim_;
  SerialHandle port_ = 0;
};

TEST_F(LinkAgainstSim, bigCountersAndNegativePositions_decodeAsTheDriveHoldsThem) {
  ASSERT_EQ(Try([&] { return ReleaseMotor(port_, 1); }), kOk);  // nothing may move or count meanwhile
  ASSERT_EQ(Try([&] { return WriteTargetPosition(port_, 1, -2); }), kOk);
  sim_->SetValue(0x1008, 4294967296ull, 4);
  sim_->SetValue(0x1006, 90061, 2);
  double travel = 0, runTime = 0, target = 0;
  ASSERT_EQ(Try([&] { return ReadTravelTotal(port_, 1, travel); }), kOk);
  ASSERT_EQ(Try([&] { return ReadRunTime(port_, 1, runTime); }), kOk);
  ASSERT_EQ(Try([&] { return ReadTargetPosition(port_, 1, target); }), kOk);
  EXPECT_EQ(travel, 4294967296.0);
  EXPECT_EQ(runTime, 90061.0);
  EXPECT_EQ(target, -2.0);
}

TEST_F(LinkAgainstSim, saveThenPowerCycle_keepsSavedValuesOnly) {
  ASSERT_EQ(Try([&] { return WriteRunSpeed(port_, 1, 300); }), kOk);
  ASSERT_EQ(Try([&] { return SaveParameters(port_, 1); }), kOk);
  ASSERT_EQ(Try([&] { return WriteRunSpeed(port_, 1, 400); }), kOk);
  sim_->PowerCycle();
  int32_t v = 0;
  ASSERT_EQ(Try([&] { return ReadRunSpeed(port_, 1, v); }), kOk);
  EXPECT_EQ(v, 300);
  EXPECT_EQ(sim_->SaveCount(), 1u);
}

TEST_F(LinkAgainstSim, jogThenClear_stopsWithoutRunningBack) {
  ASSERT_EQ(Try([&] { return JogTowardMotor(port_, 1); }), kOk);
  ASSERT_TRUE(sim_->WaitFor([&] { return sim_->DrivePosition() > 300; }, 3000ms));
  double speed = 0;
  ASSERT_EQ(Try([&] { return ReadActualSpeed(port_, 1, speed); }), kOk);
  EXPECT_GT(speed, 0);
  ASSERT_EQ(Try([&] { return ClearCommand(port_, 1); }), kOk);
  const double atClear = sim_->DrivePosition();
  ASSERT_TRUE(sim_->WaitForStandstill(3000ms));
  EXPECT_GE(Position(), atClear);
  double target = 0;
  ASSERT_EQ(Try([&] { return ReadTargetPosition(port_, 1, target); }), kOk);
  EXPECT_EQ(target, Position());
}

TEST_F(LinkAgainstSim, releaseAndEnable_showInControlWordAndCurrent) {
  ASSERT_EQ(Try([&] { return ReleaseMotor(port_, 1); }), kOk);
  int32_t cw = 0, current = -1;
  ASSERT_EQ(Try([&] { return ReadControlWord(port_, 1, cw); }), kOk);
  EXPECT_EQ(cw & 0x0004, 0x0004);
  ASSERT_EQ(Try([&] { return ReadActualCurrent(port_, 1, current); }), kOk);
  EXPECT_EQ(current, 0);
  ASSERT_EQ(Try([&] { return ClearCommand(port_, 1); }), kOk);
  ASSERT_EQ(Try([&] { return ReadControlWord(port_, 1, cw); }), kOk);
  EXPECT_EQ(cw & 0x0004, 0);
}

TEST_F(LinkAgainstSim, setZero_makesPresentPositionZero) {
  sim_->SetTruePosition(500);
  ASSERT_EQ(Try([&] { return SetZeroPosition(port_, 1); }), kOk);
  EXPECT_EQ(Position(), 0);
  EXPECT_DOUBLE_EQ(sim_->TruePosition(), 500);
}

TEST_F(LinkAgainstSim, limitsAndOriginAppearInPortStatus) {
  sim_->SetTruePosition(2100);
  EXPECT_EQ(Status() & 0x000F, 0x0002);  // Dir: near limit
  sim_->SetTruePosition(-2100);
  EXPECT_EQ(Status() & 0x000F, 0x0001);  // Step: far limit
  sim_->SetTruePosition(700);
  EXPECT_EQ(Status() & 0x000F, 0x0008);  // Zero: origin, drive variant 0
  sim_->SetTruePosition(0);
  EXPECT_EQ(Status() & 0x000F, 0x0000);
}

TEST_F(LinkAgainstSim, normallyClosedLevels_invertUnwiredInputs) {
  sim_->WireSensor(SimSensorId::NearLimit, false);
  sim_->WireSensor(SimSensorId::FarLimit, false);
  sim_->WireSensor(SimSensorId::Origin, false);
  EXPECT_EQ(Status() & 0x000F, 0x0000);
  ASSERT_EQ(Try([&] { return WriteSensorConfig(port_, 1, 806027264); }), kOk);  // all normally closed
  EXPECT_EQ(Status() & 0x000F, 0x000B);
}

TEST_F(LinkAgainstSim, matchingLevelsForNormallyClosedSwitches_showTriggeredOnly) {
  sim_->SetSensorNormallyClosed(SimSensorId::NearLimit, true);
  sim_->SetSensorNormallyClosed(SimSensorId::FarLimit, true);
  ASSERT_EQ(Try([&] { return WriteSensorConfig(port_, 1, 805502976); }), kOk);  // limits normally closed
  EXPECT_EQ(Status() & 0x0003, 0x0000);
  sim_->SetTruePosition(2100);
  EXPECT_EQ(Status() & 0x0003, 0x0002);
}

TEST_F(LinkAgainstSim, fixedLevelDrive_ignoresTheProbeWrite) {
  SimConfig c = SmallAxis();
  c.sensorLevelsConfigurable = false;
  ClosePort(port_);
  Open(c);
  ASSERT_EQ(Try([&] { return WriteSensorConfig(port_, 1, 524288); }), kOk);
  int32_t s = -1;
  ASSERT_EQ(Try([&] { return ReadSensorConfig(port_, 1, s); }), kOk);
  EXPECT_EQ(s, 0);
}

TEST_F(LinkAgainstSim, errorCodeOnDemand_isRead) {
  for (uint16_t code : {uint16_t{1043}, uint16_t{1044}, uint16_t{0}}) {
    sim_->SetErrorCode(code);
    int32_t v = -1;
    ASSERT_EQ(Try([&] { return ReadErrorCode(port_, 1, v); }), kOk);
    EXPECT_EQ(v, code);
  }
}

// --- Faults ---

struct FaultCase {
  const char* name;
  SimFault fault;
  CommandResult readResult;
  CommandResult writeResult;
};

const FaultCase kFaults[] = {
    {"drop", SimFault::Drop, kShortReply, kShortReply},
    {"silent", SimFault::Silent, kShortReply, kShortReply},
    {"short", SimFault::Short, kShortReply, kShortReply},
    {"exception", SimFault::Exception, kShortReply, kShortReply},
    {"badCrc", SimFault::BadCrc, kBadCrc, kBadCrc},
    {"late", SimFault::Late, kShortReply, kShortReply},
    {"split", SimFault::Split, kShortReply, kShortReply},
};

class LinkFaultTest : public LinkAgainstSim, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(LinkFaultTest, readFailsAsPredicted_andTheNextReadIsClean) {
  sim_->ScriptFault(GetParam().fault, 1);
  int32_t v = 77;
  EXPECT_EQ(ReadRunSpeed(port_, 1, v), GetParam().readResult);
  EXPECT_EQ(v, GetParam().readResult == kBadCrc ? 0 : 77);
  // Let a late or split reply's stray bytes arrive, then the next request is clean.
  ASSERT_TRUE(sim_->WaitFor(
      [&] {
        const auto log = sim_->Log();
        return !log.empty() && (log.back().reply.empty() ||
                                log.back().replied.time_since_epoch().count() != 0);
      },
      2000ms));
  ASSERT_EQ(Try([&] { return ReadRunSpeed(port_, 1, v); }), kOk);
  EXPECT_EQ(v, 1024);
}

TEST_P(LinkFaultTest, writeFailsAsPredicted) {
  sim_->ScriptFault(GetParam().fault, 1);
  EXPECT_EQ(WriteRunSpeed(port_, 1, 300), GetParam().writeResult);
}

INSTANTIATE_TEST_SUITE_P(Faults, LinkFaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(LinkAgainstSim, droppedWriteReply_commandWasStillExecuted) {
  sim_->ScriptFault(SimFault::Drop, 1);
  EXPECT_EQ(WriteRunSpeed(port_, 1, 300), kShortReply);
  EXPECT_EQ(sim_->Register(0x0040), 300);
  sim_->ScriptFault(SimFault::Silent, 1);
  EXPECT_EQ(WriteRunSpeed(port_, 1, 400), kShortReply);
  EXPECT_EQ(sim_->Register(0x0040), 300);
}

TEST_F(LinkAgainstSim, lateReply_isNotTakenByAReadOfAnotherRegister) {
  // The late run-speed reply comes while reads of the start speed (dropped) wait for theirs.
  sim_->ScriptFault(SimFault::Late, 1);
  sim_->ScriptFault(SimFaultRule{SimFault::Drop, 8, uint16_t{0x0041}, std::nullopt});
  int32_t v = 0;
  EXPECT_EQ(ReadRunSpeed(port_, 1, v), kShortReply);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ReadStartSpeed(port_, 1, v), kShortReply) << i;
  EXPECT_EQ(Try([&] { return ReadStartSpeed(port_, 1, v); }), kOk);
  EXPECT_EQ(v, 50);
}

TEST_F(LinkAgainstSim, faultTargetedAtOneRegister_spareTheOthers) {
  sim_->ScriptFault(SimFaultRule{SimFault::Silent, -1, uint16_t{0x0043}, std::nullopt});
  int32_t v = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ReadSpeedFactor(port_, 1, v), kShortReply);
    EXPECT_EQ(Try([&] { return ReadRunSpeed(port_, 1, v); }), kOk);
  }
  sim_->ClearFaults();
  EXPECT_EQ(Try([&] { return ReadSpeedFactor(port_, 1, v); }), kOk);
}

TEST_F(LinkAgainstSim, faultsByChance_areReproducibleWithASeed) {
  const auto run = [&](uint64_t seed) {
    SimConfig c = SmallAxis();
    c.seed = seed;
    c.faultProbability[static_cast<std::size_t>(SimFault::Drop)] = 0.5;
    ClosePort(port_);
    Open(c);
    int32_t v = 0;
    for (int i = 0; i < 12; ++i) ReadRunSpeed(port_, 1, v);
    std::string pattern;
    for (const auto& e : sim_->Log()) pattern += e.fault ? 'x' : 'o';
    return pattern;
  };
  const std::string first = run(42);
  EXPECT_EQ(run(42), first);
  EXPECT_NE(first.find('x'), std::string::npos);
  EXPECT_NE(first.find('o'), std::string::npos);
}

}  // namespace
}  // namespace dd
