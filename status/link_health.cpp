#include "status/link_health.h"

#include <array>

#include "app/clock_text.h"

namespace dd {
namespace {

// What the polling writes: these go grey while the drive is silent.
constexpr std::array kLiveFields = {
    Control::ErrorTextField,       Control::ActualPositionField, Control::TargetPositionField,
    Control::PositionDeviationField, Control::LiveCurrentField,  Control::LiveSpeedField,
    Control::RunTimeField,         Control::TravelField,         Control::PortStatusField};

void ShowStale(ControlModel& controls, std::chrono::system_clock::time_point since) {
  controls.SetColor(Control::CommLamp, kAmber);
  controls.SetToolTip(Control::CommLamp, NoAnswerSinceText(since));
  for (Control field : kLiveFields) controls.SetTextColor(field, kGrey);
}

void ShowFresh(ControlModel& controls) {
  controls.SetToolTip(Control::CommLamp, "");
  for (Control field : kLiveFields) controls.SetTextColor(field, kDefaultTextColor);
}

}  // namespace

std::string NoAnswerSinceText(std::chrono::system_clock::time_point since) {
  return "自 " + LocalClockText(since, false, false) + " 起驱动器无应答";
}

void LinkHealth::Answered() {
  answered_ = true;
  lastAnswer_ = std::chrono::system_clock::now();
}

void LinkHealth::CycleEnded() {
  const bool stale = !answered_;
  answered_ = false;
  if (shown_ && stale == stale_) return;
  shown_ = true;
  stale_ = stale;
  if (stale) {
    ShowStale(controls_, lastAnswer_);
  } else {
    controls_.SetColor(Control::CommLamp, kGreen);
    ShowFresh(controls_);
  }
}

void LinkHealth::Ended() {
  if (stale_) ShowFresh(controls_);
  stale_ = false;
  shown_ = false;
}

}  // namespace dd
