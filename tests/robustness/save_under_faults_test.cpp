// A save while the line drops, corrupts, cuts, splits, delays and refuses replies: every
// edited value must end in the drive, stored, and be read back.
#include <gtest/gtest.h>

#include "app/control.h"
#include "sim/sim_drive.h"
#include "tests/robustness/fault_soak.h"
#include "tests/robustness/headless_program.h"
#include "tests/params/params_fixture.h"

namespace dd::test {
namespace {

class SaveUnderFaults : public ::testing::TestWithParam<uint64_t> {};

TEST_P(SaveUnderFaults, faultMix_everyEditedValueWrittenStoredAndReadBack) {
  PortDirectory ports;
  SimConfig config;
  config.seed = GetParam();
  SimDrive sim(config);
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(sim.LinkAsCom(1));
  HeadlessProgram program;
  auto& c = program.session.controls;
  program.Load();
  ASSERT_TRUE(program.Pick(1, 115200));
  ASSERT_TRUE(program.Open());
  EditGrid(c);
  const auto mix = DefaultFaultMix();
  for (int kind = 0; kind < kSimFaultKinds; ++kind) {
    sim.SetFaultProbability(static_cast<SimFault>(kind), 3 * mix[static_cast<std::size_t>(kind)]);
  }
  const uint64_t savesBefore = sim.SaveCount();
  program.session.events.Dispatch(Control::SaveButton, UiEvent::Click);  // 保存修改
  ASSERT_TRUE(program.ui.RunUntil([&] { return program.Polling(); }, 30000));
  sim.ClearFaults();
  ExpectEditedValuesInDrive(sim);
  EXPECT_EQ(sim.SaveCount(), savesBefore + 1);
  for (const auto& m : program.ui.Messages()) ADD_FAILURE() << m.title << ": " << m.text;
  program.CloseWindow();
  EXPECT_EQ(program.session.state.WorkerCount.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, SaveUnderFaults, ::testing::Values(1u, 2u, 3u));

}  // namespace
}  // namespace dd::test
