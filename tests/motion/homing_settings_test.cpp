// The homing settings dialog Form2, driven while it is "open" in the headless window.
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
    session.controls.SetText("Text6(1)", kStartSummary);
    InstallMotionHandlers(session);
    // The window sends Load when the dialog opens; the test then acts inside it.
    ui.onDialog = [this](const std::string& form) {
      ++openings;
      ASSERT_EQ(form, "Form2");
      session.events.Dispatch("Form2", UiEvent::Load);
      if (inDialog) inDialog();
    };
  }
  void Open() { session.events.Dispatch("Command8", UiEvent::Click); }
  void Choose(const char* option) {
    for (const char* o : {"Form2.Option1", "Form2.Option2", "Form2.Option3"}) {
      session.controls.SetCheckedFromWidget(o, std::string(o) == option);
    }
  }
  // Opens the dialog, chooses, types and clicks "保存".
  void Save(const char* option, const char* text) {
    inDialog = [this, option, text] {
      Choose(option);
      session.controls.SetTextFromWidget("Form2.Text1", text);
      session.events.Dispatch("Form2.Command1", UiEvent::Click);
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
  const char* option;
  const char* typed;
  int16_t mode;
  int32_t turns;
  const char* summary;
};

TEST_F(HomingSettingsTest, save_storesValuesAndShowsTextAsTyped) {
  const SaveCase cases[] = {
      {"Form2.Option1", "0", 0, 0, "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 0 圈；"},
      {"Form2.Option1", "007", 0, 7, "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 007 圈；"},
      {"Form2.Option2", "3", -1, 3, "归零方式：找远马达端极限(Limit Sensor)；归零后偏移值：向后移动 3 圈；"},
      {"Form2.Option3", "12", 1, 12, "归零方式：找近马达端极限(Limit Sensor)；归零后偏移值：向后移动 12 圈；"},
      {"Form2.Option1", "2147483647", 0, 2147483647,
       "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 2147483647 圈；"},
  };
  for (const auto& c : cases) {
    ui.closedDialogs.clear();
    Save(c.option, c.typed);
    EXPECT_EQ(session.state.HomingMode.load(), c.mode) << c.typed;
    EXPECT_EQ(session.state.HomingOffsetTurns.load(), c.turns) << c.typed;
    EXPECT_EQ(session.controls.Text("Text6(1)"), c.summary);
    EXPECT_EQ(ui.closedDialogs, std::vector<std::string>{"Form2"});
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(HomingSettingsTest, openings_showStoredValuesAndCloseBoxKeepsThem) {
  auto expectShown = [this](const char* option, const char* text) {
    for (const char* o : {"Form2.Option1", "Form2.Option2", "Form2.Option3"}) {
      EXPECT_EQ(session.controls.Checked(o), std::string(o) == option) << o;
    }
    EXPECT_EQ(session.controls.Text("Form2.Text1"), text);
  };
  inDialog = [&] {
    expectShown("Form2.Option1", "1");
    Choose("Form2.Option2");
    session.controls.SetTextFromWidget("Form2.Text1", "9");
  };  // closed without "保存"
  Open();
  EXPECT_EQ(session.state.HomingMode.load(), 0);
  EXPECT_EQ(session.state.HomingOffsetTurns.load(), 1);
  EXPECT_EQ(session.controls.Text("Text6(1)"), kStartSummary);

  Save("Form2.Option3", "007");
  inDialog = [&] { expectShown("Form2.Option3", "7"); };
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
    Save("Form2.Option3", c.typed);
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), 1u) << c.typed;
    EXPECT_EQ(messages[0].title, "不能保存");
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages[0].text, c.message);
    EXPECT_TRUE(ui.closedDialogs.empty());
    EXPECT_EQ(session.state.HomingMode.load(), 0);
    EXPECT_EQ(session.state.HomingOffsetTurns.load(), 1);
    EXPECT_EQ(session.controls.Text("Text6(1)"), kStartSummary);
  }
}

TEST_F(HomingSettingsTest, offsetKeys_digitsAndBackspaceOnly) {
  for (char32_t key : {U'0', U'5', U'9', char32_t{8}}) EXPECT_TRUE(session.events.FilterKey("Form2.Text1", key));
  for (char32_t key : {U'.', U'-', U'+', U' ', U'a', char32_t{13}, U'１'}) {
    EXPECT_FALSE(session.events.FilterKey("Form2.Text1", key)) << static_cast<int>(key);
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
