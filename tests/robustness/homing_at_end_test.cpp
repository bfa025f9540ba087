// A homing run still searching when the window closes or a save of a faulted drive
// begins: the run needs live inputs, so neither may stop polling under it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "sim/sim_drive.h"
#include "tests/robustness/headless_program.h"

namespace dd::test {
namespace {

using Clock = std::chrono::steady_clock;

// Sets the stop flag "中断" sets if the run still goes on after `ms`: a run frozen by
// a fault would otherwise keep the test waiting for ever.
class LastResortAbort {
 public:
  LastResortAbort(SharedState& st, int ms)
      : thread_([this, &st, ms] {
          std::unique_lock lock(mutex_);
          if (!done_cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done_; })) {
            st.AbortRequested = true;
          }
        }) {}
  ~LastResortAbort() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

class HomingAtEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    SimConfig config;
    config.wireRealism = false;
    config.axis.origin.position = 5000;  // a search of a few seconds
    sim_ = std::make_unique<SimDrive>(config);
    ASSERT_TRUE(sim_->Start());
    ASSERT_TRUE(sim_->LinkAsCom(1));
    program_.Load();
    ASSERT_TRUE(program_.Pick(1, 115200));
    ASSERT_TRUE(program_.Open());
    ASSERT_TRUE(program_.ui.RunUntil([&] { return !program_.session.controls.Text(Control::ActualPositionField).empty(); }, 5000));
    program_.session.events.Dispatch(Control::HomingButton, UiEvent::Click);
    ASSERT_TRUE(program_.ui.RunUntil([&] { return sim_->Moving(); }, 5000));
  }
  // Seconds `action` kept the UI thread.
  template <typename Action>
  double Seconds(Action&& action) {
    const auto start = Clock::now();
    LastResortAbort abort(program_.session.state, 40000);
    action();
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  PortDirectory ports_;
  std::unique_ptr<SimDrive> sim_;
  HeadlessProgram program_;
};

TEST_F(HomingAtEnd, windowClosedDuringSearch_runEndsWithItsZeroThenWindowCloses) {
  EXPECT_LT(Seconds([&] { program_.CloseWindow(); }), 30);
  EXPECT_EQ(program_.session.state.WorkerCount.load(), 0);
  EXPECT_TRUE(program_.session.state.HomingIdle.load());
  EXPECT_NEAR(sim_->DrivePosition(), 0, 2) << "the run did not set its zero";
}

TEST_F(HomingAtEnd, saveWhileFaultedDuringSearch_stopsTheRunAndSaves) {
  sim_->SetErrorCode(1043);
  ASSERT_TRUE(program_.ui.RunUntil([&] { return !program_.session.state.DriveHealthy.load(); }, 5000));
  EXPECT_LT(Seconds([&] { program_.session.events.Dispatch(Control::SaveButton, UiEvent::Click); }), 20);
  EXPECT_EQ(sim_->SaveCount(), 1u);
  EXPECT_TRUE(program_.session.state.HomingIdle.load());
  ASSERT_TRUE(sim_->WaitForStandstill(std::chrono::milliseconds(5000)));
  EXPECT_EQ(sim_->ControlWord() & 0x0C00, 0) << "the search command still stands";
  EXPECT_TRUE(program_.ui.Messages().empty());
  // The re-read brings polling back.
  EXPECT_TRUE(program_.ui.RunUntil([&] { return program_.Polling(); }, 10000));
}

}  // namespace
}  // namespace dd::test
