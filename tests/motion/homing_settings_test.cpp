// The homing settings dialog, driven while it is "open" in the headless window.
#include <gtest/gtest.h>

#include <string>

#include "motion/homing_settings.h"
#include "motion/motion_handlers.h"
#include "tests/support/headless_ui.h"

namespace dd::test {
namespace {

using C = Control;

constexpr const char* kStartSummary = "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 1 圈；";

class HomingSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session.state.HomingMode = 0;
    session.state.HomingOffsetTurns = 1;
    session.state.HomingIdle = true;
    session.controls.SetText(C::StatusText, kStartSummary);
    InstallMotionHandlers(session);
    // The window sends Load when the dialog opens; the test then chooses, types and
    // clicks "保存" inside it.
    ui.onDialog = [this](Control dialog) {
      ++openings;
      ASSERT_EQ(dialog, C::SettingsDialog);
      session.events.Dispatch(C::SettingsDialog, UiEvent::Load);
      for (const C o : {C::OriginModeOption, C::FarLimitModeOption, C::NearLimitModeOption})
        session.controls.SetCheckedFromWidget(o, o == option);
      session.controls.SetTextFromWidget(C::HomingOffsetField, typed);
      session.events.Dispatch(C::SaveSettingsButton, UiEvent::Click);
    };
  }
  void Open() { session.events.Dispatch(C::SettingsButton, UiEvent::Click); }
  void Save(Control o, const char* text) {
    option = o;
    typed = text;
    Open();
  }
  std::string Text(Control c) const { return session.controls.Text(c); }

  HeadlessUi ui;
  Session session{ui};
  int openings = 0;
  Control option = C::OriginModeOption;
  const char* typed = "1";
};

// Typed offsets: stored and shown as typed, or refused with a message and the dialog
// left open.
TEST_F(HomingSettingsTest, save_storesValuesAndShowsTextAsTyped_orRefusesAndChangesNothing) {
  struct Case { Control option; const char* typed; int16_t mode; int32_t turns; std::string summaryOrMessage; };
  const std::string origin = "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 ";
  const std::string badOffset = "偏移值输入格式不正确，请修改；";
  const C near = C::NearLimitModeOption;
  const Case cases[] = {
      {near, "", 0, 1, "归零后偏移值不能为空，请输入！"}, {near, "99999999999", 0, 1, badOffset},
      {near, "12a", 0, 1, badOffset}, {near, "-3", 0, 1, badOffset},  // pasted sign
      {C::OriginModeOption, "0", 0, 0, origin + "0 圈；"}, {C::OriginModeOption, "007", 0, 7, origin + "007 圈；"},
      {C::FarLimitModeOption, "3", -1, 3, "归零方式：找远马达端极限(Limit Sensor)；归零后偏移值：向后移动 3 圈；"},
      {near, "12", 1, 12, "归零方式：找近马达端极限(Limit Sensor)；归零后偏移值：向后移动 12 圈；"},
      {C::OriginModeOption, "2147483647", 0, 2147483647, origin + "2147483647 圈；"}};
  for (const auto& c : cases) {
    ui.ClearMessages();
    ui.closedDialogs.clear();
    Save(c.option, c.typed);
    EXPECT_EQ(session.state.HomingMode.load(), c.mode) << c.typed;
    EXPECT_EQ(session.state.HomingOffsetTurns.load(), c.turns) << c.typed;
    const auto messages = ui.Messages();
    if (c.summaryOrMessage.rfind("归零方式", 0) == 0) {
      EXPECT_EQ(Text(C::StatusText), c.summaryOrMessage);
      EXPECT_EQ(ui.closedDialogs, std::vector<Control>{C::SettingsDialog});
      EXPECT_TRUE(messages.empty());
      continue;
    }
    ASSERT_EQ(messages.size(), 1u) << c.typed;
    EXPECT_EQ(messages[0].title, "不能保存");
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages[0].text, c.summaryOrMessage);
    EXPECT_TRUE(ui.closedDialogs.empty());
    EXPECT_EQ(Text(C::StatusText), kStartSummary);
  }
}

TEST_F(HomingSettingsTest, whileMovingOrHoming_settingsDoNotOpen) {
  session.state.MotorMoving = true;
  Open();
  session.state.MotorMoving = false;
  session.state.HomingIdle = false;
  Open();
  EXPECT_EQ(openings, 0);
  session.state.HomingIdle = true;
  Open();
  EXPECT_EQ(openings, 1);
}

TEST_F(HomingSettingsTest, offsetKeys_digitsAndBackspaceOnly) {
  for (char32_t key : std::u32string(U"059\b")) EXPECT_TRUE(session.events.FilterKey(C::HomingOffsetField, key));
  for (char32_t key : std::u32string(U".-+ a\r１")) {
    EXPECT_FALSE(session.events.FilterKey(C::HomingOffsetField, key)) << static_cast<int>(key);
  }
}

}  // namespace
}  // namespace dd::test
