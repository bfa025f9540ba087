#include "motion/homing_settings.h"

#include <array>
#include <string>

#include "app/number_text.h"

namespace dd {
namespace {

constexpr char32_t kBackspace = 8;

struct ModeOption {
  const char* control;
  int16_t mode;
  const char* summaryHead;
};

constexpr std::array<ModeOption, 3> kOptions{{
    {"Form2.Option1", 0, "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 "},
    {"Form2.Option2", -1, "归零方式：找远马达端极限(Limit Sensor)；归零后偏移值：向后移动 "},
    {"Form2.Option3", 1, "归零方式：找近马达端极限(Limit Sensor)；归零后偏移值：向后移动 "},
}};

void OpenSettings(Session& s) {
  if (s.state.MotorMoving || !s.state.HomingIdle) return;
  s.ui.RunDialog("Form2");
}

void LoadSettings(Session& s) {
  const int16_t mode = s.state.HomingMode;
  for (const auto& option : kOptions) s.controls.SetChecked(option.control, option.mode == mode);
  s.controls.SetText("Form2.Text1", std::to_string(s.state.HomingOffsetTurns.load()));
}

void SaveSettings(Session& s) {
  const std::string text = s.controls.Text("Form2.Text1");
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
    if (!s.controls.Checked(option.control)) continue;
    s.state.HomingMode = option.mode;
    s.controls.SetText("Text6(1)", HomingSummary(option.mode, text));
    break;
  }
  s.ui.CloseDialog("Form2");
}

}  // namespace

std::string HomingSummary(int16_t mode, const std::string& offsetText) {
  for (const auto& option : kOptions) {
    if (option.mode == mode) return option.summaryHead + offsetText + " 圈；";
  }
  return {};
}

void InstallHomingSettingsHandlers(Session& s) {
  s.events.On("Command8", UiEvent::Click, [&s](int) { OpenSettings(s); });
  s.events.On("Form2", UiEvent::Load, [&s](int) { LoadSettings(s); });
  s.events.SetKeyFilter("Form2.Text1",
                        [](char32_t key) { return (key >= U'0' && key <= U'9') || key == kBackspace; });
  s.events.On("Form2.Command1", UiEvent::Click, [&s](int) { SaveSettings(s); });
}

}  // namespace dd
