// Writes PNGs of the main window in the full and the compact view, at the start state
// and with sample values, so a person can check fonts and layout (run by screenshot.sh).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QComboBox>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

#include "sim/sim_drive.h"

#include "app/control.h"
#include "app/session.h"
#include "ui/main_window.h"
#include "ui/program_setup.h"
#include "ui/qt_ui_services.h"
#include "ui/settings_dialog.h"
#include "ui/ui_fonts.h"
#include "ui/window_layout.h"

namespace {

bool Save(QWidget& window, const QString& path) {
  QCoreApplication::processEvents();
  const bool ok = window.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// Waits with the event loop running.
bool WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  // The window talks to a simulated drive on COM1, through a port directory of its own.
  const std::string ports = std::filesystem::temp_directory_path().string() + "/dd-shots-" +
                            std::to_string(::getpid());
  std::filesystem::create_directories(ports);
  ::setenv("DRIVEDESK_PORT_DIR", ports.c_str(), 1);
  ::setenv("DRIVEDESK_PORT_DEFAULTS", "0", 1);
  dd::SimDrive drive;
  if (!drive.Start() || !drive.LinkAsCom(1)) {
    std::printf("FAILED to start the simulated drive\n");
    return 1;
  }
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
  dd::LoadProgram(session, services, window);
  window.show();
  window.SyncNow();
  bool ok = Save(window, out + "/full_start.png");
  // Connect as an operator would: baud rate 115200, then "开启通信".
  session.controls.SetComboIndex(dd::Control::BaudList, 4);
  session.events.Dispatch(dd::Control::BaudList, dd::UiEvent::Click);
  session.events.Dispatch(dd::Control::OpenCloseButton, dd::UiEvent::Click);
  ok = WaitFor([&] { return session.controls.Text(dd::Control::ErrorTextField) == "驱动器正常"; }, 10000) && ok;
  WaitFor([] { return false; }, 300);  // a few polling cycles
  window.SyncNow();
  ok = Save(window, out + "/full_connected.png") && ok;
  session.events.Dispatch(dd::Control::ViewButton, dd::UiEvent::Click);
  ok = Save(window, out + "/compact.png") && ok;
  session.events.Dispatch(dd::Control::ViewButton, dd::UiEvent::Click);
  ok = Save(window, out + "/full_again.png") && ok;
  // The settings dialog as its own load fills it.
  QTimer::singleShot(0, &window, [&] {
    if (dd::SettingsDialog* dialog = window.OpenDialog()) {
      ok = Save(*dialog, out + "/settings_dialog.png") && ok;
    }
    services.CloseDialog(dd::Control::SettingsDialog);
  });
  services.RunDialog(dd::Control::SettingsDialog);
  std::printf("font: %s\n", qPrintable(QApplication::font().family()));
  session.events.Dispatch(dd::Control::MainWindow, dd::UiEvent::Close);
  std::filesystem::remove_all(ports);
  return ok ? 0 : 1;
}
