#include "ui/program_main.h"

#include <QApplication>
#include <QSessionManager>
#include <clocale>

#include "app/orderly_shutdown.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "ui/main_window.h"
#include "ui/program_setup.h"
#include "ui/qt_ui_services.h"
#include "ui/shutdown_requests.h"
#include "ui/ui_fonts.h"
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

int RunProgram(int argc, char* argv[], const std::function<void(Session&, MainWindow&)>& operate) {
  QApplication app(argc, argv);
  // Qt took the environment's locale; no C library number may follow its decimal comma.
  std::setlocale(LC_NUMERIC, "C");
  if (!AcquireSingleInstance()) {
    QtUiServices::ShowMessageBox(nullptr, MessageIcon::Error, "重复运行", "程序正在运行或未完全退出");
    return 1;
  }
  InstallFontSubstitutes();
  QApplication::setFont(WindowFont());

  QtUiServices services;
  Session session(services);
  DefineControls(session.controls);
  MainWindow window(session);
  // Before the load: a signal during port discovery already ends in order.
  const auto orderlyEnd = InstallOrderlyEnd(app, session);
  LoadProgram(session, services, window);
  window.show();
  if (operate) operate(session, window);
  return QApplication::exec();
}

}  // namespace dd
