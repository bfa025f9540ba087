// drivedesk: one window to set up, test and watch a closed-loop stepper drive.
//   drivedesk [--log FILE] [--help] | --version
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/bus_log.h"
#include "app/bus_log_file.h"
#include "app/exit_steps.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "app/version.h"
#include "ui/main_window.h"
#include "ui/program_main.h"
#include "ui/program_setup.h"
#include "ui/qt_ui_services.h"
#include "ui/shutdown_requests.h"
#include "ui/ui_fonts.h"
#include "ui/window_layout.h"

namespace {

constexpr const char* kUsage =
    "用法：drivedesk [--log 文件] [--help] | --version\n"
    "  --log 文件   把总线上的每一帧追加写入该文本文件（每帧一行：时间、TX/RX、十六进制字节；\n"
    "               失败的通信另加一行“--”和结果名称）\n"
    "  --help       显示本说明\n"
    "  --version    显示版本\n";

struct Options {
  bool help = false;
  bool bad = false;
  std::string logPath;
  bool log = false;
};

// Only our options; Qt's own (-platform, ...) are left to QApplication.
Options ParseOptions(int argc, char* argv[]) {
  Options o;
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

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before Qt starts, so it works without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("drivedesk %s\n", dd::kVersion);
    return 0;
  }
  const Options options = ParseOptions(argc, argv);
  if (options.help || options.bad) {
    std::fputs(kUsage, options.bad ? stderr : stdout);
    return options.bad ? 64 : 0;
  }
  QApplication app(argc, argv);
  // Qt took the environment's locale; no C library number may follow its decimal comma.
  std::setlocale(LC_NUMERIC, "C");
  // Every transaction goes to the program's bus log (window "通信日志", --log).
  dd::AttachBusLog();
  std::unique_ptr<dd::BusLogFile> logFile;
  if (options.log) {
    std::string error;
    logFile = dd::BusLogFile::Open(dd::ProgramBusLog(), options.logPath, error);
    if (!logFile) {
      std::fprintf(stderr, "drivedesk: %s\n", error.c_str());
      dd::QtUiServices::ShowMessageBox(nullptr, dd::MessageIcon::Error, "通信日志", error);
      return 1;
    }
  }
  if (!dd::AcquireSingleInstance()) {
    dd::QtUiServices::ShowMessageBox(nullptr, dd::MessageIcon::Error, "重复运行",
                                     "程序正在运行或未完全退出");
    return 1;
  }
  // Flushed however the program ends (window, signal, session end, deadline); run before
  // main returns, while the file still exists.
  if (logFile) dd::AddExitStep([file = logFile.get()] { file->Stop(); });
  dd::InstallFontSubstitutes();
  QApplication::setFont(dd::WindowFont());

  dd::QtUiServices services;
  dd::Session session(services);
  dd::DefineControls(session.controls);
  dd::MainWindow window(session);
  const auto orderlyEnd = dd::InstallOrderlyEnd(app, session);
  dd::LoadProgram(session, services, window);
  window.show();
  const int code = QApplication::exec();
  // The window has closed the port; what the workers traced is in the log by now.
  dd::RunExitSteps();
  return code;
}
