// Restore under faults, through the core the tool and the window share.
#include "params/parameter_restore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "sim/sim_drive.h"

namespace dd {
namespace {

TEST(ParameterRestore, underFaults_everyValueTakesOrIsNamed) {
  SimDrive sim;
  ASSERT_TRUE(sim.Start());
  SerialHandle port = OpenPortByPath(sim.DevicePath(), 115200, 8, 0, 2);
  ASSERT_NE(port, 0);
  const BusAccess bus{port, 1, [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
                      nullptr};
  std::string failed;
  auto read = ReadForBackup(bus, true, failed);
  ASSERT_TRUE(read) << failed;
  using W = ParameterWrite;
  for (auto [w, v] : {std::pair{W::DriveConfig, 0x8004}, {W::RunSpeed, 700}, {W::CommFilter, 11},
                      {W::DriveCurrent, 420}, {W::PulseLength, 256}, {W::SensorConfig, 0x80000}}) {
    read->values[IndexOf(w)] = v;
  }
  ParameterFile file;
  ASSERT_TRUE(ParseParameterFile(BackupText(*read, {}), file).empty());

  // The run speed never takes; every other request meets lost, corrupted and cut replies.
  sim.ScriptFault(SimFaultRule{SimFault::Exception, -1, 0x0040, 6});
  for (SimFault kind : {SimFault::Drop, SimFault::BadCrc, SimFault::Short}) sim.SetFaultProbability(kind, 0.1);
  WriteParameters(bus, file, false);
  const RestoreOutcome outcome = StoreAndVerify(bus, file, false, 0);
  sim.ClearFaults();

  std::set<W> named;
  for (const Difference& d : outcome.notTaken) named.insert(d.parameter);
  EXPECT_TRUE(named.contains(W::RunSpeed));
  EXPECT_FALSE(outcome.AllTook());
  const ParameterMask written = RestoredParameters(file, false);
  EXPECT_FALSE(written[IndexOf(W::DriveNumber)]);
  const ParameterValues now = ReadParameters(bus, written);
  for (const ParameterInfo& p : ParameterTable()) {
    if (!written[IndexOf(p.write)]) continue;
    EXPECT_EQ(named.contains(p.write), now[IndexOf(p.write)] != file.values[IndexOf(p.write)])
        << p.name;
  }
  ClosePort(port);
}

}  // namespace
}  // namespace dd
