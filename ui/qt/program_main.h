// The orderly end of the program on a signal or at the end of the desktop session,
// and the program as drivedesk's main() runs it.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QApplication;

namespace dd {

struct Session;
class MainWindow;
class ShutdownRequests;

// Signals and the session's end run EndProgram; any other way out of the event loop
// still runs the orderly stop. Keep the result for the life of the event loop.
std::unique_ptr<ShutdownRequests> InstallOrderlyEnd(QApplication& app, Session& session);

// drivedesk's own command-line options; Qt's (-platform, ...) are left to QApplication.
struct ProgramOptions {
  bool help = false;
  bool bad = false;      // --log without a file
  bool log = false;
  std::string logPath;   // --log FILE: every frame appended to FILE
};
ProgramOptions ParseProgramOptions(int argc, char* argv[]);

// drivedesk after its options were read: runs the program until it ends; returns its
// exit code. `operate`, if given, runs once the window is shown (a scripted operator,
// for tests that end the real program from outside).
int RunProgram(int argc, char* argv[], const ProgramOptions& options,
               const std::function<void(Session&, MainWindow&)>& operate = {});

}  // namespace dd
