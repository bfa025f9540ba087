// drivedesk_tour: drives the real window through a short tour against a simulated drive
// and writes a PNG of each step: start, connected, a relative move of ten revolutions
// (with the live curves mid-move), a homing run, the communication log and a comparison
// with a backup file, the compact view, the full view again, the settings dialog. Prints what
// it did and what the drive reported, and ends by itself. Used by tests/ui/screenshot.sh
// (fonts and layout for a person to check) and by scripts/demo.sh without a display.
//   drivedesk_tour [--use-com1] OUTPUT-DIR
// Without --use-com1 it serves its own simulated drive on a private COM1; with it, it
// uses the COM1 of the port directory ($DRIVEDESK_PORT_DIR), e.g. a running drivesim.
#include <QApplication>
#include <QDir>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QPixmap>
#include <QThread>
#include <QTimer>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/bus_log.h"
#include "app/control.h"
#include "app/session.h"
#include "sim/sim_drive.h"
#include "ui/qt/bus_log_window.h"
#include "ui/qt/curves_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/parameter_file_menu.h"
#include "ui/qt/program_setup.h"
#include "ui/qt/qt_translations.h"
#include "ui/qt/qt_ui_services.h"
#include "ui/qt/settings_dialog.h"
#include "ui/qt/ui_fonts.h"
#include "ui/window_layout.h"

namespace {

bool Save(QWidget& window, const QString& path) {
  QCoreApplication::processEvents();
  const bool ok = window.grab().save(path);
  std::printf("  %s %s\n", ok ? "wrote" : "FAILED to write", qPrintable(path));
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

void Step(const char* what) {
  std::printf("tour: %s\n", what);
  std::fflush(stdout);
}

// What the window shows of the drive: positions, status line and hint line.
void Report(const dd::Session& s) {
  std::printf("  drive: position %s, target %s, deviation %s; %s; %s\n",
              s.controls.Text(dd::Control::ActualPositionField).c_str(), s.controls.Text(dd::Control::TargetPositionField).c_str(),
              s.controls.Text(dd::Control::PositionDeviationField).c_str(), s.controls.Text(dd::Control::ErrorTextField).c_str(),
              s.controls.Text(dd::Control::StatusText).c_str());
  std::fflush(stdout);
}

// The log window after a late reply and an exception reply, then a backup compared with
// the drive after one value in the file was changed.
bool Tools(dd::Session& session, dd::MainWindow& window, dd::SimDrive* drive, const QString& out) {
  if (drive != nullptr) {
    drive->ScriptFault(dd::SimFault::Late, 1);
    drive->ScriptFault(dd::SimFault::Exception, 1);
  }
  WaitFor([] { return false; }, 300);
  for (QAction* action : window.ToolsMenu()->actions()) {
    if (action->text().startsWith(QStringLiteral("通信日志"))) action->trigger();
  }
  auto* log = window.findChild<dd::BusLogWindow*>();
  if (log == nullptr) return false;
  WaitFor([] { return false; }, 1200);
  bool ok = Save(*log, out + "/08_bus_log.png");
  log->FailuresOnlyBox()->setChecked(true);
  ok = Save(*log, out + "/08_bus_log_failures.png") && ok;
  log->close();

  const QString file = out + "/08_backup.txt";
  dd::ParameterFileDialogs dialogs;
  dialogs.saveFile = [&](const std::string&, const std::string&) { return file.toStdString(); };
  dialogs.openFile = [&](const std::string&) { return file.toStdString(); };
  bool compared = false;
  dialogs.showComparison = [&](const std::vector<dd::ComparisonRow>& rows) {
    const auto dialog = dd::NewComparisonDialog(&window, rows);
    dialog->show();
    WaitFor([] { return false; }, 200);
    compared = Save(*dialog, out + "/09_compare.png");
    return false;
  };
  dd::ParameterFileFlow files(session, dialogs);
  files.Backup();
  if (!WaitFor([&] { return QFile::exists(file); }, 10000)) return false;
  WaitFor([] { return false; }, 300);
  QFile backup(file);
  if (!backup.open(QIODevice::ReadOnly)) return false;
  QString text = QString::fromUtf8(backup.readAll()).replace(QRegularExpression("RunSpeed = \\d+"), "RunSpeed = 600");
  backup.close();
  if (!backup.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  backup.write(text.toUtf8());
  backup.close();
  files.Compare();
  return WaitFor([&] { return compared; }, 10000) && ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  bool useCom1 = false;
  QString out = QStringLiteral(".");
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--use-com1") {
      useCom1 = true;
    } else {
      out = QString::fromLocal8Bit(argv[i]);
    }
  }
  std::string ports;
  std::unique_ptr<dd::SimDrive> drive;
  if (!useCom1) {
    ports = std::filesystem::temp_directory_path().string() + "/dd-tour-" + std::to_string(::getpid());
    std::filesystem::create_directories(ports);
    ::setenv("DRIVEDESK_PORT_DIR", ports.c_str(), 1);
    ::setenv("DRIVEDESK_PORT_DEFAULTS", "0", 1);
    drive = std::make_unique<dd::SimDrive>();
    if (!drive->Start() || !drive->LinkAsCom(1)) {
      std::printf("tour: FAILED to start the simulated drive\n");
      return 1;
    }
  }
  QApplication app(argc, argv);
  QDir().mkpath(out);
  dd::InstallFontSubstitutes();
  dd::InstallQtChinese(app);
  dd::AttachBusLog();  // the log window shows the tour's traffic
  QApplication::setFont(dd::WindowFont());
  dd::QtUiServices services;
  int messages = 0;
  services.SetPresenter([&messages](dd::MessageIcon, const std::string& title, const std::string& text) {
    ++messages;
    std::printf("  message \"%s\": %s\n", title.c_str(), text.c_str());
  });
  dd::Session session(services);
  dd::DefineControls(session.controls);
  dd::MainWindow window(session);
  Step("start: port discovery");
  dd::LoadProgram(session, services, window);
  window.show();
  window.SyncNow();
  std::printf("  ports found: %zu, chosen %s\n", session.controls.Items(dd::Control::PortList).size(),
              session.controls.ComboText(dd::Control::PortList).c_str());
  bool ok = Save(window, out + "/01_start.png");

  Step("connect: baud rate 115200, then \"开启通信\"");
  session.controls.SetComboIndex(dd::Control::BaudList, 4);
  session.events.Dispatch(dd::Control::BaudList, dd::UiEvent::Click);
  session.events.Dispatch(dd::Control::OpenCloseButton, dd::UiEvent::Click);
  const bool connected =
      WaitFor([&] { return session.controls.Text(dd::Control::ErrorTextField) == "驱动器正常"; }, 10000);
  WaitFor([] { return false; }, 300);  // a few polling cycles
  window.SyncNow();
  if (!connected) std::printf("  the drive did not report \"驱动器正常\" within 10 s\n");
  if (!session.PortNotice.empty()) std::printf("  notice: %s\n", session.PortNotice.c_str());
  Report(session);
  ok = Save(window, out + "/02_connected.png") && connected && ok;

  if (connected) {
    Step("relative move: 10 圈 with \"+\", watched in \"实时曲线\"");
    window.ShowCurves();
    const std::string before = session.controls.Text(dd::Control::ActualPositionField);
    session.controls.SetComboIndex(dd::Control::MoveUnitList, 1);
    session.controls.SetText(dd::Control::MoveDistanceField, "10");
    session.events.Dispatch(dd::Control::MoveTowardButton, dd::UiEvent::Click);
    // Mid-move: the motion's band is open and the position climbs.
    if (WaitFor([&] { return session.state.MotorMoving.load(); }, 2000)) {
      WaitFor([] { return false; }, 500);
      window.Curves()->Refresh();
      ok = Save(*window.Curves(), out + "/03_curves_during_move.png") && ok;
    }
    const bool moved = WaitFor([&] {
      return session.controls.Text(dd::Control::ActualPositionField) != before && !session.state.MotorMoving.load();
    }, 15000);
    WaitFor([] { return false; }, 300);
    window.SyncNow();
    if (!moved) std::printf("  the move did not end within 15 s\n");
    Report(session);
    ok = Save(window, out + "/03_moved.png") && moved && ok;
    window.Curves()->hide();

    Step("homing run: \"归零\" (origin sensor, then 1 revolution back)");
    session.events.Dispatch(dd::Control::HomingButton, dd::UiEvent::Click);
    WaitFor([&] { return !session.state.HomingIdle.load(); }, 2000);
    const bool homed = WaitFor([&] { return session.state.HomingIdle.load(); }, 60000);
    WaitFor([] { return false; }, 300);
    window.SyncNow();
    if (!homed) std::printf("  the homing run did not end within 60 s\n");
    Report(session);
    ok = Save(window, out + "/04_homed.png") && homed && ok;

    Step("\"通信日志\" and \"与文件比较\" with a backup whose run speed was changed");
    ok = Tools(session, window, drive.get(), out) && ok;
  }

  Step("compact view: \"简洁版\"");
  session.events.Dispatch(dd::Control::ViewButton, dd::UiEvent::Click);
  ok = Save(window, out + "/05_compact.png") && ok;
  Step("full view again");
  session.events.Dispatch(dd::Control::ViewButton, dd::UiEvent::Click);
  ok = Save(window, out + "/06_full.png") && ok;
  Step("settings dialog \"设定\"");
  QTimer::singleShot(0, &window, [&] {
    if (dd::SettingsDialog* dialog = window.OpenDialog()) {
      ok = Save(*dialog, out + "/07_settings_dialog.png") && ok;
    }
    services.CloseDialog(dd::Control::SettingsDialog);
  });
  services.RunDialog(dd::Control::SettingsDialog);
  std::printf("  font: %s; messages shown: %d\n", qPrintable(QApplication::font().family()), messages);
  Step("close the window");
  session.events.Dispatch(dd::Control::MainWindow, dd::UiEvent::Close);
  if (!ports.empty()) std::filesystem::remove_all(ports);
  std::printf("tour: %s; screenshots in %s\n", ok ? "done" : "FAILED", qPrintable(out));
  return ok ? 0 : 1;
}
