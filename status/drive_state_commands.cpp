#include "status/drive_state_commands.h"

#include "link/drive_commands.h"

namespace dd {
namespace {

constexpr int kAttempts = 10;
constexpr int kRetryDelayMs = 5;
constexpr int kStepPauseMs = 10;
constexpr const char* kEnableCaption = "使能";
constexpr const char* kReleaseCaption = "脱机";

// Caption and flag change inside the lock, right after the drive accepted, so that two
// toggles racing for the bus leave them matching the command the drive got last.
void SendEnableState(Session& s, bool enable) {
  BusHold hold(s.state.Bus, kBusWaitMs);
  if (!hold) return;
  const CommandResult result = enable ? ClearCommand(Port(s), Addr(s)) : ReleaseMotor(Port(s), Addr(s));
  if (result != kOk) return;
  s.controls.SetText(Control::EnableButton, enable ? kReleaseCaption : kEnableCaption);
  s.state.MotorEnabled.store(enable);
}

// Moving and homing own the axis; their buttons say nothing when refused.
bool AxisBusy(const Session& s) {
  return s.state.MotorMoving.load() || !s.state.HomingIdle.load();
}

}  // namespace

void EnableWorker(Session& session) { SendEnableState(session, true); }

void JogReleaseWorker(Session& session) {
  StopPriority priority;
  SendEnableState(session, true);
}

void ReleaseWorker(Session& session) { SendEnableState(session, false); }

void SetZeroWorker(Session& session) {
  BusHold hold(session.state.Bus, kBusWaitMs);
  if (!hold) return;
  (void)SetZeroPosition(Port(session), Addr(session));
}

void AbortMotion(Session& session) {
  // Also before the wait for the bus: the polling gives way.
  StopPriority priority;
  SharedState& st = session.state;
  {
    BusHold hold(st.Bus, kBusWaitMs);
    if (hold) {
      Retry(session, kAttempts, kRetryDelayMs, [&] { return StopMotion(Port(session), Addr(session)); });
    }
  }
  DelayMs(session, kStepPauseMs);
  // The last polled values: the drive is not asked again here.
  const double actual = st.ActualPosition.load();
  if (actual != st.TargetPosition.load()) {
    BusHold hold(st.Bus, kNoLimit);
    if (hold) {
      Retry(session, kAttempts, kRetryDelayMs,
            [&] { return WriteTargetPosition(Port(session), Addr(session), actual); });
    }
  }
  DelayMs(session, kStepPauseMs);
  {
    BusHold hold(st.Bus, kNoLimit);
    if (hold) {
      Retry(session, kAttempts, kRetryDelayMs, [&] { return ClearCommand(Port(session), Addr(session)); });
    }
  }
  st.AbortRequested.store(false);
}

void InstallDriveStateHandlers(Session& session) {
  Session* s = &session;
  session.events.On(Control::EnableButton, UiEvent::Click, [s](int) {
    if (AxisBusy(*s)) return;
    if (s->controls.Text(Control::EnableButton) == kEnableCaption) {
      StartWorker(*s, [s] { EnableWorker(*s); });
    } else {
      StartWorker(*s, [s] { ReleaseWorker(*s); });
    }
  });
  session.events.On(Control::SetZeroButton, UiEvent::Click, [s](int) {
    if (AxisBusy(*s)) return;
    StartWorker(*s, [s] { SetZeroWorker(*s); });
  });
  // Never refused: it is how the operator breaks off a move or a homing run.
  session.events.On(Control::StopButton, UiEvent::Click, [s](int) {
    s->state.AbortRequested.store(true);
    s->state.StopClicks.fetch_add(1);
    StartMotionWorker(*s, [s] { AbortMotion(*s); });
  });
}

}  // namespace dd
