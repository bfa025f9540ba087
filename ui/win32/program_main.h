// drivedesk.exe as its main() runs it: options, the single instance, the window and
// its message loop, and the orderly end on the close box, the session's end and
// console events.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace dd {

struct Session;
class ShutdownRequests;

// Logoff, shutdown and console events run EndProgram; keep the result for the life of
// the message loop.
std::unique_ptr<ShutdownRequests> InstallOrderlyEnd(Session& session);

struct ProgramOptions {
  bool help = false;
  bool version = false;
  bool bad = false;     // --log without a file
  bool log = false;
  std::string logPath;  // --log FILE: every frame appended to FILE
};
ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

// Runs the program until it ends; returns its exit code.
int RunProgram(const ProgramOptions& options);

}  // namespace dd
