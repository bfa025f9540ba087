#include "motion/homing_settings.h"

#include <array>
#include <string>

#include "app/number_text.h"

namespace dd {
namespace {

constexpr char32_t kBackspace = 8;

struct ModeOption {
  Control button;
  int16_t mode;
  const char* summaryHead;
};

constexpr std::array<ModeOption, 3> kOptions{{
    {Control::OriginModeOption, 0, "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 "},
    {Control::FarLimitModeOption, -1, "归零方式：找远马达端极限(Limit Sensor)；归零后偏移值：向后移动 "},
    {Control::NearLimitModeOption, 1, "归零方式：找近马达端极限(Limit Sensor)；归零后偏移值：向后移动 "},
}};

void OpenSettings(Session& s) {
  if (s.state.MotorMoving || !s.state.HomingIdle) return;
  s.ui.RunDialog(Control::SettingsDialog);
}

void LoadSettings(Session& s) {
  const int16_t mode = s.state.HomingMode;
  for (const auto& option : kOptions) s.controls.SetChecked(option.button, option.mode == mode);
  s.controls.SetText(Control::HomingOffsetField, std::to_string(s.state.HomingOffsetTurns.load()));
}

void SaveSettings(Session& s) {
  const std::string text = s.controls.Text(Control::HomingOffsetField);
  if (text.empty()) {
    s.Message(MessageIcon::Error, kSettingsTitleCannotSave, kMsgOffsetEmpty);
    return;
  }
  // The filter admits digits only, but pasted text may hold a sign: a negative
  // offset would drive back into the reference switch.
  const auto turns = ParseInt32(text);
  if (!turns || *turns < 0) {
    s.Message(MessageIcon::Error, kSettingsTitleCannotSave, kMsgOffsetMalformed);
    return;
  }
  s.state.HomingOffsetTurns = *turns;
  for (const auto& option : kOptions) {
    if (!s.controls.Checked(option.button)) continue;
    s.state.HomingMode = option.mode;
    s.controls.SetText(Control::StatusText, HomingSummary(option.mode, text));
    break;
  }
  s.ui.CloseDialog(Control::SettingsDialog);
}

}  // namespace

std::string HomingSummary(int16_t mode, const std::string& offsetText) {
  for (const auto& option : kOptions) {
    if (option.mode == mode) return option.summaryHead + offsetText + " 圈；";
  }
  return {};
}

void InstallHomingSettingsHandlers(Session& s) {
  s.events.On(Control::SettingsButton, UiEvent::Click, [&s](int) { OpenSettings(s); });
  s.events.On(Control::SettingsDialog, UiEvent::Load, [&s](int) { LoadSettings(s); });
  s.events.SetKeyFilter(Control::HomingOffsetField,
                        [](char32_t key) { return (key >= U'0' && key <= U'9') || key == kBackspace; });
  s.events.On(Control::SaveSettingsButton, UiEvent::Click, [&s](int) { SaveSettings(s); });
}

}  // namespace dd
