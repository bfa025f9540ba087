// The settings dialog: built fresh on each opening from the table, loaded by
// its handler, reporting the option buttons and typed text into the model.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "tests/ui/window_fixture.h"
#include "ui/settings_dialog.h"

namespace dd::test {
namespace {

class DialogTest : public WindowTest {
 protected:
  // Runs `inside` while the dialog is open, then closes it unless `inside` did.
  void RunDialog(std::function<void(SettingsDialog&)> inside) {
    QTimer::singleShot(0, window.get(), [this, inside] {
      SettingsDialog* dialog = window->OpenDialog();
      ASSERT_NE(dialog, nullptr);
      inside(*dialog);
      if (window->OpenDialog() != nullptr) services.CloseDialog(Control::SettingsDialog);
    });
    services.RunDialog(Control::SettingsDialog);
  }
  template <typename T>
  T* In(SettingsDialog& d, Control name) {
    auto* w = qobject_cast<T*>(d.Controls().Widget(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
};

TEST_F(DialogTest, opening_loadsFromHandler_andShowsTheTableLayout) {
  int loads = 0;
  int closes = 0;
  session.events.On(Control::SettingsDialog, UiEvent::Load, [&](int) {
    ++loads;
    session.controls.SetChecked(Control::FarLimitModeOption, true);
    session.controls.SetText(Control::HomingOffsetField, "3");
  });
  session.events.On(Control::SettingsDialog, UiEvent::Close, [&](int) { ++closes; });
  ShowActive();
  RunDialog([&](SettingsDialog& d) {
    EXPECT_TRUE(d.isModal());
    EXPECT_EQ(d.windowTitle(), "设定");
    EXPECT_EQ(d.size(), QSize(d.Controls().PixelsX(3285), d.Controls().PixelsY(2745)));
    EXPECT_TRUE(In<QRadioButton>(d, Control::FarLimitModeOption)->isChecked());
    EXPECT_FALSE(In<QRadioButton>(d, Control::OriginModeOption)->isChecked());
    EXPECT_EQ(In<QLineEdit>(d, Control::HomingOffsetField)->text(), "3");
    EXPECT_EQ(In<QPushButton>(d, Control::SaveSettingsButton)->text(), "保存");
    for (const ControlDef& def : SettingsFormDef().controls) {
      QWidget* w = d.Controls().Widget(def.id);
      ASSERT_NE(w, nullptr) << def.id;
      if (def.kind != ControlKind::Label) {
        EXPECT_EQ(w->geometry(), d.Controls().Pixels(def.rect)) << def.id;
      }
    }
  });
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(window->OpenDialog(), nullptr);
}

TEST_F(DialogTest, userPicksOption_modelHoldsTheWholeGroup) {
  session.events.On(Control::SettingsDialog, UiEvent::Load,
                    [&](int) { session.controls.SetChecked(Control::OriginModeOption, true); });
  ShowActive();
  RunDialog([&](SettingsDialog& d) {
    QTest::mouseClick(In<QRadioButton>(d, Control::NearLimitModeOption), Qt::LeftButton);
    EXPECT_TRUE(session.controls.Checked(Control::NearLimitModeOption));
    EXPECT_FALSE(session.controls.Checked(Control::OriginModeOption));
    EXPECT_FALSE(session.controls.Checked(Control::FarLimitModeOption));
  });
}

TEST_F(DialogTest, saveClick_routedWithFilteredText_handlerClosesTheDialog) {
  std::string saved;
  session.events.SetKeyFilter(Control::HomingOffsetField,
                              [](char32_t c) { return (c >= U'0' && c <= U'9') || c == 8; });
  session.events.On(Control::SaveSettingsButton, UiEvent::Click, [&](int) {
    saved = session.controls.Text(Control::HomingOffsetField);
    services.CloseDialog(Control::SettingsDialog);
  });
  ShowActive();
  bool stillOpen = true;
  RunDialog([&](SettingsDialog& d) {
    auto* text = In<QLineEdit>(d, Control::HomingOffsetField);
    text->setFocus();
    QTest::keyClicks(text, "0a07");
    QTest::keyClick(text, Qt::Key_Return);  // dropped: does not press the save button
    EXPECT_TRUE(saved.empty());
    QTest::keyClick(text, Qt::Key_Escape);  // no cancel button
    EXPECT_TRUE(d.isVisible());
    QTest::mouseClick(In<QPushButton>(d, Control::SaveSettingsButton), Qt::LeftButton);
    stillOpen = window->OpenDialog() != nullptr && d.isVisible();
  });
  EXPECT_EQ(saved, "007");
  EXPECT_FALSE(stillOpen);
}

TEST_F(DialogTest, reopening_startsFromTheTableNotTheLastEdit) {
  ShowActive();
  RunDialog([&](SettingsDialog& d) {
    auto* text = In<QLineEdit>(d, Control::HomingOffsetField);
    text->setFocus();
    QTest::keyClicks(text, "12");
  });
  EXPECT_EQ(session.controls.Text(Control::HomingOffsetField), "12");
  RunDialog([&](SettingsDialog& d) { EXPECT_EQ(In<QLineEdit>(d, Control::HomingOffsetField)->text(), ""); });
}

}  // namespace
}  // namespace dd::test
