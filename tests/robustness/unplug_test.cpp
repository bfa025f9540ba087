// The adapter is pulled while polling and plugged back in.
#include <gtest/gtest.h>

#include "app/control.h"
#include "sim/sim_drive.h"
#include "status/link_health.h"
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

  // A silent drive: after a whole unanswered cycle the lamp is amber, the live values
  // grey and the lamp says since when; the texts stay. The first answer undoes it.
  const auto stale = [&] {
    return c.Color(Control::CommLamp) == kAmber &&
           c.State(Control::ActualPositionField).textColor == kGrey &&
           c.State(Control::ErrorTextField).textColor == kGrey &&
           c.State(Control::CommLamp).toolTip.find("起驱动器无应答") != std::string::npos;
  };
  const auto fresh = [&] {
    return c.State(Control::ActualPositionField).textColor == kDefaultTextColor &&
           c.State(Control::ErrorTextField).textColor == kDefaultTextColor &&
           c.State(Control::CommLamp).toolTip.empty();
  };
  EXPECT_TRUE(fresh());
  EXPECT_EQ(c.Color(Control::CommLamp), kGreen);
  sim.ScriptFault({SimFault::Drop, -1, std::nullopt, std::nullopt});
  ASSERT_TRUE(program.ui.RunUntil(stale, 10000));
  EXPECT_EQ(c.Text(Control::ErrorTextField), "驱动器正常");
  sim.ClearFaults();
  ASSERT_TRUE(program.ui.RunUntil([&] { return fresh() && c.Color(Control::CommLamp) == kGreen; }, 10000));

  // Pulled in the middle of a polling cycle.
  ASSERT_TRUE(sim.WaitForRequests(sim.RequestCount() + 4, std::chrono::milliseconds(5000)));
  sim.Vanish();
  ASSERT_TRUE(program.ui.RunUntil(stale, 10000));
  EXPECT_TRUE(program.Connected());
  EXPECT_GE(program.session.state.WorkerCount.load(), 1);  // polling goes on, failing

  // Closed while silent: the close's grey lamp, nothing left of the stale look.
  program.CloseCommunication();
  EXPECT_EQ(program.session.state.WorkerCount.load(), 0);
  EXPECT_EQ(program.session.state.PortHandle.load(), 0);
  EXPECT_EQ(c.Text(Control::OpenCloseButton), "开启通信");
  EXPECT_EQ(c.Color(Control::CommLamp), kGrey);
  EXPECT_TRUE(fresh());
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
