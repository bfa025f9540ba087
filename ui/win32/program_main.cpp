#include "ui/win32/program_main.h"

#include <cstdio>

#include "app/bus_log.h"
#include "app/bus_log_file.h"
#include "app/drive_address.h"
#include "app/exit_steps.h"
#include "app/orderly_shutdown.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "ui/shutdown_requests.h"
#include "ui/win32/main_window.h"
#include "ui/win32/program_setup.h"
#include "ui/win32/win32_ui_services.h"
#include "ui/window_layout.h"

namespace dd {

std::unique_ptr<ShutdownRequests> InstallOrderlyEnd(Session& session) {
  return std::make_unique<ShutdownRequests>([&session] { EndProgram(session); });
}

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
  ProgramOptions o;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h" || a == "/?") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--log") {
      if (i + 1 >= args.size()) o.bad = true;
      else o.logPath = args[++i];
      o.log = true;
    } else if (a.rfind("--log=", 0) == 0) {
      o.logPath = a.substr(6);
      o.log = true;
    }
  }
  return o;
}

int RunProgram(const ProgramOptions& options) {
  // Every transaction goes to the program's bus log (window "通信日志", --log).
  AttachBusLog();
  std::unique_ptr<BusLogFile> logFile;
  if (options.log) {
    std::string error;
    logFile = BusLogFile::Open(ProgramBusLog(), options.logPath, error);
    if (!logFile) {
      std::fprintf(stderr, "drivedesk: %s\n", error.c_str());
      Win32UiServices::ShowMessageBox(nullptr, MessageIcon::Error, "通信日志", error);
      return 1;
    }
  }
  if (!AcquireSingleInstance()) {
    Win32UiServices::ShowMessageBox(nullptr, MessageIcon::Error, "重复运行", "程序正在运行或未完全退出");
    return 1;
  }
  if (logFile) AddExitStep([file = logFile.get()] { file->Stop(); });

  Win32UiServices services;
  Session session(services);
  session.SettingsPath = UserSettingsPath();
  DefineControls(session.controls);
  MainWindow window(session);
  window.QuitOnDestroy();
  // The close box ends the program as logoff and console events do: what moves is
  // stopped first, and a silent drive delays the end by 5 s at most.
  window.SetCloseAction([&session] { EndProgram(session); });
  // Before the load: a session end during port discovery already ends in order.
  const auto orderlyEnd = InstallOrderlyEnd(session);
  LoadProgram(session, services, window);
  window.Show();
  MSG msg;
  int code = 0;
  while (true) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      code = got == 0 ? static_cast<int>(msg.wParam) : 1;
      break;
    }
    FormWidgets::Deliver(msg);
  }
  // Any way out of the loop still stops what moves and closes the port.
  ShutDownSession(session);
  RunExitSteps();
  return code;
}

}  // namespace dd
