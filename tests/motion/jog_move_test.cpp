// Jog and relative move: the input rules without a drive, and the motions against the
// simulated axis with the polling worker running.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "app/number_text.h"
#include "motion/jog_move.h"
#include "motion/motion_handlers.h"
#include "status/sample_history.h"
#include "tests/support/sim_session.h"

namespace dd::test {
namespace {

using C = Control;

class MoveInputTest : public SimSessionTest {
 protected:
  void SetUp() override {
    session.controls.SetText(C::TargetPositionField, "1000");
    session.controls.SetText(C::UnitsPerRevField, "400");
    session.state.HomingIdle = true;
    InstallMotionHandlers(session);
  }
};

TEST_F(MoveInputTest, emptyOrUnusableInputOrMovingOrHoming_noMoveAndAtMostOneMessage) {
  struct Case {
    const char* target;  // target position field as polling left it
    const char* distance;
    Control button;
    bool moving, homing;
    std::string title, text;  // empty: silence
  };
  const C away = C::MoveAwayButton, toward = C::MoveTowardButton;
  const std::string input = "不能输入", bad = "    输入的数值不合规范，请修改；";
  // A unit change empties the distance; the move then asks for one.
  session.controls.SetText(C::MoveDistanceField, "12");
  session.controls.SetComboIndex(C::MoveUnitList, 1);
  session.events.Dispatch(C::MoveUnitList, UiEvent::Click);
  for (const Case& c : {Case{"1000", nullptr, toward, false, false, "不能操作", "    错误，请输入移动距离；"},
                        Case{"1000", "1.2.3", away, false, false, input, bad}, Case{"1000", ".", away, false, false, input, bad},
                        Case{"1000", "-5", away, false, false, input, bad}, Case{"1000", "abc", away, false, false, input, bad},
                        Case{"2147483000", "1000", toward, false, false, input, bad},  // target beyond 32 bits
                        Case{"", "100", toward, false, false, "", ""},                 // no target shown yet
                        Case{"1000", "100", toward, true, false, "", ""}, Case{"1000", "100", away, false, true, "", ""}}) {
    ui.ClearMessages();
    session.controls.SetText(C::TargetPositionField, c.target);
    if (c.distance) session.controls.SetText(C::MoveDistanceField, c.distance);
    session.state.MotorMoving = c.moving;
    session.state.HomingIdle = !c.homing;
    Click(c.button);
    if (c.homing) session.events.Dispatch(C::JogAwayButton, UiEvent::MouseDown, 1);
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), c.title.empty() ? 0u : 1u) << c.target << " " << (c.distance ? c.distance : "");
    if (!c.title.empty()) {
      EXPECT_EQ(messages[0].icon, MessageIcon::Error);
      EXPECT_EQ(messages[0].title, c.title);
      EXPECT_EQ(messages[0].text, c.text);
    }
    EXPECT_EQ(session.state.WorkerCount.load(), 0);
  }
}

class JogMoveSimTest : public SimSessionTest {
 protected:
  JogMoveSimTest() { config = ShortAxis(); }
  // Waits until the move worker has ended and the axis stands, also for polling.
  void WaitMoveDone() {
    ASSERT_TRUE(WorkersDown(1));
    ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(5000)));
    // A move is refused while polling still sees motion.
    ASSERT_TRUE(Eventually([&] { return !session.state.MotorMoving.load(); }));
    EXPECT_TRUE(session.state.LimitSyncArmed.load());
  }
  void Move(Control button, const char* distance, int unitIndex) {
    session.controls.SetComboIndex(C::MoveUnitList, unitIndex);
    session.controls.SetText(C::MoveDistanceField, distance);
    Click(button);
  }
  // The target position field shows the drive's target once polling has run.
  void WaitTargetShown() {
    ASSERT_TRUE(Eventually([&] {
      const auto shown = ParseNumber(Text(C::TargetPositionField));
      return shown && *shown == std::round(sim->TargetPosition());
    }));
  }
  void Jog(Control button, int mouse, bool down) {
    session.events.Dispatch(button, down ? UiEvent::MouseDown : UiEvent::MouseUp, mouse);
  }
};

TEST_F(JogMoveSimTest, jogHeldRunsUntilRelease_notTowardAnActiveLimit_noneLeftByAnEarlyRelease) {
  ASSERT_NO_FATAL_FAILURE(StartMotion());
  const double start = sim->DrivePosition();
  Jog(C::JogTowardButton, 2, true);  // right button too
  ASSERT_TRUE(Eventually([&] { return sim->Moving() && sim->DrivePosition() > start + 50; }));
  EXPECT_EQ(sim->ControlWord(), 0x0020);
  Jog(C::JogTowardButton, 2, false);
  ASSERT_TRUE(Eventually([&] { return sim->ControlWord() == 0x0000; }));
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(3000)));
  const double stopped = sim->DrivePosition();
  ui.Pump(200);
  EXPECT_EQ(sim->DrivePosition(), stopped);
  Jog(C::JogAwayButton, 1, true);
  ASSERT_TRUE(Eventually([&] { return sim->Moving() && sim->DrivePosition() < stopped - 50; }));
  Jog(C::JogAwayButton, 1, false);
  ASSERT_TRUE(Eventually([&] { return sim->ControlWord() == 0x0000 && !sim->Moving(); }));
  // Each jog is a band on the curves, from its start to its release.
  const auto bands = session.samples->Bands(0, session.samples->Now());
  ASSERT_EQ(bands.size(), 2u);
  for (const MotionBand& b : bands) EXPECT_TRUE(b.kind == MotionKind::Jog && b.end > b.start);

  // Toward an active limit the press is refused, but its release still clears. (A press
  // is refused too while polling still sees the last jog's motion.)
  sim->ForceInput(SimSensorId::NearLimit, true);
  ASSERT_TRUE(Eventually([&] { return session.state.NearLimitInput.load() && !session.state.MotorMoving.load(); }));
  sim->ClearLog();
  Jog(C::JogTowardButton, 1, true);
  Jog(C::JogTowardButton, 1, false);
  ASSERT_TRUE(WorkersDown(1));
  EXPECT_EQ(ControlWrites(), std::vector<uint64_t>{0x0000});
  Jog(C::JogAwayButton, 4, true);  // the other direction still jogs
  ASSERT_TRUE(Eventually([&] { return sim->ControlWord() == 0x0010; }));
  Jog(C::JogAwayButton, 4, false);
  ASSERT_TRUE(Eventually([&] { return sim->ControlWord() == 0x0000; }));
  sim->ForceInput(SimSensorId::NearLimit, false);
  ASSERT_TRUE(Eventually([&] { return !session.state.NearLimitInput.load() && !session.state.MotorMoving.load(); }));
  {
    // Press and release queue up behind the bus lock; whichever gets it first, no jog survives.
    BusHold hold(session.state.Bus, kBusWaitMs);
    ASSERT_TRUE(hold);
    Jog(C::JogTowardButton, 1, true);
    Jog(C::JogTowardButton, 1, false);
    ui.Pump(50);
  }
  ASSERT_TRUE(WorkersDown(1));
  ui.Pump(100);
  EXPECT_FALSE(MotionCommandStanding());
  EXPECT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(3000)));
}

TEST_F(JogMoveSimTest, moves_inPulsesAndRevolutionsBothWays_zeroReleasedAndAtALimit) {
  ASSERT_NO_FATAL_FAILURE(StartMotion());
  // unitIndex -1: none chosen, taken as revolutions
  struct Case { Control button; const char* distance; int unitIndex; bool reversed; double change; };
  const Case cases[] = {
      {C::MoveTowardButton, "300", 0, false, 300},  {C::MoveAwayButton, "300", 0, false, -300},
      {C::MoveTowardButton, "1.5", 1, false, 600},  {C::MoveAwayButton, "0.5", 1, false, -200},
      {C::MoveTowardButton, "120", 0, true, -120},  {C::MoveAwayButton, "120", 0, true, 120},
      {C::MoveTowardButton, "0.25", 1, true, -100}, {C::MoveAwayButton, "1", -1, true, 400},
  };
  for (const auto& c : cases) {
    session.state.DirectionReversed = c.reversed;
    WaitTargetShown();
    const double before = sim->TargetPosition();
    Move(c.button, c.distance, c.unitIndex);
    WaitMoveDone();
    EXPECT_EQ(sim->TargetPosition(), before + c.change) << c.button << " " << c.distance;
    EXPECT_NEAR(sim->DrivePosition(), before + c.change, 1) << c.button << " " << c.distance;
    EXPECT_EQ(sim->ControlWord(), 0x0000);
  }
  // Each move is a closed band on the curves in which the polled speed was not zero.
  const auto bands = session.samples->Bands(0, session.samples->Now());
  ASSERT_EQ(bands.size(), std::size(cases));
  for (const MotionBand& b : bands) {
    const auto inside = session.samples->Between(b.start, b.end);
    EXPECT_TRUE(b.kind == MotionKind::Move && std::any_of(inside.begin(), inside.end(), [](const Sample& s) {
      return s[Quantity::SpeedRpm] != 0;
    })) << b.start;
  }
  // Distance zero: stop, target and restart still go out.
  WaitTargetShown();
  const double zeroFrom = sim->TargetPosition();
  sim->ClearLog();
  session.state.LimitSyncArmed = false;
  Move(C::MoveTowardButton, "0", 0);
  WaitMoveDone();
  EXPECT_EQ(sim->TargetPosition(), zeroFrom);
  EXPECT_EQ(ControlWrites(), (std::vector<uint64_t>{0x0008, 0x0000}));
  EXPECT_EQ(CountWrites(16, 0x002E), 1);
  // A move enables a released motor and switches the caption.
  Click(C::EnableButton);  // release
  ASSERT_TRUE(WorkersDown(1));
  ASSERT_EQ(Text(C::EnableButton), "使能");
  WaitTargetShown();
  Move(C::MoveTowardButton, "100", 0);
  WaitMoveDone();
  EXPECT_EQ(Text(C::EnableButton), "脱机");
  EXPECT_TRUE(session.state.MotorEnabled.load());
  EXPECT_TRUE(sim->Enabled());
  // The limit check follows the button, not the direction.
  sim->ForceInput(SimSensorId::FarLimit, true);
  ASSERT_TRUE(Eventually([&] { return session.state.FarLimitInput.load(); }));
  WaitTargetShown();
  for (bool reversed : {false, true}) {
    session.state.DirectionReversed = reversed;
    sim->ClearLog();
    Move(C::MoveAwayButton, "100", 0);  // away: refused even when it would raise the target
    EXPECT_EQ(session.state.WorkerCount.load(), 1);
    EXPECT_TRUE(ControlWrites().empty());
    Move(C::MoveTowardButton, "100", 0);  // toward: goes
    WaitMoveDone();
    EXPECT_FALSE(ControlWrites().empty());
  }
  // Without limit inputs the far limit does not refuse the away button.
  session.state.LimitInputMode = false;
  session.state.DirectionReversed = false;
  sim->ClearLog();
  Move(C::MoveAwayButton, "100", 0);
  ASSERT_TRUE(WorkersDown(1));
  EXPECT_FALSE(ControlWrites().empty());
  EXPECT_TRUE(ui.Messages().empty());
}

}  // namespace
}  // namespace dd::test
