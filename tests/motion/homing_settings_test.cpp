// The homing settings dialog, driven while it is "open" in the headless window.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "motion/homing_settings.h"
#include "motion/motion_handlers.h"
#include "tests/support/headless_ui.h"

namespace dd::test {
namespace {

constexpr const char* kStartSummary = "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 1 圈；";

class HomingSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session.state.HomingMode = 0;
    session.state.HomingOffsetTurns = 1;
    session.state.HomingIdle = true;
    session.controls.SetText(Control::StatusText, kStartSummary);
    InstallMotionHandlers(session);
    // The window sends Load when the dialog opens; the test then acts inside it.
    ui.onDialog = [this](Control dialog) {
      ++openings;
      ASSERT_EQ(dialog, Control::SettingsDialog);
      session.events.Dispatch(Control::SettingsDialog, UiEvent::Load);
      if (inDialog) inDialog();
    };
  }
  void Open() { session.events.Dispatch(Control::SettingsButton, UiEvent::Click); }
  void Choose(Control option) {
    for (const Control o : {Control::OriginModeOption, Control::FarLimitModeOption, Control::NearLimitModeOption}) {
      session.controls.SetCheckedFromWidget(o, o == option);
    }
  }
  // Opens the dialog, chooses, types and clicks "保存".
  void Save(Control option, const char* text) {
    inDialog = [this, option, text] {
      Choose(option);
      session.controls.SetTextFromWidget(Control::HomingOffsetField, text);
      session.events.Dispatch(Control::SaveSettingsButton, UiEvent::Click);
    };
    Open();
    inDialog = nullptr;
  }

  HeadlessUi ui;
  Session session{ui};
  int openings = 0;
  std::function<void()> inDialog;
};

struct SaveCase {
  Control option;
  const char* typed;
  int16_t mode;
  int32_t turns;
  const char* summary;
};

TEST_F(HomingSettingsTest, save_storesValuesAndShowsTextAsTyped) {
  const SaveCase cases[] = {
      {Control::OriginModeOption, "0", 0, 0, "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 0 圈；"},
      {Control::OriginModeOption, "007", 0, 7, "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 007 圈；"},
      {Control::FarLimitModeOption, "3", -1, 3, "归零方式：找远马达端极限(Limit Sensor)；归零后偏移值：向后移动 3 圈；"},
      {Control::NearLimitModeOption, "12", 1, 12, "归零方式：找近马达端极限(Limit Sensor)；归零后偏移值：向后移动 12 圈；"},
      {Control::OriginModeOption, "2147483647", 0, 2147483647,
       "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 2147483647 圈；"},
  };
  for (const auto& c : cases) {
    ui.closedDialogs.clear();
    Save(c.option, c.typed);
    EXPECT_EQ(session.state.HomingMode.load(), c.mode) << c.typed;
    EXPECT_EQ(session.state.HomingOffsetTurns.load(), c.turns) << c.typed;
    EXPECT_EQ(session.controls.Text(Control::StatusText), c.summary);
    EXPECT_EQ(ui.closedDialogs, std::vector<Control>{Control::SettingsDialog});
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(HomingSettingsTest, openings_showStoredValuesAndCloseBoxKeepsThem) {
  auto expectShown = [this](Control option, const char* text) {
    for (const Control o : {Control::OriginModeOption, Control::FarLimitModeOption, Control::NearLimitModeOption}) {
      EXPECT_EQ(session.controls.Checked(o), o == option) << o;
    }
    EXPECT_EQ(session.controls.Text(Control::HomingOffsetField), text);
  };
  inDialog = [&] {
    expectShown(Control::OriginModeOption, "1");
    Choose(Control::FarLimitModeOption);
    session.controls.SetTextFromWidget(Control::HomingOffsetField, "9");
  };  // closed without "保存"
  Open();
  EXPECT_EQ(session.state.HomingMode.load(), 0);
  EXPECT_EQ(session.state.HomingOffsetTurns.load(), 1);
  EXPECT_EQ(session.controls.Text(Control::StatusText), kStartSummary);

  Save(Control::NearLimitModeOption, "007");
  inDialog = [&] { expectShown(Control::NearLimitModeOption, "7"); };
  Open();
  EXPECT_EQ(openings, 3);
}

struct RejectCase {
  const char* typed;
  const char* message;
};

TEST_F(HomingSettingsTest, emptyOrMalformedOffset_messageDialogStaysNothingChanges) {
  const RejectCase cases[] = {
      {"", "归零后偏移值不能为空，请输入！"},
      {"99999999999", "偏移值输入格式不正确，请修改；"},
      {"12a", "偏移值输入格式不正确，请修改；"},
      {"-3", "偏移值输入格式不正确，请修改；"},  // pasted sign
  };
  for (const auto& c : cases) {
    ui.ClearMessages();
    ui.closedDialogs.clear();
    Save(Control::NearLimitModeOption, c.typed);
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), 1u) << c.typed;
    EXPECT_EQ(messages[0].title, "不能保存");
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages[0].text, c.message);
    EXPECT_TRUE(ui.closedDialogs.empty());
    EXPECT_EQ(session.state.HomingMode.load(), 0);
    EXPECT_EQ(session.state.HomingOffsetTurns.load(), 1);
    EXPECT_EQ(session.controls.Text(Control::StatusText), kStartSummary);
  }
}

TEST_F(HomingSettingsTest, offsetKeys_digitsAndBackspaceOnly) {
  for (char32_t key : {U'0', U'5', U'9', char32_t{8}}) EXPECT_TRUE(session.events.FilterKey(Control::HomingOffsetField, key));
  for (char32_t key : {U'.', U'-', U'+', U' ', U'a', char32_t{13}, U'１'}) {
    EXPECT_FALSE(session.events.FilterKey(Control::HomingOffsetField, key)) << static_cast<int>(key);
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

}  // namespace
}  // namespace dd::test
