#include "ui/qt/program_main.h"

#include <QApplication>
#include <QSessionManager>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "app/bus_log.h"
#include "app/bus_log_file.h"
#include "app/drive_address.h"
#include "app/exit_steps.h"
#include "app/orderly_shutdown.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "ui/qt/main_window.h"
#include "ui/qt/program_setup.h"
#include "ui/qt/qt_ui_services.h"
#include "ui/shutdown_requests.h"
#include "ui/qt/ui_fonts.h"
#include "ui/window_layout.h"

namespace dd {

std::unique_ptr<ShutdownRequests> InstallOrderlyEnd(QApplication& app, Session& session) {
  auto requests = std::make_unique<ShutdownRequests>([&session] { EndProgram(session); });
#if QT_CONFIG(sessionmanager)
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                   [&session](QSessionManager&) { EndProgram(session); });
#endif
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&session] { ShutDownSession(session); });
  return requests;
}

ProgramOptions ParseProgramOptions(int argc, char* argv[]) {
  ProgramOptions o;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      o.help = true;
    } else if (std::strcmp(a, "--log") == 0) {
      if (i + 1 >= argc) o.bad = true;
      else o.logPath = argv[++i];
      o.log = true;
    } else if (std::strncmp(a, "--log=", 6) == 0) {
      o.logPath = a + 6;
      o.log = true;
    }
  }
  return o;
}

int RunProgram(int argc, char* argv[], const ProgramOptions& options,
               const std::function<void(Session&, MainWindow&)>& operate) {
  QApplication app(argc, argv);
  // Qt took the environment's locale; no C library number may follow its decimal comma.
  std::setlocale(LC_NUMERIC, "C");
  // Every transaction goes to the program's bus log (window "通信日志", --log).
  AttachBusLog();
  std::unique_ptr<BusLogFile> logFile;
  if (options.log) {
    std::string error;
    logFile = BusLogFile::Open(ProgramBusLog(), options.logPath, error);
    if (!logFile) {
      std::fprintf(stderr, "drivedesk: %s\n", error.c_str());
      QtUiServices::ShowMessageBox(nullptr, MessageIcon::Error, "通信日志", error);
      return 1;
    }
  }
  if (!AcquireSingleInstance()) {
    QtUiServices::ShowMessageBox(nullptr, MessageIcon::Error, "重复运行", "程序正在运行或未完全退出");
    return 1;
  }
  // Flushed however the program ends (window, signal, session end, deadline); run before
  // this returns, while the file still exists.
  if (logFile) AddExitStep([file = logFile.get()] { file->Stop(); });
  InstallFontSubstitutes();
  QApplication::setFont(WindowFont());

  QtUiServices services;
  Session session(services);
  session.SettingsPath = UserSettingsPath();
  DefineControls(session.controls);
  MainWindow window(session);
  // Before the load: a signal during port discovery already ends in order.
  const auto orderlyEnd = InstallOrderlyEnd(app, session);
  LoadProgram(session, services, window);
  window.show();
  if (operate) operate(session, window);
  const int code = QApplication::exec();
  // The window has closed the port; what the workers traced is in the log by now.
  RunExitSteps();
  return code;
}

}  // namespace dd
