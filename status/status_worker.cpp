#include "status/status_worker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "app/control.h"
#include "link/drive_commands.h"
#include "status/error_codes.h"
#include "status/link_health.h"
#include "status/sample_history.h"
#include "status/status_display.h"

namespace dd {
namespace {

constexpr int kAttempts = 10;
constexpr int kRetryDelayMs = 5;

// False as soon as a stop waits for the bus.
bool PauseUnlessStopWaits(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!StopWaiting()) {
    if (std::chrono::steady_clock::now() >= end) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return false;
}

// One polled value: the lock for this read only, so other workers get the bus between
// any two steps. True only if an attempt succeeded; `value` is then what the drive sent.
// A stop waiting for the bus ends the retries: polling is the one worker that can
// always try again next cycle.
template <typename T, typename ReadFn>
bool Poll(Session& s, LinkHealth& health, ReadFn read, T& value) {
  // A silent drive makes a cycle long: a close or a save does not wait for its end.
  if (s.state.StopPolling.load()) return false;
  // The bus lock is not fair: polling would take it straight back from a waiting stop.
  while (StopWaiting()) {
    if (s.state.StopPolling.load()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  BusHold hold(s.state.Bus, kBusWaitMs);
  if (!hold) return false;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (read(Port(s), Addr(s), value) == kOk) {
      health.Answered();
      return true;
    }
    if (!PauseUnlessStopWaits(kRetryDelayMs)) return false;
  }
  return false;
}

// A hidden lamp keeps its colour.
void ShowInputLamp(ControlModel& controls, Control lamp, bool active) {
  if (controls.Visible(lamp)) controls.SetColor(lamp, active ? kRed : kButtonFace);
}

// After a relative move, the first limit seen pulls the drive's target onto where the
// axis stopped, so the drive does not resume toward the old target once the limit clears.
void ResyncTargetAtLimit(Session& s) {
  SharedState& st = s.state;
  if (!st.LimitSyncArmed.load()) return;
  if (st.LimitInputMode.load()) {
    BusHold hold(st.Bus, kBusWaitMs);
    if (hold) {
      double actual = 0;
      if (ReadActualPosition(Port(s), Addr(s), actual) == kOk) {
        st.ActualPosition.store(actual);
        s.controls.SetText(Control::ActualPositionField, PositionText(actual));
      }
      const double position = st.ActualPosition.load();
      if (position != st.TargetPosition.load()) {
        (void)WriteTargetPosition(Port(s), Addr(s), position);
      }
    }
  }
  st.LimitSyncArmed.store(false);
}

void ShowPortStatus(Session& s, int32_t word) {
  SharedState& st = s.state;
  ControlModel& c = s.controls;
  const PortInputs in = DecodePortInputs(word);

  st.FarLimitInput.store(in.step);
  ShowInputLamp(c, Control::FarLimitLamp, in.step);
  if (in.step) ResyncTargetAtLimit(s);

  st.NearLimitInput.store(in.dir);
  ShowInputLamp(c, Control::NearLimitLamp, in.dir);
  if (in.dir) ResyncTargetAtLimit(s);

  // Variant 1 reports the origin sensor on the Free input, the others on Zero.
  const bool origin = st.DriveVariant.load() == 1 ? in.free : in.zero;
  st.OriginInput.store(origin);
  ShowInputLamp(c, Control::OriginLamp, origin);

  c.SetText(Control::PortStatusField, PortStatusText(word));
}

// The model drops unchanged values, so setting every field each cycle only sends what
// the drive changed.
void RunCycle(Session& s, LinkHealth& health) {
  SharedState& st = s.state;
  ControlModel& c = s.controls;

  if (int32_t code = 0; Poll(s, health, ReadErrorCode, code)) {
    c.SetText(Control::ErrorTextField, ErrorText(static_cast<uint16_t>(code)));
    st.DriveHealthy.store(code == 0);
  }
  // The curves get what this cycle read, stamped when the actual position came in.
  Sample sample;
  if (double actual = 0; Poll(s, health, ReadActualPosition, actual)) {
    st.ActualPosition.store(actual);
    c.SetText(Control::ActualPositionField, PositionText(actual));
    sample[Quantity::ActualPosition] = actual;
  }
  if (s.samples) sample.time = s.samples->Now();
  if (double target = 0; Poll(s, health, ReadTargetPosition, target)) {
    st.TargetPosition.store(target);
    c.SetText(Control::TargetPositionField, PositionText(target));
    sample[Quantity::TargetPosition] = target;
  }
  if (double deviation = 0; Poll(s, health, ReadPositionDeviation, deviation)) {
    c.SetText(Control::PositionDeviationField, PositionText(deviation));
    sample[Quantity::Deviation] = deviation;
  }
  if (int32_t current = 0; Poll(s, health, ReadActualCurrent, current)) {
    c.SetText(Control::LiveCurrentField, CurrentText(current));
    c.SetVisible(Control::LiveCurrentUnit, true);
    sample[Quantity::CurrentAmps] = current / 100.0;
  }
  if (double speed = 0; Poll(s, health, ReadActualSpeed, speed)) {
    const double pulsesPerRev = st.PulsesPerRev.load();
    if (pulsesPerRev > 0) {
      const int32_t coefficient = st.SpeedCoefficient.load();
      c.SetText(Control::LiveSpeedField, SpeedRpmText(speed, coefficient, pulsesPerRev));
      c.SetVisible(Control::LiveSpeedUnit, true);
      sample[Quantity::SpeedRpm] = SpeedRpm(speed, coefficient, pulsesPerRev);
    }
    const bool moving = st.MotorEnabled.load() && speed != 0;
    st.MotorMoving.store(moving);
    c.SetColor(Control::WaitingLamp, moving ? kButtonFace : kGreen);
    c.SetColor(Control::MovingLamp, moving ? kRed : kButtonFace);
  }
  const bool anyRead = std::any_of(sample.values.begin(), sample.values.end(),
                                   [](double v) { return !std::isnan(v); });
  if (s.samples && anyRead) s.samples->Add(sample);
  if (double seconds = 0; Poll(s, health, ReadRunTime, seconds)) {
    c.SetText(Control::RunTimeField, RunTimeText(seconds));
  }
  if (double pulses = 0; Poll(s, health, ReadTravelTotal, pulses)) {
    const double pulsesPerRev = st.PulsesPerRev.load();
    if (pulsesPerRev > 0) {
      c.SetText(Control::TravelField, TravelText(pulses, pulsesPerRev));
      c.SetVisible(Control::TravelUnit, true);
    }
  }
  if (int32_t word = 0; Poll(s, health, ReadPortStatus, word)) {
    ShowPortStatus(s, word);
  }
}

}  // namespace

void StartStatusWorker(Session& session) {
  StartWorker(session, [&session] {
    YieldToStops yield;
    LinkHealth health(session.controls);
    while (!session.state.StopPolling.load()) {
      RunCycle(session, health);
      if (session.state.StopPolling.load()) break;  // a cut-short cycle says nothing
      health.CycleEnded();
      session.state.DriveSilent = health.Stale();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    session.state.DriveSilent = false;
    health.Ended();
  });
}

}  // namespace dd
