// The adapter is pulled while polling and plugged back in.
#include <gtest/gtest.h>

#include "app/control.h"
#include "sim/sim_drive.h"
#include "tests/robustness/headless_program.h"

namespace dd::test {
namespace {

TEST(Unplug, vanishMidPoll_keepsRunningClosesAndReopensWithFreshValues) {
  PortDirectory ports;
  SimDrive sim;
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(sim.LinkAsCom(1));
  HeadlessProgram program;
  auto& c = program.session.controls;
  program.Load();
  ASSERT_TRUE(program.Pick(1, 115200));
  ASSERT_TRUE(program.Open());
  ASSERT_TRUE(program.ui.RunUntil([&] { return c.Text(Control::ErrorTextField) == "驱动器正常"; }, 5000));

  // Pulled in the middle of a polling cycle.
  ASSERT_TRUE(sim.WaitForRequests(sim.RequestCount() + 4, std::chrono::milliseconds(5000)));
  sim.Vanish();
  program.ui.Pump(500);
  EXPECT_TRUE(program.Connected());
  EXPECT_GE(program.session.state.WorkerCount.load(), 1);  // polling goes on, failing

  program.CloseCommunication();
  EXPECT_EQ(program.session.state.WorkerCount.load(), 0);
  EXPECT_EQ(program.session.state.PortHandle.load(), 0);
  EXPECT_EQ(c.Text(Control::OpenCloseButton), "开启通信");
  EXPECT_TRUE(program.ui.Messages().empty());

  // Back, with other values than before.
  ASSERT_TRUE(sim.Return());
  sim.SetErrorCode(4660);
  ASSERT_TRUE(sim.SetValue(0x0040, 256));  // run speed
  sim.SetTruePosition(4321);
  ASSERT_TRUE(program.Open()) << "reopening after the adapter returned";
  EXPECT_TRUE(program.ui.RunUntil([&] {
    return c.Text(Control::ErrorTextField) == "错误码：4660" && c.Text(Control::ActualPositionField) == "4321";
  }, 5000)) << c.Text(Control::ErrorTextField) << " / " << c.Text(Control::ActualPositionField);
  EXPECT_EQ(c.Text(Control::RunSpeedField), "300");  // 256 speed units with the default scaling
  program.CloseWindow();
  EXPECT_EQ(program.session.state.WorkerCount.load(), 0);
}

}  // namespace
}  // namespace dd::test
