// drivedesk: one window to set up, test and watch a closed-loop stepper drive.
#include <QApplication>

#include "app/session.h"
#include "app/single_instance.h"
#include "ui/main_window.h"
#include "ui/program_setup.h"
#include "ui/qt_ui_services.h"
#include "ui/ui_fonts.h"
#include "ui/window_layout.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (!dd::AcquireSingleInstance()) {
    dd::QtUiServices::ShowMessageBox(nullptr, dd::MessageIcon::Error, "重复运行",
                                     "程序正在运行或未完全退出");
    return 1;
  }
  dd::InstallFontSubstitutes();
  QApplication::setFont(dd::WindowFont());

  dd::QtUiServices services;
  dd::Session session(services);
  dd::DefineControls(session.controls);
  dd::MainWindow window(session);
  dd::LoadProgram(session, services, window);
  window.show();
  return QApplication::exec();
}
