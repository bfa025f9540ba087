#include "motion/jog_move.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "app/control.h"
#include "app/number_text.h"
#include "link/drive_commands.h"
#include "status/drive_state_commands.h"
#include "status/sample_history.h"

namespace dd {
namespace {

constexpr int kJogAttempts = 20;
constexpr int kMoveAttempts = 20;
constexpr char32_t kBackspace = 8;

// Counts the releases of the jog buttons. A press and its release start two workers
// that race for BusLock; a jog worker that finds the count changed once it holds the
// lock knows its release came first, and must not start a motion nobody would end.
struct JogReleases {
  std::atomic<uint64_t> count{0};
};

bool JogRefused(const Session& s, MoveButton button) {
  const auto& st = s.state;
  if (st.MotorMoving || !st.HomingIdle) return true;
  return button == MoveButton::Away ? st.FarLimitInput.load() : st.NearLimitInput.load();
}

void OnJogPress(Session& s, const std::shared_ptr<JogReleases>& releases, MoveButton button) {
  if (JogRefused(s, button)) return;
  const uint64_t seen = releases->count.load();
  s.state.JogHeld = true;
  StartMotionWorker(s, [&s, releases, seen, button] {
    BusHold hold(s.state.Bus, kBusWaitMs);
    if (!hold || releases->count.load() != seen) return;
    const bool started = Retry(s, kJogAttempts, 0, [&] {
      return button == MoveButton::Away ? JogAwayFromMotor(Port(s), Addr(s))
                                        : JogTowardMotor(Port(s), Addr(s));
    });
    if (started && s.samples) s.samples->BeginMotion(MotionKind::Jog);
  });
}

void OnJogRelease(Session& s, const std::shared_ptr<JogReleases>& releases) {
  releases->count.fetch_add(1);
  s.state.JogHeld = false;
  if (s.samples) s.samples->EndMotion(MotionKind::Jog);
  StartWorker(s, [&s] { JogReleaseWorker(s); });
}

void OnMoveClick(Session& s, MoveButton button) {
  const std::string text = s.controls.Text(Control::MoveDistanceField);
  if (text.empty()) {
    s.Message(MessageIcon::Error, kTitleCannotOperate, kMsgNoDistance);
    return;
  }
  const auto typed = ParseNumber(text);
  // The filter lets no sign through, so a negative distance is as malformed as letters.
  if (!typed || *typed < 0) {
    s.Message(MessageIcon::Error, kTitleCannotInput, kMsgBadDistance);
    return;
  }
  auto& st = s.state;
  if (st.MotorMoving || !st.HomingIdle) return;
  if (st.LimitInputMode) {
    if (button == MoveButton::Away && st.FarLimitInput) return;
    if (button == MoveButton::Toward && st.NearLimitInput) return;
  }
  // Until the polling has shown a target there is nothing to move relative to.
  const auto base = ParseNumber(s.controls.Text(Control::TargetPositionField));
  if (!base) return;
  const auto distance = MoveDistance(text, s.controls.ComboText(Control::MoveUnitList),
                                     s.controls.Text(Control::UnitsPerRevField));
  if (!distance) return;
  const double target = MoveTargetFor(*base, *distance, button, st.DirectionReversed);
  // The drive's target is a 32-bit register; a wrapped value would move the other way.
  if (!(target >= -2147483648.0 && target <= 2147483647.0)) {
    s.Message(MessageIcon::Error, kTitleCannotInput, kMsgBadDistance);
    return;
  }
  st.MoveTarget = target;
  StartMotionWorker(s, [&s] { MoveWorker(s); });
}

bool DistanceKey(const Session& s, char32_t key) {
  if ((key >= U'0' && key <= U'9') || key == kBackspace) return true;
  return key == U'.' && s.controls.ComboText(Control::MoveUnitList) != kUnitPulses;
}

}  // namespace

double MoveTargetFor(double base, double distance, MoveButton button, bool directionReversed) {
  const bool raise = (button == MoveButton::Toward) != directionReversed;
  return raise ? base + distance : base - distance;
}

std::optional<double> MoveDistance(const std::string& distanceText, const std::string& unit,
                                   const std::string& unitsPerRevText) {
  const auto typed = ParseNumber(distanceText);
  if (!typed) return std::nullopt;
  if (unit == kUnitPulses) return RoundHalfEven(*typed);
  const auto perRev = ParseNumber(unitsPerRevText);
  if (!perRev) return std::nullopt;
  const double d = RoundHalfEven(*typed * *perRev);
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

void MoveWorker(Session& s) {
  auto& st = s.state;
  st.LimitSyncArmed = false;
  if (s.samples) s.samples->BeginMotion(MotionKind::Move);
  {
    BusHold hold(st.Bus, kBusWaitMs);
    if (hold && Retry(s, kMoveAttempts, 0, [&] { return StopMotion(Port(s), Addr(s)); })) {
      if (s.controls.Text(Control::EnableButton) == "使能") {
        s.controls.SetText(Control::EnableButton, "脱机");
        st.MotorEnabled = true;
      }
      const double target = st.MoveTarget;
      if (Retry(s, kMoveAttempts, 0, [&] { return WriteTargetPosition(Port(s), Addr(s), target); })) {
        // Repeated until it is taken, but a drive that has stopped answering must not
        // keep the bus (and with it every other worker and the window's close) forever.
        // Given up, the drive is left stopped on its new target.
        using Clock = std::chrono::steady_clock;
        const auto giveUp = Clock::now() + std::chrono::milliseconds(kMoveRestartPatienceMs);
        while (ClearCommand(Port(s), Addr(s)) != 0 && Clock::now() < giveUp) {
        }
      }
    }
  }
  DelayMs(s, 100);
  // Once polling has stopped (window closing, save) nobody updates MotorMoving any more;
  // a silent drive never reports standstill.
  while (st.MotorMoving && !st.StopPolling && !st.MotionAbandoned) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  st.LimitSyncArmed = true;
  if (s.samples) s.samples->EndMotion(MotionKind::Move);
}

void InstallJogMoveHandlers(Session& s) {
  auto releases = std::make_shared<JogReleases>();
  for (MoveButton button : {MoveButton::Away, MoveButton::Toward}) {
    const Control jog =
        button == MoveButton::Away ? Control::JogAwayButton : Control::JogTowardButton;
    const Control move =
        button == MoveButton::Away ? Control::MoveAwayButton : Control::MoveTowardButton;
    s.events.On(jog, UiEvent::MouseDown, [&s, releases, button](int) { OnJogPress(s, releases, button); });
    s.events.On(jog, UiEvent::MouseUp, [&s, releases](int) { OnJogRelease(s, releases); });
    s.events.On(move, UiEvent::Click,
                [&s, button](int) { OnMoveClick(s, button); });
  }
  s.events.On(Control::MoveUnitList, UiEvent::Click,
              [&s](int) { s.controls.SetText(Control::MoveDistanceField, ""); });
  s.events.SetKeyFilter(Control::MoveDistanceField,
                        [&s](char32_t key) { return DistanceKey(s, key); });
  s.events.SetKeyFilter(Control::ActualPositionField, [](char32_t) { return false; });
}

}  // namespace dd
