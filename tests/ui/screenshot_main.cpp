// Writes PNGs of the main window in the full and the compact view, at the start state
// and with sample values, so a person can check fonts and layout (run by screenshot.sh).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/control_names.h"
#include "app/session.h"
#include "ui/main_window.h"
#include "ui/qt_ui_services.h"
#include "ui/settings_dialog.h"
#include "ui/ui_fonts.h"
#include "ui/view_switch.h"
#include "ui/window_layout.h"

namespace {

bool Save(QWidget& window, const QString& path) {
  QCoreApplication::processEvents();
  const bool ok = window.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// Values a connected drive might show.
void FillSample(dd::ControlModel& m) {
  using dd::Label1;
  using dd::Text2;
  const char* values[24] = {"1.50", "50", "500", "0.12", "600", "60",  "5",  "0.000",
                            "51200", "1", "51,200", "0", "0", "0", "100", "1",
                            "38", "300", "原点:0 近端:0 远端:0", "驱动器正常", "00:01:05", "12", "5", "3"};
  for (int i = 0; i < 24; ++i) m.SetText(Text2(i), values[i]);
  for (int l : {20, 21, 22, 23, 24, 25, 26, 31, 32, 33, 34, 35, 46}) m.SetVisible(Label1(l), true);
  for (int l : {41, 42, 43}) m.SetVisible(Label1(l), true);
  for (const char* s : {"Shape2", "Shape3", "Shape6"}) m.SetVisible(s, true);
  m.SetColor("Shape1", dd::kGreen);
  m.SetColor("Shape4", dd::kGreen);
  m.SetColor("Shape2", dd::kRed);
  m.SetColor("Command2", dd::kRed);  // as while homing
  m.SetText("Command1", "关闭通信");
  m.SetItems("Combo1", {{"COM3", 3}});
  m.SetComboIndex("Combo1", 0);
  m.SetComboIndex("Combo2", 4);
  m.SetComboIndex("Combo3", 2);
  m.SetComboIndex("Combo4", 4);
  m.SetComboIndex("Combo5", 0);
  m.SetComboIndex("Combo6", 0);
  m.SetComboIndex("Combo7", 1);
  m.SetChecked("Check3", true);
  m.SetText("Text3", "12800");
  m.SetText("Text4", "12800");
  m.SetText("Text1", "0");
  m.SetText("Text6(1)", "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 1 圈；");
  for (const char* c : {"Picture1", "Picture2", "Frame1", "Command2"}) m.SetEnabled(c, true);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(out);
  dd::InstallFontSubstitutes();
  QApplication::setFont(dd::WindowFont());
  dd::QtUiServices services;
  services.SetPresenter([](dd::MessageIcon, const std::string&, const std::string&) {});
  dd::Session session(services);
  dd::DefineControls(session.controls);
  dd::MainWindow window(session);
  services.SetMainWindow(&window);
  dd::InstallViewSwitch(session, window);
  session.controls.SetText("Text6(1)", "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 1 圈；");
  window.show();
  window.SyncNow();
  bool ok = Save(window, out + "/full_start.png");
  FillSample(session.controls);
  window.SyncNow();
  ok = Save(window, out + "/full_connected.png") && ok;
  session.events.Dispatch("Command10", dd::UiEvent::Click);
  ok = Save(window, out + "/compact.png") && ok;
  session.events.Dispatch("Command10", dd::UiEvent::Click);
  ok = Save(window, out + "/full_again.png") && ok;
  // The settings dialog as its load would fill it.
  session.events.On("Form2", dd::UiEvent::Load, [&session](int) {
    session.controls.SetChecked("Form2.Option1", true);
    session.controls.SetText("Form2.Text1", "1");
  });
  QTimer::singleShot(0, &window, [&] {
    if (dd::SettingsDialog* dialog = window.OpenDialog()) {
      ok = Save(*dialog, out + "/settings_dialog.png") && ok;
    }
    services.CloseDialog("Form2");
  });
  services.RunDialog("Form2");
  std::printf("font: %s\n", qPrintable(QApplication::font().family()));
  return ok ? 0 : 1;
}
