// Jog and relative move: the input rules on their own, and the motions against the
// simulated drive with the polling worker running.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "app/number_text.h"
#include "motion/jog_move.h"
#include "motion/motion_handlers.h"
#include "status/sample_history.h"
#include "tests/motion/motion_sim_fixture.h"

namespace dd::test {
namespace {

// --- Without a drive ---

class MoveInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ControlState units;
    units.items = {{"脉冲", 0}, {"圈", 1}};
    units.comboIndex = 0;
    session.controls.Define(Control::MoveUnitList, units);
    session.controls.SetText(Control::TargetPositionField, "1000");
    session.controls.SetText(Control::UnitsPerRevField, "400");
    session.state.HomingIdle = true;
    InstallMotionHandlers(session);
  }
  bool Keeps(Control control, char32_t key) { return session.events.FilterKey(control, key); }

  HeadlessUi ui;
  Session session{ui};
};

struct KeyCase {
  int unitIndex;  // -1 none, 0 脉冲, 1 圈
  char32_t key;
  bool kept;
};

TEST_F(MoveInputTest, distanceKeys_filteredByUnit) {
  const KeyCase cases[] = {
      {0, U'0', true},  {0, U'9', true},  {0, 8, true},      {0, U'.', false}, {0, U'-', false},
      {0, U'e', false}, {0, U' ', false}, {0, U'+', false},  {0, 13, false},   {1, U'.', true},
      {1, U'5', true},  {1, 8, true},     {1, U'-', false},  {1, U',', false}, {-1, U'.', true},
      {-1, U'7', true}, {-1, U'x', false}, {1, U'中', false},
  };
  for (const auto& c : cases) {
    session.controls.SetComboIndex(Control::MoveUnitList, c.unitIndex);
    EXPECT_EQ(Keeps(Control::MoveDistanceField, c.key), c.kept) << "unit " << c.unitIndex << " key " << static_cast<int>(c.key);
  }
}

TEST_F(MoveInputTest, actualPositionField_dropsEveryKey) {
  for (char32_t key : {U'1', U'.', char32_t{8}, U'a', U'-', char32_t{13}}) EXPECT_FALSE(Keeps(Control::ActualPositionField, key));
}

TEST_F(MoveInputTest, unitChange_emptiesDistanceAndMoveThenAsksForIt) {
  session.controls.SetText(Control::MoveDistanceField, "12");
  session.controls.SetComboIndex(Control::MoveUnitList, 1);
  session.events.Dispatch(Control::MoveUnitList, UiEvent::Click);
  EXPECT_EQ(session.controls.Text(Control::MoveDistanceField), "");
  session.events.Dispatch(Control::MoveTowardButton, UiEvent::Click);
  const auto messages = ui.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "不能操作");
  EXPECT_EQ(messages[0].text, "    错误，请输入移动距离；");
  EXPECT_EQ(messages[0].icon, MessageIcon::Error);
}

struct RefusedMoveCase {
  const char* target;    // target position field as polling left it
  const char* distance;
  Control button;
  bool message;          // "不能输入" with the malformed-number text, else silence
};

TEST_F(MoveInputTest, unusableDistanceOrTarget_noMoveAndAtMostOneMessage) {
  const RefusedMoveCase cases[] = {
      {"1000", "1.2.3", Control::MoveAwayButton, true}, {"1000", ".", Control::MoveAwayButton, true},
      {"1000", "-5", Control::MoveAwayButton, true},    {"1000", "abc", Control::MoveAwayButton, true},
      {"2147483000", "1000", Control::MoveTowardButton, true},  // target beyond 32 bits
      {"", "100", Control::MoveTowardButton, false},            // no target shown yet
  };
  session.controls.SetComboIndex(Control::MoveUnitList, 1);
  for (const auto& c : cases) {
    ui.ClearMessages();
    session.controls.SetText(Control::TargetPositionField, c.target);
    session.controls.SetText(Control::MoveDistanceField, c.distance);
    session.events.Dispatch(c.button, UiEvent::Click);
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), c.message ? 1u : 0u) << c.target << " " << c.distance;
    if (c.message) {
      EXPECT_EQ(messages[0].title, "不能输入");
      EXPECT_EQ(messages[0].text, "    输入的数值不合规范，请修改；");
    }
    EXPECT_EQ(session.state.WorkerCount.load(), 0);
  }
}

TEST_F(MoveInputTest, movingOrHoming_refusedSilently) {
  session.controls.SetText(Control::MoveDistanceField, "100");
  session.state.MotorMoving = true;
  session.events.Dispatch(Control::MoveTowardButton, UiEvent::Click);
  session.state.MotorMoving = false;
  session.state.HomingIdle = false;
  session.events.Dispatch(Control::MoveAwayButton, UiEvent::Click);
  session.events.Dispatch(Control::JogAwayButton, UiEvent::MouseDown, 1);
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
}

struct TargetCase {
  double base;
  const char* distance;
  const char* unit;
  const char* perRev;
  MoveButton button;
  bool reversed;
  double target;
};

TEST(MoveTarget, fromBaseDistanceButtonAndDirection) {
  const TargetCase cases[] = {
      {1000, "250", "脉冲", "400", MoveButton::Away, true, 1250},
      {0, "1.5", "圈", "4000", MoveButton::Toward, false, 6000},
      {0, "0.5", "圈", "5", MoveButton::Toward, false, 2},   // 2.5 to the even 2
      {0, "1.5", "圈", "5", MoveButton::Toward, false, 8},   // 7.5 to the even 8
      {-20, "0", "圈", "400", MoveButton::Away, false, -20},
      {7, "3", "", "400", MoveButton::Away, false, -1193},   // no unit chosen: revolutions
  };
  for (const auto& c : cases) {
    const auto d = MoveDistance(c.distance, c.unit, c.perRev);
    ASSERT_TRUE(d.has_value()) << c.distance;
    EXPECT_EQ(MoveTargetFor(c.base, *d, c.button, c.reversed), c.target) << c.distance << " " << c.unit;
  }
}

// --- Against the simulated drive ---

class JogMoveSimTest : public MotionSimTest {
 protected:
  double DrivePosition() const { return sim->DrivePosition(); }
  // Waits until the move worker has ended and the axis stands.
  void WaitMoveDone() {
    ASSERT_TRUE(WorkersDown(1));
    ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(5000)));
    EXPECT_TRUE(session.state.LimitSyncArmed.load());
  }
  void Move(Control button, const char* distance, int unitIndex) {
    session.controls.SetComboIndex(Control::MoveUnitList, unitIndex);
    session.controls.SetText(Control::MoveDistanceField, distance);
    Click(button);
  }
  // The target position field shows the drive's target once polling has run.
  void WaitTargetShown() {
    ASSERT_TRUE(Eventually([&] {
      const auto shown = ParseNumber(session.controls.Text(Control::TargetPositionField));
      return shown && *shown == std::round(sim->TargetPosition());
    }));
  }
};

TEST_F(JogMoveSimTest, jogHeld_runsUntilRelease) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  const double start = DrivePosition();
  session.events.Dispatch(Control::JogTowardButton, UiEvent::MouseDown, 2);  // right button too
  ASSERT_TRUE(Eventually([&] { return sim->Moving() && DrivePosition() > start + 50; }));
  EXPECT_EQ(sim->ControlWord(), 0x0020);
  session.events.Dispatch(Control::JogTowardButton, UiEvent::MouseUp, 2);
  ASSERT_TRUE(Eventually([&] { return sim->ControlWord() == 0x0000; }));
  ASSERT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(3000)));
  const double stopped = DrivePosition();
  ui.Pump(200);
  EXPECT_EQ(DrivePosition(), stopped);

  session.events.Dispatch(Control::JogAwayButton, UiEvent::MouseDown, 1);
  ASSERT_TRUE(Eventually([&] { return sim->Moving() && DrivePosition() < stopped - 50; }));
  session.events.Dispatch(Control::JogAwayButton, UiEvent::MouseUp, 1);
  ASSERT_TRUE(Eventually([&] { return sim->ControlWord() == 0x0000 && !sim->Moving(); }));
  // Each jog is a band on the curves, from its start to its release.
  const auto bands = session.samples->Bands(0, session.samples->Now());
  ASSERT_EQ(bands.size(), 2u);
  for (const MotionBand& b : bands) EXPECT_TRUE(b.kind == MotionKind::Jog && b.end > b.start);
}

TEST_F(JogMoveSimTest, jogTowardActiveLimit_refusedButReleaseStillClears) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  sim->ForceInput(SimSensorId::NearLimit, true);
  ASSERT_TRUE(Eventually([&] { return session.state.NearLimitInput.load(); }));
  sim->ClearLog();
  session.events.Dispatch(Control::JogTowardButton, UiEvent::MouseDown, 1);
  session.events.Dispatch(Control::JogTowardButton, UiEvent::MouseUp, 1);
  ASSERT_TRUE(WorkersDown(1));
  const auto writes = ControlWrites();
  EXPECT_EQ(std::count(writes.begin(), writes.end(), 0x0020), 0);
  EXPECT_EQ(std::count(writes.begin(), writes.end(), 0x0000), 1);

  // The other direction still jogs.
  session.events.Dispatch(Control::JogAwayButton, UiEvent::MouseDown, 4);
  ASSERT_TRUE(Eventually([&] { return sim->ControlWord() == 0x0010; }));
  session.events.Dispatch(Control::JogAwayButton, UiEvent::MouseUp, 4);
  ASSERT_TRUE(Eventually([&] { return sim->ControlWord() == 0x0000; }));
}

TEST_F(JogMoveSimTest, releaseReachingTheBusBeforeThePress_noJogLeftRunning) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  {
    // Both workers queue up behind the lock; whichever gets it first, no jog survives.
    BusHold hold(session.state.Bus, kBusWaitMs);
    ASSERT_TRUE(hold);
    session.events.Dispatch(Control::JogTowardButton, UiEvent::MouseDown, 1);
    session.events.Dispatch(Control::JogTowardButton, UiEvent::MouseUp, 1);
    ui.Pump(50);
  }
  ASSERT_TRUE(WorkersDown(1));
  ui.Pump(100);
  EXPECT_FALSE(MotionCommandStanding());
  EXPECT_TRUE(sim->WaitForStandstill(std::chrono::milliseconds(2000)));
}

struct MoveCase {
  Control button;
  const char* distance;
  int unitIndex;
  bool reversed;
  double change;
};

TEST_F(JogMoveSimTest, moves_inPulsesAndRevolutionsBothWays) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  const MoveCase cases[] = {
      {Control::MoveTowardButton, "300", 0, false, 300},  {Control::MoveAwayButton, "300", 0, false, -300},
      {Control::MoveTowardButton, "1.5", 1, false, 600},  {Control::MoveAwayButton, "0.5", 1, false, -200},
      {Control::MoveTowardButton, "120", 0, true, -120},  {Control::MoveAwayButton, "120", 0, true, 120},
      {Control::MoveTowardButton, "0.25", 1, true, -100}, {Control::MoveAwayButton, "1", 1, true, 400},
  };
  for (const auto& c : cases) {
    session.state.DirectionReversed = c.reversed;
    WaitTargetShown();
    const double before = sim->TargetPosition();
    Move(c.button, c.distance, c.unitIndex);
    WaitMoveDone();
    EXPECT_EQ(sim->TargetPosition(), before + c.change) << c.button << " " << c.distance;
    EXPECT_NEAR(DrivePosition(), before + c.change, 1) << c.button << " " << c.distance;
    EXPECT_EQ(sim->ControlWord(), 0x0000);
  }
  EXPECT_TRUE(ui.Messages().empty());
  // Each move is a closed band on the curves in which the polled speed was not zero.
  const auto bands = session.samples->Bands(0, session.samples->Now());
  ASSERT_EQ(bands.size(), std::size(cases));
  for (const MotionBand& b : bands) {
    const auto inside = session.samples->Between(b.start, b.end);
    EXPECT_TRUE(b.kind == MotionKind::Move && std::any_of(inside.begin(), inside.end(), [](const Sample& s) {
      return s[Quantity::SpeedRpm] != 0;
    })) << b.start;
  }
}

TEST_F(JogMoveSimTest, distanceZero_stopTargetAndRestartStillSent) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  WaitTargetShown();
  const double before = sim->TargetPosition();
  sim->ClearLog();
  session.state.LimitSyncArmed = false;
  Move(Control::MoveTowardButton, "0", 0);
  WaitMoveDone();
  EXPECT_EQ(sim->TargetPosition(), before);
  const auto writes = ControlWrites();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], 0x0008);
  EXPECT_EQ(writes[1], 0x0000);
  EXPECT_EQ(CountWrites(16, 0x002E), 1);
}

TEST_F(JogMoveSimTest, releasedMotor_moveEnablesAndSwitchesCaption) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  session.events.Dispatch(Control::EnableButton, UiEvent::Click);  // release
  ASSERT_TRUE(WorkersDown(1));
  ASSERT_EQ(session.controls.Text(Control::EnableButton), "使能");
  WaitTargetShown();
  Move(Control::MoveTowardButton, "100", 0);
  WaitMoveDone();
  EXPECT_EQ(session.controls.Text(Control::EnableButton), "脱机");
  EXPECT_TRUE(session.state.MotorEnabled.load());
  EXPECT_TRUE(sim->Enabled());
}

TEST_F(JogMoveSimTest, limitCheck_followsTheButtonNotTheDirection) {
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  sim->ForceInput(SimSensorId::FarLimit, true);
  ASSERT_TRUE(Eventually([&] { return session.state.FarLimitInput.load(); }));
  WaitTargetShown();
  for (bool reversed : {false, true}) {
    session.state.DirectionReversed = reversed;
    sim->ClearLog();
    Move(Control::MoveAwayButton, "100", 0);  // away: refused even when it would raise the target
    EXPECT_EQ(session.state.WorkerCount.load(), 1);
    EXPECT_TRUE(ControlWrites().empty());
    Move(Control::MoveTowardButton, "100", 0);  // toward: goes
    WaitMoveDone();
    EXPECT_FALSE(ControlWrites().empty());
  }
  // Without limit inputs the far limit does not refuse the away button.
  session.state.LimitInputMode = false;
  session.state.DirectionReversed = false;
  sim->ClearLog();
  Move(Control::MoveAwayButton, "100", 0);
  ASSERT_TRUE(WorkersDown(1));
  EXPECT_FALSE(ControlWrites().empty());
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(JogMoveSimTest, restartNeverAnswered_busFreedAfterBoundedTries) {
  config.lateDelayMs = 0;  // a Late reply then is an ordinary one
  ASSERT_NO_FATAL_FAILURE(StartDrive());
  WaitTargetShown();
  sim->ClearLog();
  // The stop gets through; every control-word write after it goes unheard.
  sim->ScriptFault(SimFaultRule{SimFault::Late, 1, uint16_t{0x0000}, uint8_t{6}});
  sim->ScriptFault(SimFaultRule{SimFault::Silent, -1, uint16_t{0x0000}, uint8_t{6}});
  const auto start = std::chrono::steady_clock::now();
  Move(Control::MoveTowardButton, "100", 0);
  ASSERT_TRUE(WorkersDown(1, kMoveRestartPatienceMs + 5000));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(kMoveRestartPatienceMs + 4000));
  EXPECT_GT(ControlWrites().size(), 3u);  // the restart was repeated
  BusHold hold(session.state.Bus, 500);
  EXPECT_TRUE(hold);
  EXPECT_TRUE(session.state.LimitSyncArmed.load());
  sim->ClearFaults();
}

}  // namespace
}  // namespace dd::test
