// The whole program headless against the simulated drive under faults: a short fault
// soak (the long run is bench/soak.sh), an unplugged adapter, and a homing search still
// running when the window closes or a save begins.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/control.h"
#include "status/link_health.h"
#include "tests/robustness/fault_soak.h"

namespace dd::test {
namespace {

std::chrono::milliseconds SoakDuration() {
  const char* seconds = std::getenv("DRIVEDESK_SOAK_SECONDS");
  return std::chrono::milliseconds(seconds ? static_cast<int>(std::atof(seconds) * 1000) : 12000);
}

// With wire time, and without it at four times the fault rate (one request in three).
TEST(FaultSoak, faultMix_noHangNoInventedValueWorkersEndOnClose) {
  for (const bool wire : {true, false}) {
    SoakOptions options;
    options.duration = wire ? SoakDuration() : SoakDuration() / 3;
    options.wireRealism = wire;
    options.faults = DefaultFaultMix();
    for (double& p : options.faults) p *= wire ? 1 : 4;
    options.seed = wire ? 1 : 7;
    const SoakResult r = RunFaultSoak(options);
    EXPECT_TRUE(r.connected && r.closedInTime) << wire;
    EXPECT_EQ(r.workersAfterClose, 0);
    EXPECT_EQ(r.stalledSeconds, 0);
    EXPECT_TRUE(r.requests > 100 && r.checks > 100) << r.requests << " requests, " << r.checks << " checks";
    for (const auto& v : r.inventedValues) ADD_FAILURE() << "shown but never held: " << v;
    for (const auto& m : r.messages) ADD_FAILURE() << "message: " << m;
  }
}

TEST(Unplug, vanishMidPoll_keepsRunningClosesAndReopensWithFreshValues) {
  SimProgram run;
  auto& c = run.program.session.controls;
  auto& ui = run.program.ui;
  ASSERT_TRUE(run.Connect());
  ASSERT_TRUE(ui.RunUntil([&] { return c.Text(Control::ErrorTextField) == "驱动器正常"; }, 5000));

  // A silent drive: after a whole unanswered cycle the lamp is amber, the live values
  // grey and the lamp says since when; the texts stay. The first answer undoes it.
  const auto textsIn = [&](uint32_t colour) {
    return c.State(Control::ActualPositionField).textColor == colour && c.State(Control::ErrorTextField).textColor == colour;
  };
  const auto stale = [&] {
    return c.Color(Control::CommLamp) == kAmber && textsIn(kGrey) && c.State(Control::CommLamp).toolTip.find("起驱动器无应答") != std::string::npos;
  };
  const auto fresh = [&] { return textsIn(kDefaultTextColor) && c.State(Control::CommLamp).toolTip.empty(); };
  run.sim.ScriptFault({SimFault::Drop, -1, std::nullopt, std::nullopt});
  ASSERT_TRUE(ui.RunUntil(stale, 10000));
  EXPECT_EQ(c.Text(Control::ErrorTextField), "驱动器正常");
  run.sim.ClearFaults();
  ASSERT_TRUE(ui.RunUntil([&] { return fresh() && c.Color(Control::CommLamp) == kGreen; }, 10000));

  // Pulled in the middle of a polling cycle: polling goes on, failing.
  ASSERT_TRUE(run.sim.WaitForRequests(run.sim.RequestCount() + 4, std::chrono::milliseconds(5000)));
  run.sim.Vanish();
  ASSERT_TRUE(ui.RunUntil(stale, 10000));
  EXPECT_TRUE(run.program.session.Connected());
  EXPECT_GE(run.program.session.state.WorkerCount.load(), 1);

  // Closed while silent: the close's grey lamp, nothing left of the stale look.
  run.program.CloseCommunication();
  EXPECT_EQ(run.program.session.state.WorkerCount.load(), 0);
  EXPECT_EQ(c.Color(Control::CommLamp), kGrey);
  EXPECT_TRUE(fresh());
  EXPECT_TRUE(ui.Messages().empty());

  // Back, with other values than before.
  ASSERT_TRUE(run.sim.Return());
  run.sim.SetErrorCode(4660);
  ASSERT_TRUE(run.sim.SetValue(0x0040, 256));  // run speed
  run.sim.SetTruePosition(4321);
  ASSERT_TRUE(run.program.Open()) << "reopening after the adapter returned";
  EXPECT_TRUE(ui.RunUntil([&] {
    return c.Text(Control::ErrorTextField) == "错误码：4660" && c.Text(Control::ActualPositionField) == "4321";
  }, 5000)) << c.Text(Control::ErrorTextField) << " / " << c.Text(Control::ActualPositionField);
  EXPECT_EQ(c.Text(Control::RunSpeedField), "300");  // 256 speed units with the default scaling
}

// A homing run still searching when the window closes or a save of a faulted drive
// begins: the run needs live inputs, so neither may stop polling under it.
class HomingAtEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(run_.Connect());
    ASSERT_TRUE(ui_.RunUntil([&] { return !run_.program.session.controls.Text(Control::ActualPositionField).empty(); }, 5000));
    run_.program.session.events.Dispatch(Control::HomingButton, UiEvent::Click);
    ASSERT_TRUE(ui_.RunUntil([&] { return run_.sim.Moving(); }, 5000));
  }
  // Seconds `action` kept the UI thread; a run frozen by a fault is stopped as "中断" would.
  template <typename Action>
  double Seconds(Action&& action) {
    const auto start = std::chrono::steady_clock::now();
    const auto abort = Watchdog(std::chrono::seconds(40), [&] { state_.AbortRequested = true; });
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  SimProgram run_{SimConfig{.wireRealism = false, .axis = {.origin = {.position = 5000}}}};  // a search of seconds
  HeadlessUi& ui_ = run_.program.ui;
  SharedState& state_ = run_.program.session.state;
};

TEST_F(HomingAtEnd, windowClosedDuringSearch_runEndsWithItsZeroThenWindowCloses) {
  EXPECT_LT(Seconds([&] { run_.program.CloseWindow(); }), 30);
  EXPECT_EQ(state_.WorkerCount.load(), 0);
  EXPECT_TRUE(state_.HomingIdle.load());
  EXPECT_NEAR(run_.sim.DrivePosition(), 0, 2) << "the run did not set its zero";
}

TEST_F(HomingAtEnd, saveWhileFaultedDuringSearch_stopsTheRunAndSaves) {
  run_.sim.SetErrorCode(1043);
  ASSERT_TRUE(ui_.RunUntil([&] { return !state_.DriveHealthy.load(); }, 5000));
  EXPECT_LT(Seconds([&] { run_.program.session.events.Dispatch(Control::SaveButton, UiEvent::Click); }), 20);
  EXPECT_EQ(run_.sim.SaveCount(), 1u);
  EXPECT_TRUE(state_.HomingIdle.load());
  ASSERT_TRUE(run_.sim.WaitForStandstill(std::chrono::milliseconds(5000)));
  EXPECT_EQ(run_.sim.ControlWord() & 0x0C00, 0) << "the search command still stands";
  EXPECT_TRUE(ui_.Messages().empty());
  // The re-read brings polling back.
  EXPECT_TRUE(ui_.RunUntil([&] { return run_.program.Polling(); }, 10000));
}

}  // namespace
}  // namespace dd::test
