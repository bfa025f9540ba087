// The settings dialog: built fresh on each opening from the table, loaded by its
// handler, reporting the option buttons and typed text into the model.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "tests/ui/window_fixture.h"
#include "ui/settings_dialog.h"

namespace dd::test {
namespace {

TEST_F(WindowTest, settingsDialog_loadsPicksSavesFilteredTextAndReopensFromTheTable) {
  int loads = 0;
  int closes = 0;
  std::string saved;
  session.events.On(Control::SettingsDialog, UiEvent::Load, [&](int) {
    if (loads++ > 0) return;
    session.controls.SetChecked(Control::FarLimitModeOption, true);
    session.controls.SetText(Control::HomingOffsetField, "3");
  });
  session.events.On(Control::SettingsDialog, UiEvent::Close, [&](int) { ++closes; });
  session.events.SetKeyFilter(Control::HomingOffsetField, [](char32_t c) { return (c >= U'0' && c <= U'9') || c == 8; });
  session.events.On(Control::SaveSettingsButton, UiEvent::Click, [&](int) {
    saved = session.controls.Text(Control::HomingOffsetField);
    services.CloseDialog(Control::SettingsDialog);
  });
  ShowActive();
  // Runs `inside` while the dialog is open, then closes it unless `inside` did.
  const auto run = [&](const std::function<void(SettingsDialog&)>& inside) {
    QTimer::singleShot(0, window.get(), [&] {
      SettingsDialog* dialog = window->OpenDialog();
      ASSERT_NE(dialog, nullptr);
      inside(*dialog);
      if (window->OpenDialog() != nullptr) services.CloseDialog(Control::SettingsDialog);
    });
    services.RunDialog(Control::SettingsDialog);
  };
  const auto in = [](SettingsDialog& d, Control name) { return d.Controls().Widget(name); };
  bool stillOpen = true;
  run([&](SettingsDialog& d) {
    EXPECT_TRUE(d.isModal());
    EXPECT_EQ(d.windowTitle(), "设定");
    EXPECT_EQ(d.size(), QSize(d.Controls().PixelsX(3285), d.Controls().PixelsY(2745)));
    for (const ControlDef& def : SettingsFormDef().controls) {
      ASSERT_NE(in(d, def.id), nullptr) << def.id;
      if (def.kind != ControlKind::Label) { EXPECT_EQ(in(d, def.id)->geometry(), d.Controls().Pixels(def.rect)) << def.id; }
    }
    EXPECT_EQ(qobject_cast<QPushButton*>(in(d, Control::SaveSettingsButton))->text(), "保存");
    EXPECT_TRUE(qobject_cast<QRadioButton*>(in(d, Control::FarLimitModeOption))->isChecked());
    EXPECT_FALSE(qobject_cast<QRadioButton*>(in(d, Control::OriginModeOption))->isChecked());
    QTest::mouseClick(in(d, Control::NearLimitModeOption), Qt::LeftButton);
    EXPECT_TRUE(session.controls.Checked(Control::NearLimitModeOption));
    EXPECT_FALSE(session.controls.Checked(Control::FarLimitModeOption));
    EXPECT_FALSE(session.controls.Checked(Control::OriginModeOption));

    auto* text = qobject_cast<QLineEdit*>(in(d, Control::HomingOffsetField));
    EXPECT_EQ(text->text(), "3");
    text->setFocus();
    text->selectAll();
    QTest::keyClicks(text, "0a07");
    QTest::keyClick(text, Qt::Key_Return);  // dropped: does not press the save button
    EXPECT_TRUE(saved.empty());
    QTest::keyClick(text, Qt::Key_Escape);  // no cancel button
    EXPECT_TRUE(d.isVisible());
    QTest::mouseClick(in(d, Control::SaveSettingsButton), Qt::LeftButton);
    stillOpen = window->OpenDialog() != nullptr && d.isVisible();
  });
  EXPECT_EQ(saved, "007");
  EXPECT_FALSE(stillOpen);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(window->OpenDialog(), nullptr);
  run([&](SettingsDialog& d) { EXPECT_EQ(qobject_cast<QLineEdit*>(in(d, Control::HomingOffsetField))->text(), ""); });
  EXPECT_EQ(loads, 2);
}

}  // namespace
}  // namespace dd::test
