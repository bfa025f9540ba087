// The program's logic headless under Wine, through the Win32 port, against the native
// simulated drive on COM8 (sim_session.sh): discovery, the connection sequence, polling,
// a relative move and a save, driven as the operator drives the window.
#include <gtest/gtest.h>

#include <string>

#include "app/control.h"
#include "app/single_instance.h"
#include "tests/support/headless_program.h"
#include "tests/windows/sim_console.h"

namespace dd::test {
namespace {

constexpr int kCom = 8;

TEST(WindowsProgram, connectPollMoveAndSave_overTheWin32Port) {
  EXPECT_TRUE(AcquireSingleInstance("drivedesk-windows-test"));
  EXPECT_FALSE(AcquireSingleInstance("drivedesk-windows-test"));  // a second copy is refused

  HeadlessProgram program;
  auto& c = program.session.controls;
  program.Load();
  ASSERT_TRUE(program.Pick(kCom, 115200));
  ASSERT_TRUE(program.Open());
  EXPECT_EQ(c.Text(Control::PulsesPerRevField), "51,200");
  ASSERT_TRUE(program.ui.RunUntil([&] { return c.Text(Control::ErrorTextField) == "驱动器正常"; }, 5000));

  // Polling shows the move on its way and at its end.
  const std::string target = c.Text(Control::TargetPositionField);
  c.SetText(Control::MoveDistanceField, "100");
  program.session.events.Dispatch(Control::MoveTowardButton, UiEvent::Click);
  EXPECT_TRUE(program.ui.RunUntil([&] {
    return c.Text(Control::TargetPositionField) != target && !program.session.state.MotorMoving &&
           c.Text(Control::ActualPositionField) == c.Text(Control::TargetPositionField);
  }, 15000)) << c.Text(Control::ActualPositionField) << " / " << c.Text(Control::TargetPositionField);

  // 1500 rpm is 1280 speed units; the save ends with the store command.
  c.SetText(Control::RunSpeedField, "1500");
  program.session.events.Dispatch(Control::SaveButton, UiEvent::Click);
  ASSERT_TRUE(program.ui.RunUntil([&] { return program.Polling(); }, 20000));
  const std::string log = SimCommand("log 400");
  EXPECT_NE(log.find("fn 6 reg 0x0040 count 1 value 1280 outcome 0"), std::string::npos);
  EXPECT_NE(log.find("fn 6 reg 0x0000 count 1 value 1 outcome 0"), std::string::npos);

  for (const auto& m : program.ui.Messages()) ADD_FAILURE() << m.title << ": " << m.text;
  program.CloseWindow();
  EXPECT_EQ(program.session.state.WorkerCount.load(), 0);
  EXPECT_EQ(program.session.state.PortHandle.load(), 0);
}

}  // namespace
}  // namespace dd::test
