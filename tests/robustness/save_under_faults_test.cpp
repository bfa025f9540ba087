// A save while the line drops, corrupts, cuts, splits, delays and refuses replies: every
// edited value must end in the drive, stored, and be read back.
#include <gtest/gtest.h>

#include "app/control_names.h"
#include "sim/sim_drive.h"
#include "tests/robustness/fault_soak.h"
#include "tests/robustness/headless_program.h"

namespace dd::test {
namespace {

void EditGrid(ControlModel& c) {
  c.SetText(Text2(0), "1.255");
  c.SetText(Text2(1), "60");
  c.SetText(Text2(2), "1000");
  c.SetText(Text2(4), "100.4");
  c.SetText(Text2(17), "50");
  c.SetText(Text2(5), "30");
  c.SetText(Text2(6), "7");
  c.SetText(Text2(22), "9");
  c.SetText(Text2(23), "11");
  c.SetText(Text2(9), "256");
  c.SetText(Text2(14), "150000");
  c.SetComboIndex("Combo3", 1);
  c.SetChecked("Check1", false);
  c.SetChecked("Check2", true);
  c.SetChecked("Check3", false);
  c.SetComboIndex("Combo6", 1);
  c.SetComboIndex("Combo7", 1);
}

void ExpectEditedValuesInDrive(const SimDrive& sim) {
  EXPECT_EQ(sim.Register(0x0008), 0x2004);
  EXPECT_EQ(sim.Value(0x0090), 150000u);
  EXPECT_EQ(sim.Register(0x0013), 60);
  EXPECT_EQ(sim.Register(0x0014), 1000);
  EXPECT_EQ(sim.Register(0x0012), 125);
  EXPECT_EQ(sim.Register(0x0040), 85);
  EXPECT_EQ(sim.Register(0x0046), 43);
  EXPECT_EQ(sim.Register(0x0041), 26);
  EXPECT_EQ(sim.Register(0x0042), 7);
  EXPECT_EQ(sim.Register(0x0044), 9);
  EXPECT_EQ(sim.Register(0x0047), 11);
  EXPECT_EQ(sim.Value(0x002A), 256u);
  EXPECT_EQ(sim.Value(0x0084), 0x300B0000u);
  EXPECT_EQ(sim.Register(0x0061), 1);
}

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
  program.session.events.Dispatch("Command3", UiEvent::Click);  // 保存修改
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
