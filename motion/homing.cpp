#include "motion/homing.h"

#include <atomic>
#include <chrono>
#include <cmath>

#include "app/number_text.h"
#include "link/drive_commands.h"
#include "motion/homing_diagnostics.h"
#include "status/drive_state_commands.h"
#include "status/sample_history.h"

namespace dd {
namespace {

using Flag = std::atomic<bool> SharedState::*;
using MotionCommand = CommandResult (*)(SerialHandle, uint16_t);

constexpr int kSendAttempts = 10;
constexpr int kSendRetryDelayMs = 5;

// How the wait for standstill treats an abort.
enum class AbortTest { BeforeMoving, AfterMoving };

// One limit mode: the limit homed on and the directions toward and away from it.
struct LimitRole {
  Flag reference;
  Flag other;
  MotionCommand approach;
  MotionCommand leave;
  HomingDiagnostic otherLimitHit;
  HomingDiagnostic stillActive;
  int backOffSign;  // revolutions of the back-off; the offset is backOffSign * n
};

const LimitRole kNearLimit{&SharedState::NearLimitInput, &SharedState::FarLimitInput,
                           JogTowardMotor, JogAwayFromMotor, HomingDiagnostic::UpperLimitStuck,
                           HomingDiagnostic::UpperLimitNotLeft, -1};
const LimitRole kFarLimit{&SharedState::FarLimitInput, &SharedState::NearLimitInput,
                          JogAwayFromMotor, JogTowardMotor, HomingDiagnostic::LowerLimitStuck,
                          HomingDiagnostic::LowerLimitNotLeft, +1};

// One homing run. Every failed or aborted way out ends with the drive holding no jog
// or search command: where the run would otherwise leave one standing (a limit met
// while leaving a sensor, the far limit met by the reverse search) it sends
// ClearCommand, so a bouncing or released input cannot let the motor run on unwatched.
class HomingRun {
 public:
  // `lockWait`: the wait for BusLock of the run's ordinary steps.
  HomingRun(Session& session, int32_t offsetTurns, int lockWait)
      : s_(session),
        st_(session.state),
        offsetTurns_(offsetTurns),
        lockWait_(lockWait),
        stopClicksAtStart_(session.state.StopClicks.load()) {}
  HomingRun(const HomingRun&) = delete;
  HomingRun& operator=(const HomingRun&) = delete;

  // Common finish, on every way out.
  ~HomingRun() {
    if (s_.samples) s_.samples->EndMotion(MotionKind::Homing);
    st_.HomingIdle = true;
    s_.controls.SetColor(Control::HomingButton, kButtonFace);
  }

  void Start() {
    st_.HomingIdle = false;
    if (s_.samples) s_.samples->BeginMotion(MotionKind::Homing);
    s_.controls.SetColor(Control::HomingButton, kRed);
    const int32_t homingRpm = st_.HomingSpeedRpm;
    if (homingRpm != 0) {
      Locked(lockWait_, [&] { SendValue(WriteRunSpeed, SpeedRegisterValue(st_, homingRpm)); });
    }
  }

  void OriginProcedure();
  void LimitProcedure(const LimitRole& role);

 private:
  template <typename Body>
  void Locked(int wait, Body&& body) {
    BusHold hold(st_.Bus, wait);
    if (hold) body();
  }
  // A silent drive takes no command: an abandoned run sends nothing more, also in the
  // middle of a step.
  void Send(MotionCommand command) {
    if (st_.MotionAbandoned) return;
    Retry(s_, kSendAttempts, kSendRetryDelayMs, [&] { return command(Port(s_), Addr(s_)); });
  }
  template <typename Write, typename Value>
  void SendValue(Write write, Value value) {
    if (st_.MotionAbandoned) return;
    Retry(s_, kSendAttempts, kSendRetryDelayMs, [&] { return write(Port(s_), Addr(s_), value); });
  }
  void Tick() { DelayMs(s_, kFlagPollMs); }
  // The stop sequence clears AbortRequested within a few tens of milliseconds; a run that
  // is inside a speed pause or a long bus hold then would never see it. The click count
  // keeps the abort visible for the rest of the run.
  // An abandoned run (silent drive, see MotionAbandoned) ends like an aborted one, but
  // sends nothing on its way out.
  bool Aborted() const {
    return st_.AbortRequested.load() || st_.StopClicks.load() != stopClicksAtStart_ ||
           st_.MotionAbandoned.load();
  }
  bool Active(Flag flag) const { return (st_.*flag).load(); }

  // Ends of a run.
  void Fail(HomingDiagnostic diagnostic) {
    if (st_.MotionAbandoned) return;
    RestoreSpeeds(s_);
    ArmHomingDiagnostic(s_, diagnostic);
  }
  void FailAndClear(int wait, HomingDiagnostic diagnostic) {
    Locked(wait, [&] { Send(ClearCommand); });
    Fail(diagnostic);
  }
  void AbortAndClear() {
    if (st_.MotionAbandoned) return;
    Locked(lockWait_, [&] { Send(ClearCommand); });
    RestoreSpeeds(s_);
  }
  void AbortAndStop() {
    if (st_.MotionAbandoned) return;
    AbortMotion(s_);
    RestoreSpeeds(s_);
  }
  void Succeed() {
    Locked(kBusWaitMs, [&] { Send(SetZeroPosition); });
    RestoreSpeeds(s_);
    st_.AbortRequested = false;
  }

  void CreepSetUp(MotionCommand motion, bool second) {
    Locked(lockWait_, [&] {
      const int32_t creep = SpeedRegisterValue(st_, kCreepRpm);
      if (st_.HomingSpeedRpm != 0) {
        SendValue(WriteHomingSpeed, creep);
        if (second) SendValue(WriteHomingFilter, kSecondCreepFilter);
      } else {
        SendValue(WriteRunSpeed, creep);
      }
      DelayMs(s_, kSpeedSettleMs);
      Send(motion);
    });
  }

  // False when the target lies outside the drive's 32-bit position range: nothing of
  // the move is sent, and the creep's command is ended instead.
  bool RevolutionMove(int64_t turns, int wait) {
    const double perRev = st_.PulsesPerRev / st_.PulseLength;
    bool fits = true;
    Locked(wait, [&] {
      if (st_.HomingSpeedRpm == 0) {
        // The creep lowered the run speed.
        SendValue(WriteRunSpeed, SpeedRegisterValue(st_, st_.RunSpeedRpm));
        DelayMs(s_, kSpeedSettleMs);
      }
      // The polled position is read earlier in its cycle than the speed that ended the
      // wait for standstill, so the axis may have crept on after it: start from a fresh
      // reading, or from the polled one if the drive does not answer.
      double from = st_.ActualPosition;
      double fresh = 0;
      if (Retry(s_, kSendAttempts, kSendRetryDelayMs,
                [&] { return ReadActualPosition(Port(s_), Addr(s_), fresh); })) {
        from = fresh;
      }
      const double target = from + static_cast<double>(turns) * perRev;
      if (!WholeToS32(target)) {
        fits = false;
        Send(ClearCommand);
        return;
      }
      st_.MoveTarget = target;
      Send(StopMotion);
      SendValue(WriteTargetPosition, target);
      Send(ClearCommand);
    });
    return fits;
  }

  // True once MotorMoving is false; false when an abort ended the wait.
  bool WaitForStandstill(AbortTest test) {
    DelayMs(s_, kFirstTestMs);
    for (;;) {
      if (test == AbortTest::BeforeMoving && Aborted()) return false;
      // A stop clicked before polling saw the motion also halts the axis short of its
      // goal: that standstill is the stop's, and no zero may be set there.
      if (!st_.MotorMoving) return !Aborted();
      if (test == AbortTest::AfterMoving && Aborted()) return false;
      Tick();
    }
  }

  // The back-off by the offset; false when an abort ended the run.
  bool OffsetMove(int64_t turns, int wait) {
    if (turns == 0) {
      // No move to replace the second creep's command: end it, so it cannot resume
      // once its sensor lets go.
      Locked(wait, [&] { Send(ClearCommand); });
      return true;
    }
    if (!RevolutionMove(turns, wait)) {
      Fail(HomingDiagnostic::TargetOutOfRange);
      return false;
    }
    if (WaitForStandstill(AbortTest::AfterMoving)) return true;
    AbortAndStop();
    return false;
  }

  Session& s_;
  SharedState& st_;
  const int32_t offsetTurns_;
  const int lockWait_;
  const uint32_t stopClicksAtStart_;
};

bool ElapsedAtLeast(std::chrono::steady_clock::time_point since, int ms) {
  return std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(ms);
}

void HomingRun::OriginProcedure() {
  const bool near = st_.NearLimitInput, far = st_.FarLimitInput;
  if (near && far) return Fail(HomingDiagnostic::BothLimits);
  if (near != far && st_.OriginInput) return Fail(HomingDiagnostic::LimitWithOrigin);

  if (!st_.OriginInput) {
    Locked(lockWait_, [&] { Send(StartOriginSearch); });
    bool reverse = false;
    for (;;) {
      if (st_.OriginInput) break;
      if (st_.NearLimitInput) {
        reverse = true;
        break;
      }
      if (Aborted()) return AbortAndClear();
      Tick();
    }
    if (reverse) {
      Locked(lockWait_, [&] { Send(ReverseOriginSearch); });
      for (;;) {
        if (st_.OriginInput) break;
        if (st_.FarLimitInput) return FailAndClear(lockWait_, HomingDiagnostic::OriginNotFound);
        if (Aborted()) return AbortAndClear();
        Tick();
      }
    }
  }

  // Leave the sensor, so both creeps meet it from the same side.
  Locked(lockWait_, [&] { Send(JogAwayFromMotor); });
  const auto leaveStart = std::chrono::steady_clock::now();
  while (st_.OriginInput) {
    if (Aborted()) return AbortAndClear();
    if (st_.FarLimitInput || st_.NearLimitInput) {
      return FailAndClear(lockWait_, HomingDiagnostic::OriginStuck);
    }
    if (ElapsedAtLeast(leaveStart, kLeaveSensorMs)) {
      return FailAndClear(lockWait_, HomingDiagnostic::OriginNotLeft);
    }
    Tick();
  }
  Locked(lockWait_, [&] { Send(ClearCommand); });

  CreepSetUp(StartOriginSearch, false);
  if (!WaitForStandstill(AbortTest::AfterMoving)) return AbortAndClear();

  if (!RevolutionMove(-1, lockWait_)) return Fail(HomingDiagnostic::BackOffOutOfRange);
  if (!WaitForStandstill(AbortTest::BeforeMoving)) return AbortAndStop();

  CreepSetUp(StartOriginSearch, true);
  if (!WaitForStandstill(AbortTest::AfterMoving)) {
    // The stop button's own sequence stops this creep.
    if (!st_.MotionAbandoned) RestoreSpeeds(s_);
    return;
  }

  if (!OffsetMove(-static_cast<int64_t>(offsetTurns_), kBusWaitMs)) return;
  Succeed();
}

void HomingRun::LimitProcedure(const LimitRole& role) {
  if (st_.NearLimitInput && st_.FarLimitInput) return Fail(HomingDiagnostic::BothLimits);

  if (!Active(role.reference)) {
    Locked(lockWait_, [&] { Send(role.approach); });
    while (!Active(role.reference)) {
      if (Aborted()) return AbortAndClear();
      Tick();
    }
  }

  Locked(lockWait_, [&] { Send(role.leave); });
  const auto leaveStart = std::chrono::steady_clock::now();
  while (Active(role.reference)) {
    if (Aborted()) return AbortAndClear();
    if (Active(role.other)) return FailAndClear(lockWait_, role.otherLimitHit);
    if (ElapsedAtLeast(leaveStart, kLeaveSensorMs)) return FailAndClear(kBusWaitMs, role.stillActive);
    Tick();
  }
  Locked(lockWait_, [&] { Send(ClearCommand); });

  CreepSetUp(role.approach, false);
  while (!Active(role.reference)) {
    if (Aborted()) return AbortAndClear();
    Tick();
  }

  if (!RevolutionMove(role.backOffSign, lockWait_)) return Fail(HomingDiagnostic::BackOffOutOfRange);
  if (!WaitForStandstill(AbortTest::BeforeMoving)) return AbortAndStop();

  CreepSetUp(role.approach, true);
  if (!WaitForStandstill(AbortTest::AfterMoving)) return AbortAndClear();

  if (!OffsetMove(role.backOffSign * static_cast<int64_t>(offsetTurns_), kBusWaitMs)) return;
  Succeed();
}

}  // namespace

int32_t SpeedRegisterValue(const SharedState& state, double rpm) {
  const double k = static_cast<double>(static_cast<int64_t>(state.SpeedCoefficient.load()) * 60000);
  const double perUnit = k / state.PulsesPerRev;
  const double value = RoundHalfEven(rpm / perUnit);
  if (!std::isfinite(value) || value < -2147483648.0 || value > 2147483647.0) return 0;
  return static_cast<int32_t>(value);
}

void RestoreSpeeds(Session& s) {
  auto& st = s.state;
  if (st.MotionAbandoned) return;
  BusHold hold(st.Bus, kBusWaitMs);
  if (!hold) return;
  auto send = [&](auto write, int32_t value) {
    Retry(s, kSendAttempts, kSendRetryDelayMs, [&] { return write(Port(s), Addr(s), value); });
  };
  send(WriteRunSpeed, SpeedRegisterValue(st, st.RunSpeedRpm));
  if (const int32_t filter = st.HomingFilter; filter != 0) send(WriteHomingFilter, filter);
  if (const int32_t homing = st.HomingSpeedRpm; homing != 0) send(WriteHomingSpeed, SpeedRegisterValue(st, homing));
}

void HomeToOriginWorker(Session& s, int32_t offsetTurns) {
  HomingRun run(s, offsetTurns, kBusWaitMs);
  run.Start();
  run.OriginProcedure();
}

void HomeToNearLimitWorker(Session& s, int32_t offsetTurns) {
  HomingRun run(s, offsetTurns, kNoLimit);
  run.Start();
  run.LimitProcedure(kNearLimit);
}

void HomeToFarLimitWorker(Session& s, int32_t offsetTurns) {
  HomingRun run(s, offsetTurns, kNoLimit);
  run.Start();
  run.LimitProcedure(kFarLimit);
}

void StartHoming(Session& s) {
  auto& st = s.state;
  if (st.MotorMoving || !st.HomingIdle) return;
  void (*worker)(Session&, int32_t) = nullptr;
  switch (st.HomingMode.load()) {
    case 0: worker = HomeToOriginWorker; break;
    case 1: worker = HomeToNearLimitWorker; break;
    case -1: worker = HomeToFarLimitWorker; break;
    default: return;
  }
  const int32_t offset = st.HomingOffsetTurns;
  // Marked busy before the thread runs, so a second click cannot start a second run.
  st.HomingIdle = false;
  StartMotionWorker(s, [&s, worker, offset] { worker(s, offset); });
}

}  // namespace dd
