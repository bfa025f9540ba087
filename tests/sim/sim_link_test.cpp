// Our own drive operations against the simulator: big and negative values, commands,
// and each fault yields the result the protocol predicts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "link/drive_catalog.h"
#include "link/drive_commands.h"
#include "link/frame_trace.h"
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
    if (port_ != 0) ClosePort(port_);
    sim_ = std::make_unique<SimDrive>(config);
    ASSERT_TRUE(sim_->Start());
    port_ = OpenPortByPath(sim_->DevicePath(), static_cast<int32_t>(config.lineBaud), 8, 0, 2);
    ASSERT_NE(port_, 0);
  }
  void SetUp() override { Open(SmallAxis()); }
  void TearDown() override {
    if (port_ != 0) ClosePort(port_);
  }
  template <typename T, typename Op>
  T Read(Op op) {
    T v{};
    EXPECT_EQ(Try([&] { return op(port_, 1, v); }), kOk);
    return v;
  }
  int32_t Inputs() { return Read<int32_t>(ReadPortStatus) & 0x000F; }

  std::unique_ptr<SimDrive> sim_;
  SerialHandle port_ = 0;
};

TEST_F(LinkAgainstSim, valuesCommandsAndSaveAsTheDriveHoldsThem) {
  ASSERT_EQ(Try([&] { return ReleaseMotor(port_, 1); }), kOk);  // nothing may move meanwhile
  EXPECT_EQ(Read<int32_t>(ReadControlWord) & 0x0004, 0x0004);
  EXPECT_EQ(Read<int32_t>(ReadActualCurrent), 0);
  ASSERT_EQ(Try([&] { return WriteTargetPosition(port_, 1, -2); }), kOk);
  sim_->SetValue(0x1008, 4294967296ull, 4);
  sim_->SetValue(0x1006, 90061, 2);
  EXPECT_EQ(Read<double>(ReadTravelTotal), 4294967296.0);
  EXPECT_EQ(Read<double>(ReadRunTime), 90061.0);
  EXPECT_EQ(Read<double>(ReadTargetPosition), -2.0);
  for (uint16_t code : {uint16_t{1043}, uint16_t{0}}) {
    sim_->SetErrorCode(code);
    EXPECT_EQ(Read<int32_t>(ReadErrorCode), code);
  }
  sim_->SetTruePosition(500);
  ASSERT_EQ(Try([&] { return SetZeroPosition(port_, 1); }), kOk);
  EXPECT_EQ(Read<double>(ReadActualPosition), 0);
  EXPECT_DOUBLE_EQ(sim_->TruePosition(), 500);

  ASSERT_EQ(Try([&] { return WriteRunSpeed(port_, 1, 300); }), kOk);
  ASSERT_EQ(Try([&] { return SaveParameters(port_, 1); }), kOk);
  ASSERT_EQ(Try([&] { return WriteRunSpeed(port_, 1, 400); }), kOk);
  sim_->PowerCycle();
  EXPECT_EQ(Read<int32_t>(ReadRunSpeed), 300);
  EXPECT_EQ(sim_->SaveCount(), 1u);
}

TEST_F(LinkAgainstSim, jogThenClear_stopsWithoutRunningBack) {
  ASSERT_EQ(Try([&] { return JogTowardMotor(port_, 1); }), kOk);
  ASSERT_TRUE(sim_->WaitFor([&] { return sim_->DrivePosition() > 300; }, 3000ms));
  EXPECT_GT(Read<double>(ReadActualSpeed), 0);
  ASSERT_EQ(Try([&] { return ClearCommand(port_, 1); }), kOk);
  const double atClear = sim_->DrivePosition();
  ASSERT_TRUE(sim_->WaitForStandstill(3000ms));
  const double position = Read<double>(ReadActualPosition);
  EXPECT_GE(position, atClear);
  EXPECT_EQ(Read<double>(ReadTargetPosition), position);
}

TEST_F(LinkAgainstSim, inputsAndTheirLevelsInPortStatus) {
  const std::pair<double, int32_t> positions[] = {
      {2100, 0x0002}, {-2100, 0x0001}, {700, 0x0008}, {0, 0x0000}};  // near, far, origin
  for (const auto& [position, inputs] : positions) {
    sim_->SetTruePosition(position);
    EXPECT_EQ(Inputs(), inputs) << position;
  }
  sim_->WireSensor(SimSensorId::NearLimit, false);
  sim_->WireSensor(SimSensorId::FarLimit, false);
  sim_->WireSensor(SimSensorId::Origin, false);
  EXPECT_EQ(Inputs(), 0x0000);
  ASSERT_EQ(Try([&] { return WriteSensorConfig(port_, 1, 806027264); }), kOk);  // all closed
  EXPECT_EQ(Inputs(), 0x000B);
  // Normally closed limit switches with matching levels: active only when triggered.
  Open(SmallAxis());
  sim_->SetSensorNormallyClosed(SimSensorId::NearLimit, true);
  sim_->SetSensorNormallyClosed(SimSensorId::FarLimit, true);
  ASSERT_EQ(Try([&] { return WriteSensorConfig(port_, 1, 805502976); }), kOk);
  EXPECT_EQ(Inputs() & 0x0003, 0x0000);
  sim_->SetTruePosition(2100);
  EXPECT_EQ(Inputs() & 0x0003, 0x0002);

  SimConfig fixed = SmallAxis();
  fixed.sensorLevelsConfigurable = false;
  Open(fixed);
  ASSERT_EQ(Try([&] { return WriteSensorConfig(port_, 1, 524288); }), kOk);
  EXPECT_EQ(Read<int32_t>(ReadSensorConfig), 0);
}

TEST_F(LinkAgainstSim, eachFault_failsAsPredictedAndTheNextRequestIsClean) {
  const std::pair<SimFault, CommandResult> faults[] = {
      {SimFault::Drop, kShortReply},      {SimFault::Silent, kShortReply},
      {SimFault::Short, kShortReply},     {SimFault::Exception, kShortReply},
      {SimFault::BadCrc, kBadCrc},        {SimFault::Late, kShortReply},
      {SimFault::Split, kShortReply}};
  const auto settled = [&] {
    const auto log = sim_->Log();
    return log.back().reply.empty() || log.back().replied.time_since_epoch().count() != 0;
  };
  for (const auto& [fault, result] : faults) {
    sim_->ScriptFault(fault, 1);
    int32_t v = 77;
    EXPECT_EQ(ReadRunSpeed(port_, 1, v), result);
    EXPECT_EQ(v, result == kBadCrc ? 0 : 77);
    // Let a late or split reply's stray bytes arrive, then the next request is clean.
    ASSERT_TRUE(sim_->WaitFor(settled, 2000ms));
    EXPECT_EQ(Read<int32_t>(ReadRunSpeed), 1024);
    sim_->ScriptFault(fault, 1);
    EXPECT_EQ(WriteRunSpeed(port_, 1, 1024), result);
    ASSERT_TRUE(sim_->WaitFor(settled, 2000ms));
  }
  // A dropped reply's command was carried out; a silent drive's was not.
  sim_->ScriptFault(SimFault::Drop, 1);
  EXPECT_EQ(WriteRunSpeed(port_, 1, 300), kShortReply);
  EXPECT_EQ(sim_->Register(0x0040), 300);
  sim_->ScriptFault(SimFault::Silent, 1);
  EXPECT_EQ(WriteRunSpeed(port_, 1, 400), kShortReply);
  EXPECT_EQ(sim_->Register(0x0040), 300);
  // A fault aimed at one register spares the others.
  sim_->ScriptFault(SimFaultRule{SimFault::Silent, -1, uint16_t{0x0043}, std::nullopt});
  int32_t v = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ReadSpeedFactor(port_, 1, v), kShortReply);
    EXPECT_EQ(Try([&] { return ReadRunSpeed(port_, 1, v); }), kOk);
  }
  sim_->ClearFaults();
  EXPECT_EQ(Try([&] { return ReadSpeedFactor(port_, 1, v); }), kOk);
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

TEST_F(LinkAgainstSim, frameTrace_recordsWhatTheDriveReceivedAndSent) {
  struct Seen {
    std::vector<uint8_t> request, reply;
    CommandResult result;
    int attempt;
    std::string operation;
  };
  std::vector<Seen> seen;
  SetFrameTrace([&](const TransactionRecord& r) {
    seen.push_back({{r.request.begin(), r.request.end()}, {r.reply.begin(), r.reply.end()},
                    r.result, r.attempt, std::string(r.operation)});
  });
  sim_->ScriptFault(SimFault::Drop, 1);
  sim_->ScriptFault(SimFault::BadCrc, 1);
  int32_t i = 0;
  double d = 0;
  for (int attempt = 0; attempt < 3; ++attempt) ReadRunSpeed(port_, 1, i);
  for (const DriveOperation& op : DriveOperations()) {
    switch (op.kind) {
      case OperationKind::ReadInt: op.readInt(port_, 1, i); break;
      case OperationKind::ReadDouble: op.readDouble(port_, 1, d); break;
      case OperationKind::WriteInt: op.writeInt(port_, 1, 1); break;
      case OperationKind::WriteDouble: op.writeDouble(port_, 1, 1); break;
      case OperationKind::Command: op.command(port_, 1); break;
    }
  }
  SetFrameTrace(nullptr);
  const auto log = sim_->Log();
  ASSERT_EQ(seen.size(), log.size());
  for (std::size_t k = 0; k < seen.size(); ++k) {
    EXPECT_EQ(seen[k].request, log[k].request) << k;
    EXPECT_EQ(seen[k].reply, log[k].reply) << k;
  }
  ASSERT_EQ(seen.size(), 3 + DriveOperations().size());
  EXPECT_TRUE(seen[0].reply.empty());
  EXPECT_EQ(seen[0].result, kShortReply);
  EXPECT_EQ(seen[1].result, kBadCrc);
  EXPECT_EQ(seen[2].result, kOk);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(seen[k].attempt, k + 1);
  for (std::size_t k = 0; k < DriveOperations().size(); ++k) {
    EXPECT_EQ(seen[3 + k].operation, DriveOperations()[k].name);
    EXPECT_EQ(seen[3 + k].attempt, 1);
  }
}

TEST_F(LinkAgainstSim, faultsByChance_areReproducibleWithASeed) {
  const auto run = [&](uint64_t seed) {
    SimConfig c = SmallAxis();
    c.seed = seed;
    c.faultProbability[static_cast<std::size_t>(SimFault::Drop)] = 0.5;
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
